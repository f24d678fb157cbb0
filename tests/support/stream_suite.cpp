#include "tests/support/stream_suite.h"

#include <cstring>
#include <vector>

#include "tests/support/fault_memory.h"

namespace sfx::test {

std::string ReadAll(Stream* s) {
  std::uint32_t size = 0;
  EXPECT_EQ(s->GetSize(&size), kOk);
  std::string bytes(size, '\0');
  std::uint32_t done = 0;
  EXPECT_EQ(s->Seek(0, kSeekStart, nullptr), kOk);
  if (size != 0) {
    EXPECT_EQ(s->Read(bytes.data(), size, &done), kOk);
  }
  EXPECT_EQ(done, size);
  return bytes;
}

StreamPtr GenericStreamTest::Make() {
  Stream* s = nullptr;
  EXPECT_EQ(GetParam().create(&s), kOk);
  return StreamPtr(s);
}

StreamPtr GenericStreamTest::MakeWith(const std::string& bytes) {
  StreamPtr s = Make();
  if (s && !bytes.empty()) {
    EXPECT_EQ(s->Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), nullptr), kOk);
  }
  return s;
}

namespace {

// Forwards to a real stream but fails one chosen own operation from its n-th
// call on, or makes writes short, so the generic operations' failure paths
// can be driven on every kind.
class FailingStream final : public Stream {
 public:
  enum Op { kNone, kSeek, kRead, kWrite, kGetSize, kSetSize };

  FailingStream(Stream* inner, Op op, int nth) : inner_(inner), op_(op), nth_(nth) {}
  ~FailingStream() = default;

  // Writes report at most this many bytes done (0 = no limit).
  void LimitWrites(std::uint32_t bytes) { writeLimit_ = bytes; }

  Result Close() override { return kOk; }  // the owner closes the inner stream
  Result Seek(std::int32_t offset, std::uint32_t origin, std::uint32_t* newPosition) override {
    if (Fails(kSeek)) return kFail;
    return inner_->Seek(offset, origin, newPosition);
  }
  Result Read(void* buffer, std::uint32_t count, std::uint32_t* done) override {
    if (Fails(kRead)) return kFail;
    return inner_->Read(buffer, count, done);
  }
  Result Write(const void* buffer, std::uint32_t count, std::uint32_t* done) override {
    if (Fails(kWrite)) return kFail;
    if (writeLimit_ != 0 && count > writeLimit_) {
      std::uint32_t n = 0;
      SFX_TRY(inner_->Write(buffer, writeLimit_, &n));
      if (done == nullptr) return kStreamShortWrite;
      *done = n;
      return kOk;
    }
    return inner_->Write(buffer, count, done);
  }
  Result GetSize(std::uint32_t* size) override {
    if (Fails(kGetSize)) return kFail;
    return inner_->GetSize(size);
  }
  Result SetSize(std::uint32_t newSize) override {
    if (Fails(kSetSize)) return kFail;
    return inner_->SetSize(newSize);
  }
  Result Reserve(std::uint32_t capacity) override { return inner_->Reserve(capacity); }
  Result SetParameter(std::uint32_t value) override { return inner_->SetParameter(value); }

 private:
  bool Fails(Op op) { return op == op_ && ++calls_ >= nth_; }

  Stream* inner_;
  Op op_;
  int nth_;
  int calls_ = 0;
  std::uint32_t writeLimit_ = 0;
};

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + i / 251) & 0xFF);
  return s;
}

// ---- the basic rules every kind follows ----

TEST_P(GenericStreamTest, BasicRulesShared) {
  StreamPtr s = MakeWith("0123456789");
  std::uint32_t position = 77;
  EXPECT_EQ(s->Seek(1, 3, &position), kOriginOutOfRange);
  EXPECT_EQ(position, 77u);
  EXPECT_EQ(s->Seek(-3, kSeekEnd, &position), kOk);
  EXPECT_EQ(position, 7u);
  EXPECT_EQ(s->Seek(-2, kSeekCurrent, &position), kOk);
  EXPECT_EQ(position, 5u);
  EXPECT_EQ(s->GetSize(nullptr), kNullOutput);
  char buffer[8] = {};
  std::uint32_t done = 0;
  EXPECT_EQ(s->Read(buffer, 8, &done), kOk);  // a short read with an output is no failure
  EXPECT_EQ(done, 5u);
  EXPECT_EQ(std::string(buffer, 5), "56789");
  EXPECT_EQ(s->Reserve(100), kOk);
  EXPECT_EQ(s->SetParameter(0), kOk);
}

