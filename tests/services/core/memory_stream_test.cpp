#include "services/core/memory_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "services/core/memory_service.h"
#include "tests/support/fault_memory.h"

namespace sfx {
namespace {

struct StreamCloser {
  void operator()(Stream* s) const {
    if (s) {
      EXPECT_EQ(s->Close(), kOk);
    }
  }
};
using StreamPtr = std::unique_ptr<Stream, StreamCloser>;

StreamPtr Writable(std::uint32_t length = 0, std::uint32_t capacity = 0) {
  Stream* s = nullptr;
  EXPECT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, length, capacity, kMemoryStreamWritable, &s), kOk);
  return StreamPtr(s);
}

std::string Contents(Stream* s) {
  void* data = nullptr;
  std::uint32_t size = 0;
  EXPECT_EQ(MemoryStreams()->GetMemoryBlock(s, &data, &size, nullptr), kOk);
  return size ? std::string(static_cast<char*>(data), size) : std::string();
}

TEST(MemoryStreamCreate, FlagCombinations) {
  // Writable without memory: capacity zeroed bytes, size clamped to capacity.
  StreamPtr s = Writable(10, 4);
  auto* m = static_cast<MemoryStream*>(s.get());
  EXPECT_EQ(m->size(), 4u);
  EXPECT_EQ(m->capacity(), 4u);
  EXPECT_EQ(m->flags(), 7u);
  EXPECT_EQ(Contents(s.get()), std::string(4, '\0'));

  // Read-only without memory reads as zero bytes.
  Stream* ro = nullptr;
  ASSERT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 3, 0, 0, &ro), kOk);
  StreamPtr rop(ro);
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  std::uint32_t done = 99;
  EXPECT_EQ(ro->Read(buf, 8, &done), kOk);
  EXPECT_EQ(done, 3u);
  EXPECT_EQ(std::string(buf, 3), std::string(3, '\0'));
  EXPECT_EQ(static_cast<MemoryStream*>(ro)->flags(), 0u);

  // Wrapping caller memory that the caller keeps.
  char mine[6] = "hello";
  Stream* wrap = nullptr;
  ASSERT_EQ(MemoryStreams()->CreateMemoryStream(mine, 5, 6, kMemoryStreamCallerOwns, &wrap), kOk);
  EXPECT_EQ(static_cast<MemoryStream*>(wrap)->flags(), 0u);
  EXPECT_EQ(Contents(wrap), "hello");
  EXPECT_EQ(wrap->Close(), kOk);  // must not free `mine`
  EXPECT_STREQ(mine, "hello");
}

TEST(MemoryStreamReadWrite, WritingPastTheEndGrowsExactlyAndZeroFills) {
  StreamPtr s = Writable();
  ASSERT_EQ(s->Seek(8, kSeekStart, nullptr), kOk);
  ASSERT_EQ(s->Write("abcde", 5, nullptr), kOk);
  auto* m = static_cast<MemoryStream*>(s.get());
  EXPECT_EQ(m->size(), 13u);
  EXPECT_EQ(m->capacity(), 13u);
  EXPECT_EQ(Contents(s.get()), std::string(8, '\0') + "abcde");
}

TEST(MemoryStreamReadWrite, ShortTransfersFollowTheKindsRules) {
  Stream* ro = nullptr;
  char bytes[4] = {1, 2, 3, 4};
  ASSERT_EQ(MemoryStreams()->CreateMemoryStream(bytes, 4, 4, kMemoryStreamCallerOwns, &ro), kOk);
  StreamPtr p(ro);
  std::uint32_t done = 7;
  EXPECT_EQ(ro->Write("x", 1, nullptr), kStreamShortWrite);
  EXPECT_EQ(ro->Write("x", 0, nullptr), kOk);
  EXPECT_EQ(ro->Write("x", 1, &done), kOk);
  EXPECT_EQ(done, 0u);
  char out[8];
  EXPECT_EQ(ro->Read(out, 8, nullptr), kOk);  // a short read is no failure here
  EXPECT_EQ(ro->Read(out, 8, &done), kOk);
  EXPECT_EQ(done, 0u);
}

