#include "services/codec/deflater.h"

#include <gtest/gtest.h>

#include <cstring>

#include "services/codec/crc.h"
#include "services/core/memory_service.h"
#include "services/core/memory_stream.h"
#include "tests/reference/deflate_ref.h"
#include "tests/services/codec/deflate_test_support.h"
#include "tests/support/fault_memory.h"

namespace sfx {
namespace {

using test::Bytes;
using test::CompressBytes;

class DeflaterTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Deflaters()->CreateDeflater(kDeflateDefaultBlockSize, &d_), kOk); }
  void TearDown() override {
    if (d_ != nullptr) {
      EXPECT_EQ(d_->DestroyDeflater(), kOk);
    }
  }
  Deflater* d_ = nullptr;
};

std::uint32_t CurrentBytes() {
  std::uint32_t current = 0;
  (void)Memory()->GetStatistics(nullptr, &current, nullptr, nullptr);
  return current;
}

// A stream over the caller's bytes, closed by the test.
Stream* ReadOnly(const Bytes& bytes) {
  Stream* in = nullptr;
  const auto size = static_cast<std::uint32_t>(bytes.size());
  EXPECT_EQ(MemoryStreams()->CreateMemoryStream(const_cast<std::uint8_t*>(bytes.data()), size, size,
                                                kMemoryStreamCallerOwns, &in),
            kOk);
  return in;
}

// ---- creation and the shared table ----

TEST(DeflaterServiceTest, BlockSizeOutsideOneTo32768IsRejected) {
  Deflater* d = nullptr;
  EXPECT_EQ(Deflaters()->CreateDeflater(0, &d), kFail);
  EXPECT_EQ(Deflaters()->CreateDeflater(kDeflateMaxBlockSize + 1, &d), kFail);
  EXPECT_EQ(Deflaters()->CreateDeflater(0xFFFFFFFFu, &d), kFail);
  EXPECT_EQ(d, nullptr);
  EXPECT_EQ(Deflaters()->CreateDeflater(1, nullptr), kNullOutput);
  for (std::uint32_t size : {1u, kDeflateMaxBlockSize}) {
    ASSERT_EQ(Deflaters()->CreateDeflater(size, &d), kOk);
    EXPECT_EQ(d->DestroyDeflater(), kOk);
  }
}

TEST(DeflaterServiceTest, FailedAllocationsFreeEverythingAndReportTheAllocationsResult) {
  test::ScopedFaultMemory memory;
  // The instance, then piece buffer, literals, distances, hash heads, hash chain.
  for (std::uint32_t nth = 1; nth <= 6; ++nth) {
    const std::uint32_t before = CurrentBytes();
    memory->FailNth(nth);
    Deflater* d = nullptr;
    EXPECT_EQ(Deflaters()->CreateDeflater(1000, &d), kOutOfMemory) << nth;
    EXPECT_EQ(CurrentBytes(), before) << nth;
  }
  memory->FailNth(7);
  Deflater* d = nullptr;
  ASSERT_EQ(Deflaters()->CreateDeflater(1000, &d), kOk);
  EXPECT_EQ(memory->calls(), 6u);
  EXPECT_EQ(d->DestroyDeflater(), kOk);
}

TEST_F(DeflaterTest, TheServiceAndItsInstancesShareOneTable) {
  Deflater* other = nullptr;
  ASSERT_EQ(d_->CreateDeflater(100, &other), kOk);  // slot 1 through an instance
  EXPECT_EQ(other->DestroyDeflater(), kOk);
  EXPECT_EQ(Deflaters()->ResetFrequencies(), kFail);
  EXPECT_EQ(Deflaters()->Compress(nullptr, 0, 1, nullptr, nullptr), kFail);
}

// ---- round trips ----

