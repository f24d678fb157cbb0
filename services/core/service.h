// The service core: result codes, the shape every service and instance shares,
// and the program-wide registry of service slots.
//
// A service is a static object whose operations are virtual functions declared
// in slot order; the registry holds one pointer per slot. Callers always reach
// a service through its slot, so a test can put a substitute (for example a
// memory service that fails the n-th allocation) into a slot and restore it.
// Instances (streams, inflaters, ...) are objects placed in MemoryService
// blocks; an instance kind substitutes an operation by overriding it.
// No exception ever crosses this API: every operation returns a Result.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sfx {

// Bit 31 set = failure; bits 30..16 the facility, bits 15..0 the code.
// Success is 0 unless an operation documents another non-negative value.
// A type of its own so that a dropped result is a compile error: a caller that
// means to ignore one writes `(void)`. It converts to and from the 32-bit value
// freely, so codes compare and switch as plain integers.
struct [[nodiscard]] Result {
  std::int32_t value = 0;
  constexpr Result() = default;
  constexpr Result(std::int32_t v) : value(v) {}  // NOLINT: implicit by design
  constexpr operator std::int32_t() const { return value; }
};
static_assert(sizeof(Result) == 4);

constexpr Result MakeResult(std::uint32_t failure, std::uint32_t facility, std::uint32_t code) {
  return static_cast<Result>((failure << 31) | ((facility & 0x7FFFu) << 16) | (code & 0xFFFFu));
}
constexpr Result FailureCode(std::uint32_t facility, std::uint32_t code) { return MakeResult(1, facility, code); }

[[nodiscard]] constexpr bool Failed(Result r) { return r < 0; }
[[nodiscard]] constexpr bool Succeeded(Result r) { return r >= 0; }

// Facility 0: the general codes used across services.
inline constexpr Result kOk = 0;
inline constexpr Result kFail = FailureCode(0, 0x0000);              // 0x80000000
inline constexpr Result kOutOfMemory = FailureCode(0, 0x0002);       // 0x80000002
inline constexpr Result kCannotOpen = FailureCode(0, 0x0003);        // 0x80000003
inline constexpr Result kNullOutput = FailureCode(0, 0x0012);        // 0x80000012
inline constexpr Result kOriginOutOfRange = FailureCode(0, 0x0013);  // 0x80000013
inline constexpr Result kModeOutOfRange = FailureCode(0, 0x0014);    // 0x80000014

// Facilities, by the service family that owns their codes.
namespace facility {
inline constexpr std::uint32_t kGeneral = 0x0000;
inline constexpr std::uint32_t kThread = 0x0002;
inline constexpr std::uint32_t kSemaphore = 0x0003;
inline constexpr std::uint32_t kEvent = 0x0004;
inline constexpr std::uint32_t kDateTime = 0x0006;
inline constexpr std::uint32_t kStream = 0x0007;
inline constexpr std::uint32_t kFileSystem = 0x0008;
inline constexpr std::uint32_t kString = 0x000B;
inline constexpr std::uint32_t kUrl = 0x000C;
inline constexpr std::uint32_t kBlockStore = 0x000D;
inline constexpr std::uint32_t kStreamData = 0x000E;
inline constexpr std::uint32_t kStringHeap = 0x0013;
inline constexpr std::uint32_t kKeyedIndex = 0x0014;
inline constexpr std::uint32_t kCrossReference = 0x0015;
inline constexpr std::uint32_t kPattern = 0x0018;
inline constexpr std::uint32_t kSchedule = 0x0019;
inline constexpr std::uint32_t kNameTree = 0x001A;
inline constexpr std::uint32_t kDeflater = 0x0201;
inline constexpr std::uint32_t kInflater = 0x0202;
inline constexpr std::uint32_t kZipArchive = 0x0203;
inline constexpr std::uint32_t kHuffmanEncoder = 0x0204;
inline constexpr std::uint32_t kHuffmanDecoder = 0x0205;
}  // namespace facility

// Passes a failure on unchanged.
#define SFX_TRY(expr)                    \
  do {                                   \
    const ::sfx::Result sfx_r_ = (expr); \
    if (sfx_r_ < 0) return sfx_r_;       \
  } while (0)

// The base of every service object and instance. The virtual table stands for
// the operation table: `ReservedFirst` is slot 0, each kind declares its
// operations in slot order and closes with `ReservedLast`. Both reserved slots
// do nothing and return kFail.
class ServiceObject {
 public:
  virtual Result ReservedFirst() { return kFail; }

 protected:
  ServiceObject() = default;
  ~ServiceObject() = default;
  ServiceObject(const ServiceObject&) = delete;
  ServiceObject& operator=(const ServiceObject&) = delete;
};

// The 27 program-wide slots, numbered as registration fills them.
enum class Slot : int {
  kMemory = 1,
  kThread,
  kSync,
  kDateTime,
  kFileSystem,
  kMemoryStream,
  kString,
  kUrl,
  kBlockStore,
  kStreamTree,
  kBase64,
  kCrc,
  kMd5,
  kTextScramble,
  kStringHeap,
  kKeyedIndex,
  kCrossReference,
  kMimeType,
  kSort,
  kPattern,
  kSchedule,
  kNameTree,
  // Codec slots, filled by RegisterCodecServices.
  kDeflater,
  kInflater,
  kZipArchive,
  kHuffmanEncoder,
  kHuffmanDecoder,
};
inline constexpr int kSlotCount = 27;
static_assert(kSlotCount == static_cast<int>(Slot::kHuffmanDecoder));

// The service in a slot, or null before registration (and for services this
// build does not have yet). Reading needs no lock: slots change only at
// start-up, before other threads exist, and in tests.
ServiceObject* ServiceAt(Slot slot);

// Fills the 22 core slots, then the 5 codec slots. Neither allocates nor fails.
Result RegisterCoreServices();
Result RegisterCodecServices();
// Called by the launcher after its dialog. Does nothing: the objects are static
// and the slots stay filled.
Result ReleaseServices();

// Puts a substitute service into a slot for the lifetime of this object and
// restores the previous one afterwards. For tests and tools that inject faults.
class ScopedServiceOverride {
 public:
  ScopedServiceOverride(Slot slot, ServiceObject* substitute);
  ~ScopedServiceOverride();
  ScopedServiceOverride(const ScopedServiceOverride&) = delete;
  ScopedServiceOverride& operator=(const ScopedServiceOverride&) = delete;

 private:
  Slot slot_;
  ServiceObject* previous_;
};

namespace detail {
void SetSlot(Slot slot, ServiceObject* service);
}  // namespace detail

// Typed access, used as `Service<MemoryService>(Slot::kMemory)`; each service
// header offers a short accessor on top of this.
template <class T>
T* Service(Slot slot) {
  return static_cast<T*>(ServiceAt(slot));
}

}  // namespace sfx
