// Private to the URL service's source files.
#pragma once

#include <cstdint>

#include "services/core/memory_service.h"
#include "services/locator/url_service.h"

namespace sfx::url {

// Output that either counts or writes: every result is produced by running
// the same code twice, first with no buffer to learn its length (checked
// against the capacity before anything is written), then into the buffer.
// So the length reported and the bytes written cannot disagree.
class Output {
 public:
  explicit Output(char* buffer) : buffer_(buffer) {}
  void Put(char byte) {
    if (buffer_ != nullptr) buffer_[length_] = byte;
    ++length_;
  }
  void Put(const char* text, std::uint32_t count) {
    if (buffer_ != nullptr && count > 0) (void)Memory()->Copy(buffer_ + length_, text, count);
    length_ += count;
  }
  // Counts `count` bytes that the caller has written at buffer() + length().
  void Advance(std::uint64_t count) { length_ += count; }
  char* buffer() const { return buffer_; }
  // 64 bits: a result built from two 32-bit inputs can pass 4 GiB.
  std::uint64_t length() const { return length_; }

 private:
  char* buffer_;
  std::uint64_t length_ = 0;
};

// Runs `build(Output&)` once to measure and once to write, under the capacity
// in/out convention.
template <class Build>
Result Produce(char* buffer, std::uint32_t* capacity, Build build) {
  if (capacity == nullptr) return kNullOutput;
  Output measure(nullptr);
  SFX_TRY(build(measure));
  const std::uint64_t needed = measure.length();
  if (needed > *capacity || (needed > 0 && buffer == nullptr)) {
    *capacity = needed > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(needed);
    return kUrlBufferTooSmall;
  }
  Output write(buffer);
  SFX_TRY(build(write));
  if (write.length() != needed) return kUrlLengthMismatch;
  *capacity = static_cast<std::uint32_t>(needed);
  return kOk;
}

// True when the parts come from a URL with an authority ("//" after the
// scheme), even an empty one: the host's offset is then non-zero.
inline bool HasAuthority(const UrlParts& p) {
  return p.offset[kUrlHost] != 0 || p.length[kUrlUser] != 0 || p.length[kUrlPassword] != 0 || p.length[kUrlHost] != 0 ||
         p.length[kUrlPort] != 0;
}

// Writes (or counts) components first..last of a URL with their delimiters;
// MeasureUrl is this with a counting Output.
void Compose(const char* text, const UrlParts& parts, std::uint32_t first, std::uint32_t last, Output& out);

inline bool IsAsciiLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

}  // namespace sfx::url