TEST(DeflateRoundTripTest, VariedInputsDecodeWithZlibAndTheCheckingDecoder) {
  for (const auto& input : test::VariedInputs()) {
    for (std::uint32_t blockSize : {1u, 3u, 1000u, 32768u}) {
      if (blockSize < 100 && input.bytes.size() > 3000) continue;  // slow and already covered
      SCOPED_TRACE(input.name + " / " + std::to_string(blockSize));
      std::uint32_t crc = 0xFFFFFFFFu, adler = 1;
      Result r = kFail;
      const Bytes packed = CompressBytes(input.bytes, blockSize, &r, &crc, &adler);
      ASSERT_EQ(r, kOk);
      EXPECT_EQ(~crc, crc32(0, input.bytes.data(), static_cast<uInt>(input.bytes.size())));
      EXPECT_EQ(adler, adler32(1, input.bytes.data(), static_cast<uInt>(input.bytes.size())));

      Bytes unpacked;
      ASSERT_TRUE(test::ZlibInflateRaw(packed, &unpacked));
      EXPECT_TRUE(unpacked == input.bytes);
      Bytes decoded;
      std::uint32_t decodedCrc = 0;
      ASSERT_TRUE(test::InflaterDecode(packed, &decoded, &decodedCrc));
      EXPECT_TRUE(decoded == input.bytes);
      EXPECT_EQ(decodedCrc, ~crc);

      const auto inspected = reference::InspectDeflateStream(packed.data(), packed.size());
      ASSERT_TRUE(inspected.ok) << inspected.error;
      EXPECT_EQ(inspected.bytesUsed, packed.size());
      EXPECT_TRUE(inspected.output == input.bytes);
      const std::size_t pieces = (input.bytes.size() + blockSize - 1) / blockSize;
      ASSERT_EQ(inspected.blocks.size(), pieces);
      for (std::size_t b = 0; b < pieces; ++b) {
        EXPECT_EQ(inspected.blocks[b].type, 2u);
        EXPECT_EQ(inspected.blocks[b].final, b + 1 == pieces);
        EXPECT_TRUE(inspected.blocks[b].codesComplete) << "block " << b;
      }
    }
  }
}

TEST(DeflateRoundTripTest, EmptyInputIsOneFinalFixedBlockWithOnlyEndOfBlock) {
  std::uint32_t crc = 0xFFFFFFFFu;
  Result r = kFail;
  const Bytes packed = CompressBytes({}, 32768, &r, &crc);
  ASSERT_EQ(r, kOk);
  EXPECT_EQ(packed, (Bytes{0x03, 0x00}));
  EXPECT_EQ(crc, 0xFFFFFFFFu);
  Bytes unpacked{1};
  EXPECT_TRUE(test::ZlibInflateRaw(packed, &unpacked));
  EXPECT_TRUE(unpacked.empty());
  std::uint32_t decodedCrc = 0;
  EXPECT_TRUE(test::InflaterDecode(packed, &unpacked, &decodedCrc));
  EXPECT_TRUE(unpacked.empty());
}

TEST_F(DeflaterTest, ReusedForSeveralOutputsGivesTheSameBytes) {
  const Bytes input = test::VariedInputs()[9].bytes;  // text
  Stream* in = ReadOnly(input);
  Bytes first(input.size() + 1024, 0xEE), second(input.size() + 1024);
  std::uint32_t n1 = 0, n2 = 0;
  ASSERT_EQ(d_->InitOutput(first.data(), static_cast<std::uint32_t>(first.size())), kOk);
  ASSERT_EQ(d_->Compress(in, 0, static_cast<std::uint32_t>(input.size()), nullptr, nullptr), kOk);
  ASSERT_EQ(d_->FinishOutput(&n1), kOk);
  ASSERT_EQ(d_->InitOutput(second.data(), static_cast<std::uint32_t>(second.size())), kOk);
  ASSERT_EQ(d_->Compress(in, 0, static_cast<std::uint32_t>(input.size()), nullptr, nullptr), kOk);
  ASSERT_EQ(d_->FinishOutput(&n2), kOk);
  EXPECT_EQ(n1, n2);
  EXPECT_EQ(std::memcmp(first.data(), second.data(), n1), 0);
  // Room left over is not written to.
  for (std::size_t k = n1; k < first.size(); ++k) ASSERT_EQ(first[k], 0xEE) << k;
  (void)in->Close();
}

// ---- output: memory block and stream ----