// ---- positioned transfers ----

TEST_P(GenericStreamTest, ReadAtAndWriteAt) {
  StreamPtr s = Make();
  std::uint32_t done = 0;
  ASSERT_EQ(s->WriteAt(5, "abc", 3, &done), kOk);
  EXPECT_EQ(done, 3u);
  EXPECT_EQ(ReadAll(s.get()), std::string(5, '\0') + "abc");  // the gap reads as zero bytes

  char buffer[4] = {};
  ASSERT_EQ(s->ReadAt(6, buffer, 2, nullptr), kOk);
  EXPECT_EQ(std::string(buffer, 2), "bc");
  ASSERT_EQ(s->ReadAt(7, buffer, 4, &done), kOk);
  EXPECT_EQ(done, 1u);
  ASSERT_EQ(s->ReadAt(8, buffer, 4, &done), kOk);
  EXPECT_EQ(done, 0u);
  ASSERT_EQ(s->WriteAt(0, "xy", 2, nullptr), kOk);
  EXPECT_EQ(ReadAll(s.get()), std::string("xy") + std::string(3, '\0') + "abc");
}

TEST_P(GenericStreamTest, ReadAtPassesSeekFailuresOn) {
  StreamPtr s = MakeWith("abc");
  FailingStream f(s.get(), FailingStream::kSeek, 1);
  char buffer[2];
  EXPECT_EQ(f.ReadAt(0, buffer, 2, nullptr), kFail);
  EXPECT_EQ(f.WriteAt(0, buffer, 2, nullptr), kFail);
}

// ---- arrays of 16- and 32-bit values ----

TEST_P(GenericStreamTest, ArraysInMachineAndBigEndianOrder) {
  StreamPtr s = Make();
  std::uint32_t value;
  const unsigned char bytes[4] = {4, 3, 2, 1};
  std::memcpy(&value, bytes, 4);
  ASSERT_EQ(s->WriteUInt32sBigEndian(&value, 1), kOk);
  EXPECT_EQ(std::memcmp(&value, bytes, 4), 0);  // the caller's value is left alone
  const std::uint16_t pair[2] = {0x0102, 0x0304};
  ASSERT_EQ(s->WriteUInt16sBigEndian(pair, 2), kOk);
  ASSERT_EQ(s->WriteUInt16s(pair, 1), kOk);
  ASSERT_EQ(s->WriteUInt32s(&value, 1), kOk);
  EXPECT_EQ(ReadAll(s.get()), std::string("\x01\x02\x03\x04\x01\x02\x03\x04\x02\x01\x04\x03\x02\x01", 14));

  ASSERT_EQ(s->Seek(0, kSeekStart, nullptr), kOk);
  std::uint32_t back32 = 0;
  std::uint16_t back16[2] = {};
  ASSERT_EQ(s->ReadUInt32sBigEndian(&back32, 1), kOk);
  EXPECT_EQ(back32, 0x01020304u);
  ASSERT_EQ(s->ReadUInt16sBigEndian(back16, 2), kOk);
  EXPECT_EQ(back16[0], 0x0102);
  EXPECT_EQ(back16[1], 0x0304);
  ASSERT_EQ(s->ReadUInt16s(back16, 1), kOk);
  EXPECT_EQ(back16[0], 0x0102);
  ASSERT_EQ(s->ReadUInt32s(&back32, 1), kOk);
  EXPECT_EQ(std::memcmp(&back32, bytes, 4), 0);
}

TEST_P(GenericStreamTest, ArraysLongerThanOneChunkRoundTrip) {
  StreamPtr s = Make();
  std::vector<std::uint16_t> shorts(300);  // two chunks of at most 256
  std::vector<std::uint32_t> longs(200);   // two chunks of at most 128
  for (std::size_t i = 0; i < shorts.size(); ++i) shorts[i] = static_cast<std::uint16_t>(i * 257 + 1);
  for (std::size_t i = 0; i < longs.size(); ++i) longs[i] = static_cast<std::uint32_t>(i * 0x01010101u + 7);
  ASSERT_EQ(s->WriteUInt16sBigEndian(shorts.data(), 300), kOk);
  ASSERT_EQ(s->WriteUInt32sBigEndian(longs.data(), 200), kOk);
  std::uint32_t size = 0;
  ASSERT_EQ(s->GetSize(&size), kOk);
  EXPECT_EQ(size, 1400u);
  std::vector<std::uint16_t> shortsBack(300);
  std::vector<std::uint32_t> longsBack(200);
  ASSERT_EQ(s->Seek(0, kSeekStart, nullptr), kOk);
  ASSERT_EQ(s->ReadUInt16sBigEndian(shortsBack.data(), 300), kOk);
  ASSERT_EQ(s->ReadUInt32sBigEndian(longsBack.data(), 200), kOk);
  EXPECT_EQ(shortsBack, shorts);
  EXPECT_EQ(longsBack, longs);
}