TEST(MemoryStreamReadWrite, SeekOriginsAndWrapAround) {
  StreamPtr s = Writable();
  ASSERT_EQ(s->Write("0123456789", 10, nullptr), kOk);
  std::uint32_t pos = 0;
  EXPECT_EQ(s->Seek(-3, kSeekEnd, &pos), kOk);
  EXPECT_EQ(pos, 7u);
  EXPECT_EQ(s->Seek(-8, kSeekCurrent, &pos), kOk);
  EXPECT_EQ(pos, 0xFFFFFFFFu);  // no range check; wraps in 32 bits
  EXPECT_EQ(s->Seek(1, 3, &pos), kOriginOutOfRange);
  EXPECT_EQ(pos, 0xFFFFFFFFu);
  std::uint32_t size = 0;
  EXPECT_EQ(s->GetSize(nullptr), kNullOutput);
  EXPECT_EQ(s->GetSize(&size), kOk);
  EXPECT_EQ(size, 10u);
}

TEST(MemoryStreamReadWrite, WritesBeyondTheLargestCapacityFail) {
  StreamPtr s = Writable();
  ASSERT_EQ(s->Seek(static_cast<std::int32_t>(kMemoryStreamMaxCapacity - 2), kSeekStart, nullptr), kOk);
  EXPECT_EQ(s->Write("abc", 3, nullptr), kFail);
  EXPECT_EQ(s->Reserve(kMemoryStreamMaxCapacity + 1), kOutOfMemory);
}

TEST(MemoryStreamSize, ShrinkKeepsBytesAndGrowthExposesThem) {
  StreamPtr s = Writable();
  ASSERT_EQ(s->Write("abcdef", 6, nullptr), kOk);
  ASSERT_EQ(s->SetSize(2), kOk);
  EXPECT_EQ(Contents(s.get()), "ab");
  ASSERT_EQ(s->SetSize(6), kOk);
  EXPECT_EQ(Contents(s.get()), "abcdef");
  ASSERT_EQ(s->SetSize(9), kOk);  // beyond capacity: new bytes are zero
  EXPECT_EQ(Contents(s.get()), std::string("abcdef") + std::string(3, '\0'));

  char fixed[4] = {};
  Stream* ro = nullptr;
  ASSERT_EQ(MemoryStreams()->CreateMemoryStream(fixed, 4, 4, kMemoryStreamCallerOwns, &ro), kOk);
  StreamPtr p(ro);
  EXPECT_EQ(ro->Reserve(8), kOutOfMemory);  // not growable
  EXPECT_EQ(ro->SetSize(8), kOutOfMemory);
  EXPECT_EQ(ro->SetParameter(123), kOk);
}

TEST(MemoryStreamGeneric, CopyRangeOverlapsBothWays) {
  StreamPtr s = Writable();
  ASSERT_EQ(s->Write("0123456789", 10, nullptr), kOk);
  ASSERT_EQ(s->CopyRange(0, 10, s.get(), 5), kOk);  // towards the end: backwards copy
  EXPECT_EQ(Contents(s.get()), "012340123456789");

  StreamPtr t = Writable();
  ASSERT_EQ(t->Write("0123456789", 10, nullptr), kOk);
  ASSERT_EQ(t->CopyRange(5, 10, t.get(), 0), kOk);  // towards the start: forwards, count clamped
  EXPECT_EQ(Contents(t.get()), "5678956789");
  EXPECT_EQ(t->CopyRange(11, 1, t.get(), 0), kStreamSourceBeyondEnd);
  EXPECT_EQ(t->CopyRange(10, 5, t.get(), 0), kOk);  // nothing to copy
}

TEST(MemoryStreamGeneric, BigEndianWritesLeaveTheCallersValues) {
  StreamPtr s = Writable();
  std::uint32_t v;
  const unsigned char le[4] = {4, 3, 2, 1};
  std::memcpy(&v, le, 4);
  ASSERT_EQ(s->WriteUInt32sBigEndian(&v, 1), kOk);
  EXPECT_EQ(Contents(s.get()), std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(std::memcmp(&v, le, 4), 0);

  std::vector<std::uint16_t> many(300);
  for (std::size_t i = 0; i < many.size(); ++i) many[i] = static_cast<std::uint16_t>(i * 257 + 1);
  StreamPtr t = Writable();
  ASSERT_EQ(t->WriteUInt16sBigEndian(many.data(), 300), kOk);  // more than one 256-value chunk
  std::vector<std::uint16_t> back(300);
  ASSERT_EQ(t->Seek(0, kSeekStart, nullptr), kOk);
  ASSERT_EQ(t->ReadUInt16sBigEndian(back.data(), 300), kOk);
  EXPECT_EQ(back, many);
}

TEST(MemoryStreamGeneric, WriteRepeatedInChunks) {
  StreamPtr s = Writable();
  std::uint32_t written = 0;
  ASSERT_EQ(s->WriteRepeated(1000, 0x141, &written), kOk);
  EXPECT_EQ(written, 1000u);
  EXPECT_EQ(Contents(s.get()), std::string(1000, '\x41'));

  // A read-only stream writes nothing: with an output that is reported, without one it fails.
  Stream* ro = nullptr;
  ASSERT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, 0, &ro), kOk);
  StreamPtr p(ro);
  EXPECT_EQ(ro->WriteRepeated(10, 1, &written), kOk);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(ro->WriteRepeated(10, 1, nullptr), kStreamShortWrite);
}