TEST(DeflateOutputTest, AFullMemoryBlockFailsAtTheFirstByteThatDoesNotFit) {
  const Bytes input = test::VariedInputs()[9].bytes;
  const Bytes full = CompressBytes(input, 32768);
  ASSERT_FALSE(full.empty());
  Stream* in = ReadOnly(input);
  Deflater* d = nullptr;
  ASSERT_EQ(Deflaters()->CreateDeflater(32768, &d), kOk);
  for (std::uint32_t capacity : {0u, 1u, 7u, 8u, 100u, static_cast<std::uint32_t>(full.size()) - 1}) {
    Bytes out(capacity + 16, 0xEE);
    ASSERT_EQ(d->InitOutput(out.data(), capacity), kOk);
    Result r = d->Compress(in, 0, static_cast<std::uint32_t>(input.size()), nullptr, nullptr);
    if (Succeeded(r)) r = d->FinishOutput(nullptr);
    EXPECT_EQ(r, kDeflateOutputFull) << capacity;
    EXPECT_EQ(std::memcmp(out.data(), full.data(), capacity), 0) << capacity;
    for (std::uint32_t k = capacity; k < out.size(); ++k) ASSERT_EQ(out[k], 0xEE) << capacity;
  }
  Bytes exact(full.size());
  std::uint32_t total = 0;
  ASSERT_EQ(d->InitOutput(exact.data(), static_cast<std::uint32_t>(exact.size())), kOk);
  ASSERT_EQ(d->Compress(in, 0, static_cast<std::uint32_t>(input.size()), nullptr, nullptr), kOk);
  ASSERT_EQ(d->FinishOutput(&total), kOk);
  EXPECT_EQ(total, full.size());
  EXPECT_TRUE(exact == full);
  EXPECT_EQ(d->DestroyDeflater(), kOk);
  (void)in->Close();
}

// A memory stream that records where each write lands.
// (Close ends it as a MemoryStream, so it owns nothing with a destructor.)
struct WriteSpan {
  std::uint32_t position, count;
};
class RecordingStream : public MemoryStream {
 public:
  explicit RecordingStream(std::vector<WriteSpan>* writes) : writes_(writes) {
    flags_ = kWritable | kGrowable | kOwnsData;
  }
  Result Write(const void* buffer, std::uint32_t count, std::uint32_t* done) override {
    writes_->push_back({position(), count});
    if (failWrites) return kStreamShortWrite;
    return MemoryStream::Write(buffer, count, done);
  }
  bool failWrites = false;

 private:
  std::vector<WriteSpan>* writes_;
};

TEST(DeflateOutputTest, StreamOutputGoesOutIn512ByteWritesAtExplicitPositions) {
  const Bytes input = test::VariedInputs()[6].bytes;  // random 70000: several pieces, about 70 KB out
  const Bytes full = CompressBytes(input, 32768);
  Stream* in = ReadOnly(input);
  std::vector<WriteSpan> writes;
  RecordingStream* out = nullptr;
  ASSERT_EQ(NewInstance(&out, &writes), kOk);
  Deflater* d = nullptr;
  ASSERT_EQ(Deflaters()->CreateDeflater(32768, &d), kOk);
  const std::uint32_t start = 100;
  ASSERT_EQ(d->InitOutputStream(out, start), kOk);
  ASSERT_EQ(d->Compress(in, 0, static_cast<std::uint32_t>(input.size()), nullptr, nullptr), kOk);
  std::uint32_t total = 0;
  ASSERT_EQ(d->FinishOutput(&total), kOk);
  EXPECT_EQ(total, full.size());
  ASSERT_EQ(writes.size(), full.size() / 512 + 1);
  for (std::size_t k = 0; k < writes.size(); ++k) {
    EXPECT_EQ(writes[k].position, start + 512 * k);
    EXPECT_EQ(writes[k].count, k + 1 < writes.size() ? 512u : full.size() % 512);
  }
  ASSERT_EQ(out->size(), start + full.size());
  EXPECT_EQ(std::memcmp(out->data() + start, full.data(), full.size()), 0);

  // A failing write comes back unchanged.
  out->failWrites = true;
  ASSERT_EQ(d->InitOutputStream(out, 0), kOk);
  EXPECT_EQ(d->Compress(in, 0, static_cast<std::uint32_t>(input.size()), nullptr, nullptr), kStreamShortWrite);
  EXPECT_EQ(d->DestroyDeflater(), kOk);
  (void)out->Close();
  (void)in->Close();
}