TEST_P(GenericStreamTest, ArrayReadsRejectShortDataAndWritesStopAtTheFirstFailure) {
  StreamPtr s = MakeWith("\x01\x02\x03");
  ASSERT_EQ(s->Seek(0, kSeekStart, nullptr), kOk);
  std::uint16_t v[2] = {0xAAAA, 0xAAAA};
  EXPECT_EQ(s->ReadUInt16s(v, 2), kStreamShortRead);
  ASSERT_EQ(s->Seek(0, kSeekStart, nullptr), kOk);
  std::uint32_t w = 0x55555555u;
  EXPECT_EQ(s->ReadUInt32sBigEndian(&w, 1), kStreamShortRead);

  // A failing second chunk: the first stays written.
  StreamPtr t = Make();
  FailingStream f(t.get(), FailingStream::kWrite, 2);
  std::vector<std::uint16_t> shorts(300, 0x0102);
  EXPECT_EQ(f.WriteUInt16sBigEndian(shorts.data(), 300), kFail);
  std::uint32_t size = 0;
  ASSERT_EQ(t->GetSize(&size), kOk);
  EXPECT_EQ(size, 512u);
}

// ---- CopyRange ----

TEST_P(GenericStreamTest, CopyRangeWithinOneStreamBothWays) {
  StreamPtr s = MakeWith("0123456789");
  ASSERT_EQ(s->CopyRange(0, 10, s.get(), 5), kOk);  // overlap towards the end: backwards
  EXPECT_EQ(ReadAll(s.get()), "012340123456789");

  StreamPtr t = MakeWith("0123456789");
  ASSERT_EQ(t->CopyRange(5, 10, t.get(), 0), kOk);  // towards the start: forwards, count clamped
  EXPECT_EQ(ReadAll(t.get()), "5678956789");
  EXPECT_EQ(t->CopyRange(11, 1, t.get(), 0), kStreamSourceBeyondEnd);
  EXPECT_EQ(t->CopyRange(10, 5, t.get(), 0), kOk);  // nothing left to copy
  EXPECT_EQ(ReadAll(t.get()), "5678956789");
}

TEST_P(GenericStreamTest, CopyRangeLargeOverlapBackwardsInManyChunks) {
  const std::string data = Pattern(40000);
  StreamPtr s = MakeWith(data);
  ASSERT_EQ(s->CopyRange(100, 39000, s.get(), 1000), kOk);
  const std::string expected = data.substr(0, 1000) + data.substr(100, 39000);
  EXPECT_EQ(ReadAll(s.get()), expected);
}

TEST_P(GenericStreamTest, CopyRangeToAnotherStreamGrowsIt) {
  const std::string data = Pattern(20000);
  StreamPtr a = MakeWith(data);
  StreamPtr b = MakeWith("head");
  ASSERT_EQ(a->CopyRange(0, 0xFFFFFFFFu, b.get(), 2), kOk);
  EXPECT_EQ(ReadAll(b.get()), "he" + data);
}

