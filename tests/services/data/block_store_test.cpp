#include "services/data/block_store.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "services/core/memory_stream.h"
#include "services/data/block_stream.h"
#include "tests/services/data/block_store_test_support.h"
#include "tests/services/data/stream_tree_test_support.h"
#include "tests/support/fault_memory.h"

namespace sfx {
namespace {

using test::BlockStoreFixture;

constexpr std::uint32_t kEnd = 0xFFF00000u;
constexpr std::uint32_t kFirst = 0x1000000u;

std::uint32_t Entry(BlockStore* s, std::uint32_t block) {
  std::uint32_t e = 0xDEADBEEF;
  EXPECT_EQ(s->ReadEntry(block, &e), kOk);
  return e;
}

std::string Contents(Stream* s) {
  std::uint32_t size = 0;
  EXPECT_EQ(s->GetSize(&size), kOk);
  std::string out(size, '\0');
  if (size) {
    EXPECT_EQ(s->ReadAt(0, out.data(), size, nullptr), kOk);
  }
  return out;
}

// With every inner stream closed, each data block is in exactly one chain:
// one of the live streams', or the free list. Cross-linked or lost blocks fail.
void ExpectBlocksAccountedFor(BlockStore* s, const std::set<std::uint32_t>& live) {
  const std::uint32_t entries = s->blockSize() / 4;
  std::vector<int> owner(s->blockCount(), 0);
  for (std::uint32_t id : live) {
    std::uint32_t b = id;
    std::uint32_t e = Entry(s, b);
    if (e >= kFirst && e < kEnd) e -= kFirst;
    for (;;) {
      ASSERT_LT(b, s->blockCount());
      ASSERT_NE(b % entries, 0u) << "table block in a chain";
      ++owner[b];
      if (e >= kEnd) break;
      b = e;
      e = Entry(s, b);
    }
  }
  for (std::uint32_t b = s->freeHead(); b != 0; b = Entry(s, b)) {
    ASSERT_LT(b, s->blockCount());
    ASSERT_NE(b % entries, 0u);
    ASSERT_EQ(owner[b]++, 0) << "free block " << b << " also in use";
  }
  for (std::uint32_t b = 0; b < s->blockCount(); ++b) ASSERT_EQ(owner[b], b % entries ? 1 : 0) << "block " << b;
}

// ---- layout ------------------------------------------------------------------------------

TEST(BlockStoreLayout, NewStoreAndFirstStreams) {
  BlockStoreFixture f(512);
  BlockStore* s = f.store();
  std::uint32_t size = 0;
  ASSERT_EQ(f.backing()->GetSize(&size), kOk);
  EXPECT_EQ(size, 65536u);
  EXPECT_EQ(s->freeHead(), 1u);
  EXPECT_EQ(Entry(s, 1), 2u);
  EXPECT_EQ(Entry(s, 126), 127u);
  EXPECT_EQ(Entry(s, 127), 0u);

  const struct {
    std::uint32_t bytes;
    std::uint32_t firstEntry;  // 0: the end marker is in the first block
    std::uint32_t lastEntry;
  } cases[] = {{0, 0, kEnd}, {512, 0, kEnd + 512}, {513, 1, kEnd + 1}, {1100, 1, kEnd + 76}};
  for (const auto& c : cases) {
    BlockStream* b = nullptr;
    std::uint32_t id = 0;
    ASSERT_EQ(s->CreateBlockStream(&id, &b), kOk);
    const std::string data(c.bytes, 'q');
    ASSERT_EQ(b->Write(data.data(), c.bytes, nullptr), kOk);
    ASSERT_EQ(b->Close(), kOk);
    std::uint32_t e = Entry(s, id);
    if (c.firstEntry == 0) {
      EXPECT_EQ(e, c.lastEntry) << c.bytes;
    } else {
      ASSERT_GE(e, kFirst);
      ASSERT_LT(e, kEnd);
      std::uint32_t last = e - kFirst;
      while (Entry(s, last) < kEnd) last = Entry(s, last);
      EXPECT_EQ(Entry(s, last), c.lastEntry) << c.bytes;
    }
    ASSERT_EQ(s->OpenBlockStream(id, &b), kOk);
    EXPECT_EQ(Contents(b), data);
    ASSERT_EQ(b->Close(), kOk);
  }
  EXPECT_EQ(Entry(s, 1), kEnd);  // the first stream got identifier 1
}

TEST(BlockStoreLayout, OpeningBackingStreams) {
  const struct {
    std::uint32_t size;
    std::uint32_t header;
    Result expected;
  } cases[] = {
      {2, 0, kBlockStoreTooShort},
      {4097, 3, kBlockStoreNotWholeGroups},              // 4096-byte blocks
      {65536, 0 | (128u << 8), kBlockStoreBadFreeHead},  // freeHead beyond the last block
      {65536, 0 | (1u << 8), kOk},
      {131072, 0 | (128u << 8), kBlockStoreBadFreeHead},  // freeHead on a table block
      {65536, 0, kOk},
  };
  for (const auto& c : cases) {
    Stream* m = nullptr;
    ASSERT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, c.size, c.size, kMemoryStreamWritable, &m), kOk);
    if (c.size >= 4) {
      ASSERT_EQ(m->WriteAt(0, &c.header, 4, nullptr), kOk);
    }
    BlockStore* s = nullptr;
    EXPECT_EQ(BlockStores()->OpenBlockStore(m, 0, &s), c.expected) << c.size;
    if (s) {
      EXPECT_EQ(s->Close(), kOk);
    } else {
      ASSERT_EQ(m->Close(), kOk);
    }
  }
  Stream* m = nullptr;
  ASSERT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &m), kOk);
  BlockStore* s = nullptr;
  EXPECT_EQ(BlockStores()->OpenBlockStore(m, 3000, &s), kBlockStoreBadBlockSize);
  test::FaultInjectingMemoryService faulty;
  {
    ScopedServiceOverride o(Slot::kMemory, &faulty);
    faulty.FailNth(1);
    EXPECT_EQ(BlockStores()->OpenBlockStore(m, 512, &s), kOutOfMemory);
    faulty.FailNth(2);
    EXPECT_EQ(BlockStores()->OpenBlockStore(m, 512, &s), kBlockStoreNoTableMemory);
    faulty.Heal();
  }
  ASSERT_EQ(BlockStores()->OpenBlockStore(m, 0, &s), kOk);
  EXPECT_EQ(s->blockSize(), 4096u);
  EXPECT_EQ(s->Close(), kOk);  // closes the memory stream too
}

