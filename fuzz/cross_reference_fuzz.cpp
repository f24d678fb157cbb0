// Builds a cross-reference table from operations in the input (records,
// anchors, links, record building in any order, enumeration and resolution)
// and checks what every link ends with.
//
// Input: operations, one byte each.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "services/core/service.h"
#include "services/data/cross_reference.h"

namespace {

using namespace sfx;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string NameFor(std::uint8_t b) { return std::string(1 + (b >> 6), static_cast<char>('a' + (b & 7))); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = ((void)sfx::RegisterCoreServices(), true);
  (void)registered;
  if (size > 4000) return 0;
  CrossReferenceTable* t = nullptr;
  if (Failed(CrossReferences()->CreateCrossReferenceTable(&t))) return 0;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const std::uint8_t op = data[i], arg = data[i + 1];
    const std::string name = NameFor(arg);
    const auto length = static_cast<std::uint32_t>(name.size());
    switch (op % 8) {
      case 0: (void)t->AddRecord(name.data(), length, arg, nullptr); break;
      case 1: (void)t->BeginRecord(arg % 16, op); break;
      case 2: (void)t->EndRecord(); break;
      case 3: (void)t->AddAnchor(name.data(), length, op, nullptr); break;
      case 4:
      case 5: {
        const std::string anchor = NameFor(op);
        (void)t->AddLink(name.data(), length, op & 8 ? anchor.data() : nullptr,
                         static_cast<std::uint32_t>(anchor.size()), 3, 4, 0);
        break;
      }
      case 6: {
        char buffer[8];
        std::uint32_t n = sizeof buffer, value = 0;
        (void)t->NextRecord(buffer, &n, &value);
        break;
      }
      default: Check(Succeeded(t->ResolveLinks(nullptr))); break;
    }
  }
  Check(Succeeded(t->ResolveLinks(nullptr)));
  for (std::uint32_t i = 0; i < t->linkCount(); ++i) {
    std::uint32_t words[kLinkWords];
    Check(t->ReadLink(i, words) == kOk);
    const std::uint32_t status = words[5] & 0xFF;
    Check(status == 1 || status == 2 || status == 3);
  }
  (void)t->Close();
  return 0;
}