TEST_F(DeflaterTest, FinishOutputCompletesAPartialByteOnly) {
  std::uint8_t out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  std::uint32_t total = 99;
  ASSERT_EQ(d_->InitOutput(out, 4), kOk);
  ASSERT_EQ(d_->WriteBlockHeader(1, 1, 1), kOk);  // 3 bits: 1, then 2 as two bits
  ASSERT_EQ(d_->FinishOutput(&total), kOk);
  EXPECT_EQ(total, 1u);
  EXPECT_EQ(out[0], 0x05);
  EXPECT_EQ(out[1], 0xAA);

  ASSERT_EQ(d_->InitOutput(out, 4), kOk);
  for (int k = 0; k < 4; ++k) ASSERT_EQ(d_->WriteBlockHeader(k & 1, 0, 0), kOk);  // 12 bits
  ASSERT_EQ(d_->WriteBlockHeader(0, 1, 0), kOk);                                  // 15 bits
  ASSERT_EQ(d_->WriteBlockHeader(1, 1, 0), kOk);                                  // 18 bits
  ASSERT_EQ(d_->FinishOutput(&total), kOk);
  EXPECT_EQ(total, 3u);

  ASSERT_EQ(d_->InitOutput(out, 4), kOk);
  for (int k = 0; k < 8; ++k) ASSERT_EQ(d_->WriteBlockHeader(1, 0, 0), kOk);  // 24 bits
  ASSERT_EQ(d_->FinishOutput(&total), kOk);
  EXPECT_EQ(total, 3u);
  EXPECT_EQ(out[0], 0x49);  // 001 001 00|1 ...: bits 1,0,0 repeated
  EXPECT_EQ(out[3], 0xAA);

  // With no room at all, the first completed byte fails.
  ASSERT_EQ(d_->InitOutput(out, 0), kOk);
  ASSERT_EQ(d_->WriteBlockHeader(1, 1, 1), kOk);
  EXPECT_EQ(d_->FinishOutput(&total), kDeflateOutputFull);
}

// ---- input ----

TEST_F(DeflaterTest, AShortReadIsAFailureNotStaleBytes) {
  const Bytes data(1000, 'x');
  Stream* in = ReadOnly(data);
  Bytes out(4096);
  ASSERT_EQ(d_->InitOutput(out.data(), 4096), kOk);
  EXPECT_EQ(d_->Compress(in, 0, 1001, nullptr, nullptr), kStreamShortRead);
  ASSERT_EQ(d_->InitOutput(out.data(), 4096), kOk);
  EXPECT_EQ(d_->Compress(in, 500, 501, nullptr, nullptr), kStreamShortRead);
  ASSERT_EQ(d_->InitOutput(out.data(), 4096), kOk);
  EXPECT_EQ(d_->Compress(in, 500, 500, nullptr, nullptr), kOk);
  (void)in->Close();
}

TEST(DeflateParseTest, APieceLongerThanTheBlockSizeFailsAndChangesNothing) {
  Deflater* d = nullptr;
  ASSERT_EQ(Deflaters()->CreateDeflater(16, &d), kOk);
  const std::uint8_t data[17] = "abcabcabcabcabca";
  std::uint32_t count = 0;
  const std::uint8_t* literals = nullptr;
  const std::uint16_t* distances = nullptr;
  ASSERT_EQ(d->ParseBlock(data, 16, &count, &literals, &distances), kOk);
  const Bytes lits(literals, literals + count);
  std::uint32_t count2 = 77;
  EXPECT_EQ(d->ParseBlock(data, 17, &count2, nullptr, nullptr), kDeflatePieceTooLong);
  EXPECT_EQ(count2, 77u);
  EXPECT_TRUE(Bytes(literals, literals + count) == lits);
  EXPECT_EQ(d->DestroyDeflater(), kOk);
}

// ---- the piecewise operations ----

TEST_F(DeflaterTest, SeveralPiecesCountedIntoOneSetOfCodes) {
  const Bytes text = test::VariedInputs()[9].bytes;
  const Bytes a(text.begin(), text.begin() + 20000), b(text.begin() + 20000, text.begin() + 30000);
  ASSERT_EQ(d_->ResetFrequencies(), kOk);
  std::uint32_t na = 0, nb = 0;
  const std::uint8_t* lits = nullptr;
  const std::uint16_t* dists = nullptr;
  ASSERT_EQ(d_->ParseBlock(a.data(), 20000, &na, &lits, &dists), kOk);
  const Bytes litsA(lits, lits + na);
  const std::vector<std::uint16_t> distsA(dists, dists + na);
  ASSERT_EQ(d_->ParseBlock(b.data(), 10000, &nb, &lits, &dists), kOk);
  ASSERT_EQ(d_->BuildTrees(0), kOk);

  Bytes out(40000);
  std::uint32_t total = 0;
  ASSERT_EQ(d_->InitOutput(out.data(), 40000), kOk);
  ASSERT_EQ(d_->WriteBlockHeader(0, 1, 1), kOk);
  ASSERT_EQ(d_->WriteDynamicTables(), kOk);
  ASSERT_EQ(d_->WriteBlockData(na, litsA.data(), distsA.data()), kOk);
  ASSERT_EQ(d_->WriteBlockHeader(1, 1, 1), kOk);
  ASSERT_EQ(d_->WriteDynamicTables(), kOk);
  ASSERT_EQ(d_->WriteBlockData(0, nullptr, nullptr), kOk);  // the last piece's own symbols
  ASSERT_EQ(d_->FinishOutput(&total), kOk);
  out.resize(total);
  Bytes unpacked;
  ASSERT_TRUE(test::ZlibInflateRaw(out, &unpacked));
  EXPECT_TRUE(unpacked == Bytes(text.begin(), text.begin() + 30000));
}