TEST(BlockStoreLayout, SeekClampsAndShrinkFreesBlocks) {
  BlockStoreFixture f(512);
  BlockStore* s = f.store();
  BlockStream* b = nullptr;
  std::uint32_t id = 0;
  ASSERT_EQ(s->CreateBlockStream(&id, &b), kOk);
  const std::string data(2000, 'x');
  ASSERT_EQ(b->Write(data.data(), 2000, nullptr), kOk);
  std::uint32_t p = 0;
  EXPECT_EQ(b->Seek(5000, kSeekStart, &p), kOk);
  EXPECT_EQ(p, 2000u);
  EXPECT_EQ(b->Seek(5000, kSeekStart, nullptr), kStreamSeekMismatch);
  EXPECT_EQ(b->Seek(-3000, kSeekEnd, &p), kOk);
  EXPECT_EQ(p, 0u);
  EXPECT_EQ(b->Seek(0, 3, &p), kOriginOutOfRange);
  char c;
  ASSERT_EQ(b->Seek(0, kSeekEnd, nullptr), kOk);
  EXPECT_EQ(b->Read(&c, 1, nullptr), kStreamShortRead);
  std::uint32_t done = 7;
  EXPECT_EQ(b->Read(&c, 1, &done), kOk);
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(b->GetSize(nullptr), kNullOutput);

  ASSERT_EQ(b->SetSize(600), kOk);
  ASSERT_EQ(b->Close(), kOk);
  // Blocks 3 and 4 went back; the next stream starts at the first of them.
  BlockStream* next = nullptr;
  std::uint32_t nextId = 0;
  ASSERT_EQ(s->CreateBlockStream(&nextId, &next), kOk);
  EXPECT_EQ(nextId, id + 2);
  // Growing exposes zeros, not what the released blocks held.
  ASSERT_EQ(next->SetSize(700), kOk);
  EXPECT_EQ(Contents(next), std::string(700, '\0'));
  ASSERT_EQ(next->Close(), kOk);
  ASSERT_EQ(s->OpenBlockStream(id, &b), kOk);
  EXPECT_EQ(Contents(b), data.substr(0, 600));
  ASSERT_EQ(b->Close(), kOk);
  ExpectBlocksAccountedFor(s, {id, nextId});
}

