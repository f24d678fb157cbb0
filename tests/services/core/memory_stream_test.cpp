#include "services/core/memory_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "services/core/memory_service.h"
#include "tests/support/fault_memory.h"
#include "tests/support/stream_suite.h"

namespace sfx {
namespace {

using test::StreamPtr;

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

TEST(MemoryStreamReadWrite, SeekWrapsAround) {
  StreamPtr s = Writable();
  ASSERT_EQ(s->Write("0123456789", 10, nullptr), kOk);
  std::uint32_t pos = 0;
  EXPECT_EQ(s->Seek(-3, kSeekEnd, &pos), kOk);
  EXPECT_EQ(s->Seek(-8, kSeekCurrent, &pos), kOk);
  EXPECT_EQ(pos, 0xFFFFFFFFu);  // no range check; wraps in 32 bits
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

// The generic operations themselves are tested for every kind by the stream
// suite; what is left here is this kind's own rule.
TEST(MemoryStreamGeneric, ReadOnlyStreamRepeatsNothing) {
  // With an output the short write is reported, without one it fails.
  Stream* ro = nullptr;
  ASSERT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, 0, &ro), kOk);
  StreamPtr p(ro);
  std::uint32_t written = 7;
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

}  // namespace
}  // namespace sfx