// ---- failure paths with a fault-injecting memory service ----

TEST(MemoryStreamFaults, CreateFailsCleanly) {
  test::ScopedFaultMemory memory;
  Stream* s = reinterpret_cast<Stream*>(0x1);
  memory->FailNth(1);  // the instance block
  EXPECT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 16, kMemoryStreamWritable, &s), kOutOfMemory);
  EXPECT_EQ(s, reinterpret_cast<Stream*>(0x1));
  memory->FailNth(2);  // the data block: the instance is freed again
  EXPECT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 16, kMemoryStreamWritable, &s), kOutOfMemory);
  std::uint32_t current = 1;
  ASSERT_EQ(memory->GetStatistics(nullptr, &current, nullptr, nullptr), kOk);
  EXPECT_EQ(current, 0u);
}

TEST(MemoryStreamFaults, GrowthFailureKeepsTheStream) {
  test::ScopedFaultMemory memory;
  StreamPtr s = Writable();
  ASSERT_EQ(s->Write("abc", 3, nullptr), kOk);
  memory->FailAll();
  EXPECT_EQ(s->Write("def", 3, nullptr), kOutOfMemory);
  EXPECT_EQ(s->Reserve(100), kOutOfMemory);
  memory->Heal();
  EXPECT_EQ(Contents(s.get()), "abc");
}

TEST(MemoryStreamFaults, CopyRangeFallsBackToSmallerBuffers) {
  test::ScopedFaultMemory memory;
  StreamPtr a = Writable(20000, 20000);
  StreamPtr b = Writable(20000, 20000);
  for (std::uint32_t i = 0; i < 20000; ++i)
    static_cast<MemoryStream*>(a.get())->data()[i] = static_cast<unsigned char>(i * 7);

  memory->FailSizesFrom(1024);  // no heap buffer at all: the 512-byte local one
  const std::uint32_t before = memory->calls();
  ASSERT_EQ(a->CopyRange(0, 20000, b.get(), 0), kOk);
  EXPECT_EQ(memory->calls() - before, 5u);  // 16384, 8192, 4096, 2048 and 1024 were tried
  memory->Heal();
  EXPECT_EQ(Contents(a.get()), Contents(b.get()));

  StreamPtr c = Writable(20000, 20000);
  memory->FailSizesFrom(8192);  // 16384 and 8192 fail, 4096 is taken
  const std::uint32_t failuresBefore = memory->failures();
  ASSERT_EQ(a->CopyRange(0, 20000, c.get(), 0), kOk);
  EXPECT_EQ(memory->failures() - failuresBefore, 2u);
  memory->Heal();
  EXPECT_EQ(Contents(a.get()), Contents(c.get()));

  // A copy of 100 bytes never asks for a heap buffer.
  const std::uint32_t callsBefore = memory->calls();
  ASSERT_EQ(a->CopyRange(0, 100, c.get(), 0), kOk);
  EXPECT_EQ(memory->calls(), callsBefore);
}

TEST(MemoryStreamFaults, ExactReadsOfArraysRejectShortData) {
  // A memory stream's own Read accepts a short read; the exact array reads
  // must not hand garbage back.
  StreamPtr s = Writable();
  ASSERT_EQ(s->Write("\x01\x02\x03", 3, nullptr), kOk);
  ASSERT_EQ(s->Seek(0, kSeekStart, nullptr), kOk);
  std::uint16_t v[2] = {0xAAAA, 0xAAAA};
  EXPECT_EQ(s->ReadUInt16s(v, 2), kStreamShortRead);
  ASSERT_EQ(s->Seek(0, kSeekStart, nullptr), kOk);
  std::uint32_t w = 0;
  EXPECT_EQ(s->ReadUInt32sBigEndian(&w, 1), kStreamShortRead);
}

}  // namespace
}  // namespace sfx