// ---- mended faults --------------------------------------------------------------------------

TEST(BlockStoreFaults, ReservedThenClosedStreamDoesNotCrossLink) {
  BlockStoreFixture f(512);
  BlockStore* s = f.store();
  BlockStream* a = nullptr;
  std::uint32_t ida = 0;
  ASSERT_EQ(s->CreateBlockStream(&ida, &a), kOk);
  ASSERT_EQ(a->Close(), kOk);
  ASSERT_EQ(s->OpenBlockStream(ida, &a), kOk);
  ASSERT_EQ(a->Reserve(5000), kOk);  // nothing written
  ASSERT_EQ(a->Close(), kOk);
  BlockStream* b = nullptr;
  std::uint32_t idb = 0;
  ASSERT_EQ(s->CreateBlockStream(&idb, &b), kOk);
  const std::string data(3000, 'b');
  ASSERT_EQ(b->Write(data.data(), 3000, nullptr), kOk);
  ASSERT_EQ(b->Close(), kOk);
  ExpectBlocksAccountedFor(s, {ida, idb});
  ASSERT_EQ(s->OpenBlockStream(ida, &a), kOk);
  EXPECT_EQ(Contents(a), "");
  ASSERT_EQ(a->Close(), kOk);
}

TEST(BlockStoreFaults, IdentifierZeroAndTableBlocksAreNotStreams) {
  BlockStoreFixture f(512);
  BlockStore* s = f.store();
  BlockStream* b = nullptr;
  std::uint32_t id = 0;
  ASSERT_EQ(s->CreateBlockStream(&id, &b), kOk);
  const std::string data(128 * 512, 'z');  // spills into the second group
  ASSERT_EQ(b->Write(data.data(), static_cast<std::uint32_t>(data.size()), nullptr), kOk);
  ASSERT_EQ(b->Close(), kOk);
  for (std::uint32_t bad : {0u, 128u, 2u, 100000u, 0xFFFFFFFFu}) {
    BlockStream* x = nullptr;
    EXPECT_EQ(s->OpenBlockStream(bad, &x), kBlockStoreBadIdentifier) << bad;
    EXPECT_EQ(s->DeleteBlockStream(bad), kBlockStoreBadIdentifier) << bad;
  }
  // A chain that links into a table block is broken.
  const std::uint32_t link = kFirst + 128;
  ASSERT_EQ(f.backing()->WriteAt(4 * id, &link, 4, nullptr), kOk);
  ASSERT_EQ(f.Reopen(), kOk);
  EXPECT_EQ(f.store()->OpenBlockStream(id, &b), kBlockStoreBadIdentifier);
  // A cycle is broken too, and ends.
  const std::uint32_t cycle = kFirst + id;
  ASSERT_EQ(f.backing()->WriteAt(4 * id, &cycle, 4, nullptr), kOk);
  ASSERT_EQ(f.Reopen(), kOk);
  EXPECT_EQ(f.store()->OpenBlockStream(id, &b), kBlockStoreBadIdentifier);
  EXPECT_EQ(f.store()->DeleteBlockStream(id), kBlockStoreBadIdentifier);
}

TEST(BlockStoreFaults, StoreNeverGrowsPastItsLinksOrFourGigabytes) {
  // 0x100000 blocks of 512 bytes, all table entries zero: the free list is
  // empty and one more group would need 21-bit links.
  const struct {
    std::uint32_t size;
    std::uint32_t code;
  } cases[] = {{0x100000u * 512, 0}, {0xC0000000u, 7}};
  for (const auto& c : cases) {
    test::SparseStream sparse(c.size);
    ASSERT_EQ(sparse.WriteAt(0, &c.code, 4, nullptr), kOk);
    BlockStore* s = nullptr;
    ASSERT_EQ(BlockStores()->OpenBlockStore(&sparse, 0, &s), kOk);
    BlockStream* b = nullptr;
    std::uint32_t id = 0;
    EXPECT_EQ(s->CreateBlockStream(&id, &b), kFail);
    std::uint32_t size = 0;
    ASSERT_EQ(sparse.GetSize(&size), kOk);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(s->Close(), kOk);
  }
}

