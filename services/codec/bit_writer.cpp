#include "services/codec/bit_writer_p.h"

#include "services/codec/deflater.h"

namespace sfx::deflate {

void BitWriter::InitMemory(void* buffer, std::uint32_t capacity) {
  output_ = static_cast<std::uint8_t*>(buffer);
  capacity_ = capacity;
  count_ = 0;
  bits_ = 0;
  bitCount_ = 0;
  stream_ = nullptr;
  position_ = 0;
  total_ = 0;
}

void BitWriter::InitStream(Stream* stream, std::uint32_t position) {
  output_ = buffer_;
  capacity_ = kStagingBytes;
  count_ = 0;
  bits_ = 0;
  bitCount_ = 0;
  stream_ = stream;
  position_ = position;
  total_ = 0;
}

Result BitWriter::DrainChecked() {
  while (bitCount_ >= 8) {
    // Only a memory block can be full here: the staging buffer is written
    // out the moment it fills.
    if (count_ == capacity_) return kDeflateOutputFull;
    output_[count_++] = static_cast<std::uint8_t>(bits_);
    bits_ >>= 8;
    bitCount_ -= 8;
    ++total_;
    if (stream_ != nullptr && count_ == capacity_) {
      SFX_TRY(stream_->WriteAt(position_, output_, count_, nullptr));
      position_ += count_;
      count_ = 0;
    }
  }
  return kOk;
}

Result BitWriter::Finish(std::uint32_t* total) {
  if (bitCount_ > 0) {
    bitCount_ = 8;  // the bits above the pending ones are zero
    SFX_TRY(DrainChecked());
  }
  if (stream_ != nullptr) {
    SFX_TRY(stream_->WriteAt(position_, output_, count_, nullptr));
    position_ += count_;
    count_ = 0;
  }
  if (total != nullptr) *total = total_;
  return kOk;
}

}  // namespace sfx::deflate