TEST_P(GenericStreamTest, CopyRangeChoosesItsBufferByCountAndMemory) {
  const std::string data = Pattern(20000);
  StreamPtr a = MakeWith(data);
  StreamPtr b = Make();
  ASSERT_EQ(b->SetSize(20000), kOk);  // no growth during the copies below
  ScopedFaultMemory memory;

  memory->FailSizesFrom(1024);  // every heap size fails: the 512-byte local buffer
  std::uint32_t before = memory->calls();
  ASSERT_EQ(a->CopyRange(0, 20000, b.get(), 0), kOk);
  EXPECT_EQ(memory->calls() - before, 5u);  // 16384, 8192, 4096, 2048, 1024
  memory->Heal();
  EXPECT_EQ(ReadAll(b.get()), data);

  memory->FailSizesFrom(8192);  // 16384 and 8192 fail, 4096 is taken
  before = memory->failures();
  ASSERT_EQ(a->CopyRange(0, 20000, b.get(), 0), kOk);
  EXPECT_EQ(memory->failures() - before, 2u);
  memory->Heal();

  before = memory->calls();
  ASSERT_EQ(a->CopyRange(0, 20000, b.get(), 0), kOk);  // 16384 at once
  EXPECT_EQ(memory->calls() - before, 1u);
  before = memory->calls();
  ASSERT_EQ(a->CopyRange(0, 1500, b.get(), 0), kOk);  // below 2048: only 1024 is tried
  EXPECT_EQ(memory->calls() - before, 1u);
  before = memory->calls();
  ASSERT_EQ(a->CopyRange(0, 100, b.get(), 0), kOk);  // small copies never ask
  EXPECT_EQ(memory->calls(), before);

  std::uint32_t current = 0, allocations = 0, frees = 0;
  ASSERT_EQ(memory->GetStatistics(nullptr, &current, &allocations, &frees), kOk);
  EXPECT_EQ(allocations, frees);  // every transfer block was given back
  EXPECT_EQ(ReadAll(b.get()), data);
}

TEST_P(GenericStreamTest, CopyRangeFailureCodes) {
  struct Case {
    FailingStream::Op op;
    int nth;
    bool backwards;
    Result expected;
  };
  const Case cases[] = {
      {FailingStream::kGetSize, 1, false, kStreamSourceSizeUnavailable},
      {FailingStream::kSeek, 1, false, kStreamSourceSeekFailed},
      {FailingStream::kRead, 1, false, kStreamSourceReadFailed},
      {FailingStream::kSeek, 2, false, kStreamDestinationSeekFailed},
      {FailingStream::kWrite, 1, false, kStreamDestinationWriteFailed},
      {FailingStream::kGetSize, 2, true, kStreamDestinationSizeUnavailable},
      {FailingStream::kSetSize, 1, true, kStreamDestinationGrowFailed},
      {FailingStream::kSeek, 1, true, kStreamSourceSeekFailed},
      {FailingStream::kRead, 1, true, kStreamSourceReadFailed},
      {FailingStream::kSeek, 2, true, kStreamDestinationSeekFailed},
      {FailingStream::kWrite, 1, true, kStreamDestinationWriteFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "op " << c.op << " call " << c.nth << (c.backwards ? " backwards" : ""));
    StreamPtr s = MakeWith("0123456789");
    FailingStream f(s.get(), c.op, c.nth);
    // Within one stream, 0..9 to 5 runs backwards and 5..9 to 0 forwards.
    if (c.backwards) {
      EXPECT_EQ(f.CopyRange(0, 10, &f, 5), c.expected);
    } else {
      EXPECT_EQ(f.CopyRange(5, 5, &f, 0), c.expected);
    }
  }
}

// ---- WriteRepeated ----

TEST_P(GenericStreamTest, WriteRepeatedInChunks) {
  StreamPtr s = Make();
  std::uint32_t written = 0;
  ASSERT_EQ(s->WriteRepeated(1000, 0x141, &written), kOk);  // only the low byte counts
  EXPECT_EQ(written, 1000u);
  ASSERT_EQ(s->WriteRepeated(3, 0, nullptr), kOk);
  EXPECT_EQ(ReadAll(s.get()), std::string(1000, '\x41') + std::string(3, '\0'));
  ASSERT_EQ(s->WriteRepeated(0, 1, &written), kOk);
  EXPECT_EQ(written, 0u);
}

TEST_P(GenericStreamTest, WriteRepeatedReportsShortAndFailedWrites) {
  StreamPtr s = Make();
  FailingStream shortWrites(s.get(), FailingStream::kNone, 0);
  shortWrites.LimitWrites(100);
  std::uint32_t written = 0;
  ASSERT_EQ(shortWrites.WriteRepeated(1000, 7, &written), kOk);
  EXPECT_EQ(written, 100u);
  EXPECT_EQ(shortWrites.WriteRepeated(1000, 7, nullptr), kStreamShortWrite);

  FailingStream failing(s.get(), FailingStream::kWrite, 2);
  EXPECT_EQ(failing.WriteRepeated(1000, 7, &written), kFail);
  std::uint32_t size = 0;
  ASSERT_EQ(s->GetSize(&size), kOk);
  EXPECT_EQ(size, 200u + 512u);  // the first chunk of the failing call stayed
}

}  // namespace

// Each kind instantiates the suite in its own test executable; the others
// must not report it as forgotten.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(GenericStreamTest);

}  // namespace sfx::test