TEST(BlockStoreFaults, GrowthUnitRoundingThatWrapsIsRefused) {
  BlockStoreFixture f(512);
  BlockStream* b = nullptr;
  std::uint32_t id = 0;
  ASSERT_EQ(f.store()->CreateBlockStream(&id, &b), kOk);
  ASSERT_EQ(b->SetParameter(0xFFFFFFFFu), kOk);
  const std::string data(600, 'g');
  EXPECT_EQ(b->Write(data.data(), 600, nullptr), kFail);
  std::uint32_t size = 1;
  ASSERT_EQ(b->GetSize(&size), kOk);
  EXPECT_EQ(size, 0u);
  ASSERT_EQ(b->SetParameter(1024), kOk);
  ASSERT_EQ(b->Write(data.data(), 600, nullptr), kOk);
  EXPECT_EQ(b->capacity(), 1024u);
  const std::uint32_t big = 0xFFFFFFF0u;
  EXPECT_EQ(b->Seek(0, kSeekEnd, nullptr), kOk);
  std::uint32_t done = 0;
  EXPECT_EQ(b->Write(data.data(), big, &done), kFail);  // position + count passes 4 GiB
  ASSERT_EQ(b->Close(), kOk);
}

TEST(BlockStoreFaults, ClosingTheStoreWithOpenStreamsIsRefused) {
  BlockStoreFixture f(1024);
  BlockStore* s = f.store();
  BlockStream* b = nullptr;
  ASSERT_EQ(s->CreateBlockStream(nullptr, &b), kOk);
  EXPECT_EQ(s->Close(), kBlockStoreStreamsOpen);
  // Still open and usable.
  ASSERT_EQ(b->Write("abc", 3, nullptr), kOk);
  ASSERT_EQ(b->Close(), kOk);
  EXPECT_EQ(s->openStreams(), 0u);
  ExpectBlocksAccountedFor(s, {});  // the temporary stream's block went back
}

TEST(BlockStoreFaults, AnOpenStreamCannotBeDeleted) {
  BlockStoreFixture f(512);
  BlockStore* s = f.store();
  BlockStream* a = nullptr;
  std::uint32_t ida = 0;
  ASSERT_EQ(s->CreateBlockStream(&ida, &a), kOk);
  ASSERT_EQ(a->Write("keep", 4, nullptr), kOk);
  EXPECT_EQ(s->DeleteBlockStream(ida), kFail);
  ASSERT_EQ(a->Close(), kOk);
  ExpectBlocksAccountedFor(s, {ida});
  ASSERT_EQ(s->DeleteBlockStream(ida), kOk);
  ExpectBlocksAccountedFor(s, {});
}

TEST(BlockStoreFaults, LockingIsCreatedOnceAndOperationsStillWork) {
  BlockStoreFixture f(512);
  ASSERT_EQ(f.store()->EnableLocking(), kOk);
  ASSERT_EQ(f.store()->EnableLocking(), kOk);
  BlockStream* b = nullptr;
  std::uint32_t id = 0;
  ASSERT_EQ(f.store()->CreateBlockStream(&id, &b), kOk);
  ASSERT_EQ(b->Write("locked", 6, nullptr), kOk);
  ASSERT_EQ(b->Reserve(4000), kOk);
  ASSERT_EQ(b->SetSize(3), kOk);
  ASSERT_EQ(b->Close(), kOk);
  ASSERT_EQ(f.store()->OpenBlockStream(id, &b), kOk);
  EXPECT_EQ(Contents(b), "loc");
  ASSERT_EQ(b->Close(), kOk);
  ASSERT_EQ(f.store()->DeleteBlockStream(id), kOk);
  ExpectBlocksAccountedFor(f.store(), {});
}

// ---- model: inner streams against std::string ---------------------------------------------------