TEST_F(DeflaterTest, CallerSymbolsThatCannotBeCodedFail) {
  const std::uint8_t data[] = "abcdabcdabcd";
  ASSERT_EQ(d_->ResetFrequencies(), kOk);
  ASSERT_EQ(d_->ParseBlock(data, 12, nullptr, nullptr, nullptr), kOk);
  ASSERT_EQ(d_->BuildTrees(0), kOk);
  Bytes out(256);
  ASSERT_EQ(d_->InitOutput(out.data(), 256), kOk);
  const std::uint8_t litsUncoded[] = {'z'};
  const std::uint16_t noDistance[] = {0};
  EXPECT_EQ(d_->WriteBlockData(1, litsUncoded, noDistance), kFail);
  const std::uint8_t lengthSix[] = {3};
  const std::uint16_t tooFar[] = {32769};
  EXPECT_EQ(d_->WriteBlockData(1, lengthSix, tooFar), kFail);
  const std::uint16_t farDistance[] = {30000};  // a distance code that never occurred
  EXPECT_EQ(d_->WriteBlockData(1, lengthSix, farDistance), kFail);
  const std::uint8_t lengthTen[] = {7};  // a length code that never occurred
  const std::uint16_t four[] = {4};
  EXPECT_EQ(d_->WriteBlockData(1, lengthTen, four), kFail);

  Deflater* fresh = nullptr;  // no codes built yet
  ASSERT_EQ(Deflaters()->CreateDeflater(100, &fresh), kOk);
  ASSERT_EQ(fresh->InitOutput(out.data(), 256), kOk);
  EXPECT_EQ(fresh->WriteDynamicTables(), kFail);
  EXPECT_EQ(fresh->WriteBlockData(0, nullptr, nullptr), kFail);
  EXPECT_EQ(fresh->DestroyDeflater(), kOk);
}

TEST_F(DeflaterTest, ForcedLiteralsGiveLiteralZeroTheCountOfTheNthMostFrequent) {
  // No three bytes repeat, so every byte is a literal: a 4, b 2, c 1.
  const std::uint8_t data[] = {'a', 'a', 'b', 'a', 'c', 'a', 'b'};
  for (std::uint32_t forced : {1u, 2u, 3u, 25u}) {
    SCOPED_TRACE(forced);
    ASSERT_EQ(d_->ResetFrequencies(), kOk);
    ASSERT_EQ(d_->ParseBlock(data, 7, nullptr, nullptr, nullptr), kOk);
    ASSERT_EQ(d_->BuildTrees(forced), kOk);
    Bytes out(256);
    std::uint32_t total = 0;
    ASSERT_EQ(d_->InitOutput(out.data(), 256), kOk);
    ASSERT_EQ(d_->WriteBlockHeader(1, 1, 1), kOk);
    ASSERT_EQ(d_->WriteDynamicTables(), kOk);
    ASSERT_EQ(d_->WriteBlockData(0, nullptr, nullptr), kOk);
    ASSERT_EQ(d_->FinishOutput(&total), kOk);
    const auto inspected = reference::InspectDeflateStream(out.data(), total);
    ASSERT_TRUE(inspected.ok) << inspected.error;
    std::uint16_t counts[286] = {};
    counts['a'] = 4;
    counts['b'] = 2;
    counts['c'] = 1;
    counts[256] = 1;
    counts[0] = forced == 1 ? 4 : forced == 2 ? 2 : 1;
    const auto expected = reference::ReferenceHuffman(counts, 286, 15);
    const auto& got = inspected.blocks[0].literalLengthLengths;
    ASSERT_EQ(got.size(), 257u);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.lengths.begin()));
  }
}

}  // namespace
}  // namespace sfx
