#include "tests/reference/inflate_ref.h"

#include <cstring>

namespace sfx::ref {
namespace {

const std::uint8_t kLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
const std::uint16_t kLengthBase[20] = {11, 13, 15, 17, 19, 23,  27,  31,  35,  43,
                                       51, 59, 67, 83, 99, 115, 131, 163, 195, 227};
const std::uint16_t kDistanceBase[26] = {5,   7,   9,   13,   17,   25,   33,   49,   65,   97,   129,   193,   257,
                                         385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};

}  // namespace

std::uint32_t ReferenceCrc32(std::uint32_t crc, const void* data, std::size_t length) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  for (std::size_t i = 0; i < length; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

std::uint32_t ReferenceAdler32(std::uint32_t adler, const void* data, std::size_t length) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::uint32_t s1 = adler & 0xFFFF, s2 = adler >> 16;
  for (std::size_t i = 0; i < length; ++i) {
    s1 = (s1 + p[i]) % 65521;
    s2 = (s2 + s1) % 65521;
  }
  return (s2 << 16) | s1;
}

ReferenceInflater::ReferenceInflater(std::uint32_t windowSize) : windowSize_(windowSize), window_(windowSize) {}

void ReferenceInflater::InitInput(const void* data, std::uint32_t length) {
  next_ = static_cast<const std::uint8_t*>(data);
  available_ = length;
  source_ = nullptr;
  sourcePosition_ = 0;
  sourceRemaining_ = 0;
  bitMask_ = 0;
  currentByte_ = 0;
}

void ReferenceInflater::InitInputStream(Stream* stream, std::uint32_t position, std::uint32_t length) {
  next_ = buffer_;
  available_ = 0;
  source_ = stream;
  sourcePosition_ = position;
  sourceRemaining_ = length;
  bitMask_ = 0;
  currentByte_ = 0;
}

// ---- bits ----

Result ReferenceInflater::Refill() {
  if (sourceRemaining_ == 0 || source_ == nullptr) return kInflateInputExhausted;
  const std::uint32_t ask = sourceRemaining_ < 512 ? sourceRemaining_ : 512;
  std::uint32_t done = 0;
  const Result r = source_->ReadAt(sourcePosition_, buffer_, ask, &done);
  if (Failed(r)) return r;
  if (done == 0 || done > ask) return kInflateInputExhausted;
  next_ = buffer_;
  available_ = done;
  sourcePosition_ += done;
  sourceRemaining_ -= done;
  return kOk;
}

Result ReferenceInflater::ReadBit(std::uint32_t* bit) {
  if (bitMask_ == 0) {
    if (available_ == 0) {
      const Result r = Refill();
      if (Failed(r)) return r;
    }
    currentByte_ = *next_++;
    --available_;
    bitMask_ = 1;
  }
  *bit = (currentByte_ & bitMask_) ? 1 : 0;
  bitMask_ = static_cast<std::uint8_t>(bitMask_ << 1);
  return kOk;
}

Result ReferenceInflater::ReadBits(int count, std::uint32_t* value) {
  std::uint32_t v = 0;
  for (int i = 0; i < count; ++i) {
    std::uint32_t bit = 0;
    const Result r = ReadBit(&bit);
    if (Failed(r)) return r;
    v |= bit << i;
  }
  *value = v;
  return kOk;
}

Result ReferenceInflater::ReadRaw(std::uint8_t* destination, std::uint32_t count) {
  const std::uint32_t fromBuffer = count < available_ ? count : available_;
  std::memcpy(destination, next_, fromBuffer);
  next_ += fromBuffer;
  available_ -= fromBuffer;
  const std::uint32_t rest = count - fromBuffer;
  if (rest == 0) return kOk;
  if (source_ == nullptr || rest > sourceRemaining_) return kInflateInputExhausted;
  std::uint32_t done = 0;
  const Result r = source_->ReadAt(sourcePosition_, destination + fromBuffer, rest, &done);
  if (Failed(r)) return r;
  if (done != rest) return kStreamShortRead;  // a short read must not pass off stale bytes as data
  sourcePosition_ += rest;
  sourceRemaining_ -= rest;
  return kOk;
}

// ---- trees ----

Result ReferenceInflater::BuildTree(const std::uint8_t* lengths, std::uint32_t n, std::uint32_t leafBase, Tree* tree) {
  for (std::uint32_t i = 0; i <= n; ++i) tree->zero[i] = tree->one[i] = 0;
  std::uint32_t nextNode = 1;
  std::uint16_t code = 0;
  for (std::uint32_t length = 1; length <= 16; ++length) {
    for (std::uint32_t j = 0; j < n; ++j) {
      if (lengths[j] != length) continue;
      std::uint32_t node = 0;
      for (int b = static_cast<int>(length) - 1; b >= 1; --b) {
        if (node > n) return kInflateBadTree;
        std::uint16_t* child = ((code >> b) & 1) ? &tree->one[node] : &tree->zero[node];
        if (*child == 0) *child = static_cast<std::uint16_t>(nextNode++);
        node = *child;
      }
      if (node > n) return kInflateBadTree;
      std::uint16_t* leaf = (code & 1) ? &tree->one[node] : &tree->zero[node];
      *leaf = static_cast<std::uint16_t>(leafBase + 1 + j);
      ++code;
    }
    code = static_cast<std::uint16_t>(code << 1);
  }
  return kOk;
}

Result ReferenceInflater::DecodeSymbol(const Tree& tree, std::uint32_t leafBase, std::uint32_t* symbol) {
  std::uint32_t node = 0;
  for (int i = 0; i < 16; ++i) {
    std::uint32_t bit = 0;
    const Result r = ReadBit(&bit);
    if (Failed(r)) return r;
    node = bit ? tree.one[node] : tree.zero[node];
    if (node > leafBase) {
      *symbol = node - leafBase - 1;
      return kOk;
    }
  }
  return kInflateNoLeaf;
}

Result ReferenceInflater::BuildFixedTrees() {
  std::uint8_t lengths[288];
  for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  literalBase_ = 286;
  Result r = BuildTree(lengths, 288, 286, &literal_);
  if (Failed(r)) return r;
  for (int i = 0; i < 32; ++i) lengths[i] = 5;
  distanceBase_ = 30;
  return BuildTree(lengths, 32, 30, &distance_);
}

Result ReferenceInflater::ReadDynamicTables() {
  std::uint32_t hlit = 0, hdist = 0, hclen = 0;
  Result r = ReadBits(5, &hlit);
  if (Failed(r)) return r;
  r = ReadBits(5, &hdist);
  if (Failed(r)) return r;
  r = ReadBits(4, &hclen);
  if (Failed(r)) return r;
  const std::uint32_t nLit = hlit + 257, nDist = hdist + 1, nLen = hclen + 4;
  if (nLit > 286 || nDist > 30 || nLen > 19) return kInflateBadCounts;

  std::uint8_t codeLengths[19] = {};
  for (std::uint32_t i = 0; i < nLen; ++i) {
    std::uint32_t v = 0;
    r = ReadBits(3, &v);
    if (Failed(r)) return r;
    codeLengths[kLengthOrder[i]] = static_cast<std::uint8_t>(v);
  }
  Tree codeTree{};
  r = BuildTree(codeLengths, 19, 19, &codeTree);
  if (Failed(r)) return r;

  std::uint8_t lengths[316] = {};
  std::uint32_t count = 0;
  const std::uint32_t total = nLit + nDist;
  while (count < total) {
    std::uint32_t symbol = 0;
    r = DecodeSymbol(codeTree, 19, &symbol);
    if (Failed(r)) return r;
    if (symbol < 16) {
      lengths[count++] = static_cast<std::uint8_t>(symbol);
      continue;
    }
    if (symbol > 18) return kInflateBadCodeLength;
    if (symbol == 16 && count == 0) return kInflateBadCodeLength;  // nothing to repeat
    std::uint32_t extra = 0, repeat = 0;
    std::uint8_t value = 0;
    if (symbol == 16) {
      r = ReadBits(2, &extra);
      repeat = 3 + extra;
      value = lengths[count - 1];
    } else if (symbol == 17) {
      r = ReadBits(3, &extra);
      repeat = 3 + extra;
    } else {
      r = ReadBits(7, &extra);
      repeat = 11 + extra;
    }
    if (Failed(r)) return r;
    if (repeat > total - count) return kInflateBadCodeLength;  // would run past the lengths
    for (std::uint32_t i = 0; i < repeat; ++i) lengths[count++] = value;
  }

  std::uint8_t literalLengths[286] = {};
  std::uint8_t distanceLengths[30] = {};
  std::memcpy(literalLengths, lengths, nLit);
  std::memcpy(distanceLengths, lengths + nLit, nDist);
  literalBase_ = 286;
  r = BuildTree(literalLengths, 286, 286, &literal_);
  if (Failed(r)) return r;
  distanceBase_ = 30;
  return BuildTree(distanceLengths, 30, 30, &distance_);
}

// ---- output ----

Result ReferenceInflater::Flush() {
  if (output_ == nullptr) return kInflateNoOutput;
  const Result r = output_->Write(out_, pos_, nullptr);
  if (Failed(r)) return r;
  if (crc_ != nullptr) *crc_ = ReferenceCrc32(*crc_, out_, pos_);
  if (adler_ != nullptr) *adler_ = ReferenceAdler32(*adler_, out_, pos_);
  pos_ = 0;
  return kOk;
}

Result ReferenceInflater::StoreByte(std::uint8_t byte) {
  if (pos_ == capacity_) {
    const Result r = Flush();
    if (Failed(r)) return r;
  }
  out_[pos_++] = byte;
  ++total_;
  return kOk;
}

// ---- blocks ----

Result ReferenceInflater::ReadBlockHeader(std::uint32_t* isFinal, std::uint32_t* isCompressed,
                                          std::uint32_t* isDynamic) {
  std::uint32_t final = 0, type = 0;
  Result r = ReadBits(1, &final);
  if (Failed(r)) return r;
  *isFinal = final;
  r = ReadBits(2, &type);
  if (Failed(r)) return r;
  if (type == 3) return kInflateBadBlock;
  *isCompressed = type != 0 ? 1 : 0;
  if (type != 0) *isDynamic = type == 2 ? 1 : 0;
  return kOk;
}

Result ReferenceInflater::StoredBlock() {
  bitMask_ = 0;
  std::uint8_t header[4];
  Result r = ReadRaw(header, 4);
  if (Failed(r)) return r;
  const std::uint32_t len = header[0] | (header[1] << 8);
  const std::uint32_t nlen = header[2] | (header[3] << 8);
  if (len != (~nlen & 0xFFFF)) return kInflateBadBlock;
  std::uint32_t remaining = len;
  while (remaining > 0) {
    if (pos_ == capacity_) {
      r = Flush();
      if (Failed(r)) return r;
    }
    const std::uint32_t room = capacity_ - pos_;
    const std::uint32_t piece = remaining < room ? remaining : room;
    r = ReadRaw(out_ + pos_, piece);
    if (Failed(r)) return r;
    pos_ += piece;
    total_ += piece;
    remaining -= piece;
  }
  return kOk;
}

Result ReferenceInflater::CompressedBlock() {
  for (;;) {
    std::uint32_t symbol = 0;
    Result r = DecodeSymbol(literal_, literalBase_, &symbol);
    if (Failed(r)) return r;
    if (symbol < 256) {
      r = StoreByte(static_cast<std::uint8_t>(symbol));
      if (Failed(r)) return r;
      continue;
    }
    if (symbol == 256) return kOk;
    if (symbol > 285) return kInflateBadLiteral;
    std::uint32_t length = 0;
    if (symbol <= 264) {
      length = symbol - 254;
    } else if (symbol <= 284) {
      std::uint32_t extra = 0;
      r = ReadBits(static_cast<int>((symbol - 261) >> 2), &extra);
      if (Failed(r)) return r;
      length = kLengthBase[symbol - 265] + extra;
    } else {
      length = 258;
    }
    std::uint32_t d = 0;
    r = DecodeSymbol(distance_, distanceBase_, &d);
    if (Failed(r)) return r;
    if (d > 29) return kInflateBadDistance;
    std::uint32_t distance = 0;
    if (d <= 3) {
      distance = d + 1;
    } else {
      std::uint32_t extra = 0;
      r = ReadBits(static_cast<int>((d - 2) >> 1), &extra);
      if (Failed(r)) return r;
      distance = kDistanceBase[d - 4] + extra;
    }
    if (distance > total_ || distance > windowSize_) return kInflateBadDistance;
    std::uint32_t source = distance > pos_ ? pos_ + capacity_ - distance : pos_ - distance;
    for (std::uint32_t i = 0; i < length; ++i) {
      r = StoreByte(out_[source]);
      if (Failed(r)) return r;
      if (++source == capacity_) source = 0;
    }
  }
}

Result ReferenceInflater::InflateBlock(std::uint8_t** buffer, std::uint32_t* size) {
  if (*buffer == nullptr) {
    *buffer = window_.data();
    capacity_ = windowSize_;
  } else {
    capacity_ = *size;
  }
  out_ = *buffer;
  pos_ = 0;
  total_ = 0;
  output_ = nullptr;
  crc_ = nullptr;
  adler_ = nullptr;
  const Result r = CompressedBlock();
  if (Failed(r)) return r;
  *size = pos_;
  return kOk;
}

Result ReferenceInflater::Extract(Stream* output, std::uint32_t* size, std::uint32_t* crc, std::uint32_t* adler,
                                  ProgressSink* progress) {
  out_ = window_.data();
  capacity_ = windowSize_;
  pos_ = 0;
  total_ = 0;
  output_ = output;
  crc_ = crc;
  adler_ = adler;
  for (;;) {
    std::uint32_t isFinal = 0, isCompressed = 0, isDynamic = 0;
    Result r = ReadBlockHeader(&isFinal, &isCompressed, &isDynamic);
    if (Failed(r)) return r;
    if (!isCompressed) {
      r = StoredBlock();
    } else {
      r = isDynamic ? ReadDynamicTables() : BuildFixedTrees();
      if (Succeeded(r)) r = CompressedBlock();
    }
    if (Failed(r)) return r;
    if (progress != nullptr) {
      r = progress->Notify(static_cast<std::uint32_t>(kInflateProgress), &total_);
      if (Failed(r)) return r;
    }
    if (isFinal) break;
  }
  if (pos_ > 0) {
    if (output == nullptr) return kInflateNoOutput;
    const Result r = output->Write(out_, pos_, nullptr);
    if (Failed(r)) return r;
  }
  if (crc != nullptr) *crc = ReferenceCrc32(*crc, out_, pos_);
  if (adler != nullptr) *adler = ReferenceAdler32(*adler, out_, pos_);
  if (size != nullptr) *size = total_;
  return kOk;
}

}  // namespace sfx::ref