TEST(BlockStoreModel, RandomOperationsAcrossReopens) {
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    BlockStoreFixture f(seed % 2 ? 512 : 1024);
    std::mt19937 rng(seed);
    std::map<std::uint32_t, std::string> closed;  // identifier -> contents
    struct Open {
      BlockStream* stream;
      std::string model;
      std::uint32_t position;
      bool temporary;
    };
    std::vector<Open> open;
    std::map<BlockStream*, std::uint32_t> ids;
    for (int step = 0; step < 600; ++step) {
      const std::uint32_t op = rng() % 12;
      if (open.empty() || op == 0) {
        if (open.size() >= 4) continue;
        BlockStream* b = nullptr;
        const bool temporary = rng() % 4 == 0;
        std::uint32_t id = 0;
        if (!closed.empty() && rng() % 2) {
          auto it = closed.begin();
          std::advance(it, rng() % closed.size());
          ASSERT_EQ(f.store()->OpenBlockStream(it->first, &b), kOk);
          ASSERT_EQ(Contents(b), it->second);
          ASSERT_EQ(b->Seek(0, kSeekStart, nullptr), kOk);
          open.push_back({b, it->second, 0, false});
          ids[b] = it->first;
          closed.erase(it);
        } else {
          ASSERT_EQ(f.store()->CreateBlockStream(temporary ? nullptr : &id, &b), kOk);
          open.push_back({b, "", 0, temporary});
          ids[b] = id;
        }
        continue;
      }
      const std::size_t i = rng() % open.size();
      Open& o = open[i];
      switch (op) {
        case 1:
        case 2:
        case 3: {  // write
          const std::uint32_t n = rng() % 1500;
          std::string data(n, '\0');
          for (auto& ch : data) ch = static_cast<char>(rng());
          ASSERT_EQ(o.stream->Write(data.data(), n, nullptr), kOk);
          if (o.model.size() < o.position + n) o.model.resize(o.position + n);
          o.model.replace(o.position, n, data);
          o.position += n;
          break;
        }
        case 4: {  // seek
          const std::int32_t to = static_cast<std::int32_t>(rng() % (o.model.size() + 100));
          std::uint32_t p = 0;
          ASSERT_EQ(o.stream->Seek(to, kSeekStart, &p), kOk);
          o.position = std::min<std::uint32_t>(to, static_cast<std::uint32_t>(o.model.size()));
          ASSERT_EQ(p, o.position);
          break;
        }
        case 5: {  // read
          const std::uint32_t n = rng() % 1500;
          std::string got(n, '\0');
          std::uint32_t done = 0;
          ASSERT_EQ(o.stream->Read(got.data(), n, &done), kOk);
          const std::uint32_t expected = std::min<std::uint32_t>(n, o.model.size() - o.position);
          ASSERT_EQ(done, expected);
          ASSERT_EQ(got.substr(0, done), o.model.substr(o.position, done));
          o.position += done;
          break;
        }
        case 6: {  // set size
          const std::uint32_t n = rng() % 4000;
          ASSERT_EQ(o.stream->SetSize(n), kOk);
          if (n < o.model.size()) o.position = 0;
          o.model.resize(n, '\0');
          break;
        }
        case 7: ASSERT_EQ(o.stream->Reserve(rng() % 6000), kOk); break;
        case 8: ASSERT_EQ(o.stream->SetParameter(rng() % 3 ? 0 : 1 + rng() % 3000), kOk); break;
        case 9:
        case 10: {  // close
          ASSERT_EQ(o.stream->Close(), kOk);
          if (!o.temporary) closed[ids[o.stream]] = o.model;
          ids.erase(o.stream);
          open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
          break;
        }
        default: {  // delete a closed stream, or reopen the whole store
          if (rng() % 2 && !closed.empty()) {
            auto it = closed.begin();
            ASSERT_EQ(f.store()->DeleteBlockStream(it->first), kOk);
            closed.erase(it);
          } else {
            for (auto& x : open) {
              ASSERT_EQ(x.stream->Close(), kOk);
              if (!x.temporary) closed[ids[x.stream]] = x.model;
            }
            open.clear();
            ids.clear();
            ASSERT_EQ(f.Reopen(), kOk);
            std::set<std::uint32_t> live;
            for (auto& [id, _] : closed) live.insert(id);
            ExpectBlocksAccountedFor(f.store(), live);
          }
        }
      }
    }
    for (auto& x : open) ASSERT_EQ(x.stream->Close(), kOk);
  }
}

TEST(BlockStoreModel, StreamTreeInsideABlockStream) {
  BlockStoreFixture f(512);
  BlockStream* b = nullptr;
  std::uint32_t id = 0;
  ASSERT_EQ(f.store()->CreateBlockStream(&id, &b), kOk);
  RunStreamTreeModel(b, 99, 500, 150);
  ASSERT_EQ(b->Close(), kOk);
}

}  // namespace
}  // namespace sfx
