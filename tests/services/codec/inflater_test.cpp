#include "services/codec/inflater.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "services/codec/crc_dispatch_p.h"
#include "services/core/memory_service.h"
#include "services/core/memory_stream.h"
#include "tests/reference/inflate_compare.h"
#include "tests/services/codec/deflate_builder.h"
#include "tests/support/fault_memory.h"
#include "tests/support/zlib_peer.h"

namespace sfx {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ref::InflateObservation;
using ref::InflateRun;
using test::DeflateBuilder;

// Runs both decoders and requires them to agree; returns the production run.
InflateObservation Both(const Bytes& input, const InflateRun& run = {}) {
  const InflateObservation production = ref::RunProduction(input.data(), static_cast<std::uint32_t>(input.size()), run);
  const InflateObservation reference = ref::RunReference(input.data(), static_cast<std::uint32_t>(input.size()), run);
  EXPECT_TRUE(production == reference) << "production: " << production.Describe()
                                       << "\nreference:  " << reference.Describe();
  return production;
}

// ---- inputs and a peer compressor ----

Bytes Compress(const Bytes& data, int level, int strategy) {
  return test::ZlibRawDeflate(data.data(), data.size(), level, 9, strategy);
}

std::vector<std::pair<std::string, Bytes>> Inputs() {
  std::mt19937 rng(1234);
  std::vector<std::pair<std::string, Bytes>> inputs;
  inputs.push_back({"empty", {}});
  inputs.push_back({"one byte", {'x'}});
  Bytes text;
  const char* words[] = {"setup ", "launcher ", "window ", "the ", "a ", "deflate ", "stream\n", "of ", "bytes "};
  while (text.size() < 150000) {
    const char* w = words[rng() % 9];
    text.insert(text.end(), w, w + std::char_traits<char>::length(w));
  }
  inputs.push_back({"text", text});
  Bytes noise(70000);
  for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
  inputs.push_back({"noise", noise});
  Bytes runs;
  while (runs.size() < 100000) runs.insert(runs.end(), 1 + rng() % 600, static_cast<std::uint8_t>(rng() % 4));
  inputs.push_back({"runs", runs});
  Bytes mixed;  // text with noise patches and far repeats: distances near 32768, matches of 258
  while (mixed.size() < 120000) {
    const std::size_t at = mixed.size();
    if (rng() % 3 == 0 && at > 33000) {
      const std::size_t from = at - 32768 + rng() % 100;
      for (std::size_t i = 0; i < 300; ++i) mixed.push_back(mixed[from + i]);
    } else if (rng() % 2) {
      mixed.insert(mixed.end(), text.begin() + static_cast<long>(rng() % 1000), text.begin() + 1500);
    } else {
      for (int i = 0; i < 700; ++i) mixed.push_back(static_cast<std::uint8_t>(rng()));
    }
  }
  inputs.push_back({"mixed", mixed});
  return inputs;
}

std::uint32_t ZlibCrc(const Bytes& b) {
  return static_cast<std::uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size())));
}
std::uint32_t ZlibAdler(const Bytes& b) {
  return static_cast<std::uint32_t>(adler32(1, b.data(), static_cast<uInt>(b.size())));
}

// ---- streams from a standard compressor ----

TEST(InflaterPeerStreams, EveryLevelAndStrategyDecodesExactly) {
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  for (const auto& [name, data] : Inputs()) {
    for (int level = 0; level <= 9; ++level) {
      for (int strategy : strategies) {
        SCOPED_TRACE(name + " level " + std::to_string(level) + " strategy " + std::to_string(strategy));
        const Bytes packed = Compress(data, level, strategy);
        const InflateObservation o = Both(packed);
        ASSERT_EQ(o.result, kOk);
        ASSERT_EQ(o.Output(), std::string(data.begin(), data.end()));
        EXPECT_EQ(o.size, data.size());
        EXPECT_EQ(~o.crc, ZlibCrc(data));
        EXPECT_EQ(o.adler, ZlibAdler(data));
        // Output leaves in whole windows, the last one partial.
        for (std::size_t i = 0; i + 1 < o.writes.size(); ++i) ASSERT_EQ(o.writes[i].size(), 32768u);
      }
    }
  }
}

TEST(InflaterPeerStreams, StreamInputSmallWindowsAndBlockCalls) {
  const auto inputs = Inputs();
  for (const auto& [name, data] : inputs) {
    for (int level : {1, 6, 9}) {
      SCOPED_TRACE(name + " level " + std::to_string(level));
      const Bytes packed = Compress(data, level, Z_DEFAULT_STRATEGY);
      InflateRun run;
      run.streamInput = true;
      run.streamPosition = 77;
      EXPECT_EQ(Both(packed, run).result, kOk);
      // Windows smaller than the stream's reach fail (0x82020007) at the same
      // place in both; tiny windows flush on almost every byte.
      for (std::uint32_t window : {1u, 300u, 4096u, 65536u}) {
        InflateRun small;
        small.windowSize = window;
        Both(packed, small);
      }
      InflateRun blocks;
      blocks.blockByBlock = true;
      Both(packed, blocks);
      blocks.blockBuffer = 5000;
      Both(packed, blocks);
    }
  }
}

TEST(InflaterPeerStreams, TruncatedAnywhereFailsAtTheSamePoint) {
  const Bytes data = Inputs()[5].second;
  const Bytes packed = Compress(Bytes(data.begin(), data.begin() + 40000), 6, Z_DEFAULT_STRATEGY);
  // Literals only, with short codes: input that ends between the two codes of
  // a pair decoded in one step must still yield the first literal alone.
  const Bytes text = Inputs()[2].second;
  const Bytes literals = Compress(Bytes(text.begin(), text.begin() + 3000), 6, Z_HUFFMAN_ONLY);
  for (std::size_t cut = 0; cut < literals.size(); ++cut) {
    InflateRun run;
    run.windowSize = 1 + static_cast<std::uint32_t>(cut % 7);  // flushes between the two literals
    EXPECT_EQ(Both(Bytes(literals.begin(), literals.begin() + static_cast<long>(cut)), run).result,
              kInflateInputExhausted);
  }
  for (std::size_t cut = 0; cut < packed.size(); cut += 1 + cut / 4) {
    const Bytes part(packed.begin(), packed.begin() + static_cast<long>(cut));
    EXPECT_EQ(Both(part).result, kInflateInputExhausted) << cut;
    InflateRun run;
    run.streamInput = true;
    run.streamShortfall = static_cast<std::uint32_t>(packed.size() - cut);  // the stream is shorter than the range
    const Result r = Both(packed, run).result;
    EXPECT_TRUE(r == kInflateInputExhausted || r == kStreamShortRead) << cut;
  }
}

// The hot loop exists once per processor variant; the others above ran the one
// this processor chooses, so this runs the rest (where it can run at all).
TEST(InflaterPeerStreams, EveryHotLoopVariantDecodesExactly) {
  const auto inputs = Inputs();
  for (const std::uint32_t disabled : detail::CpuFeatureSwitches()) {
    detail::SetDisabledCpuFeatures(disabled);
    for (const auto& [name, data] : inputs) {
      for (int level : {1, 6, 9}) {
        SCOPED_TRACE(name + " level " + std::to_string(level) + " disabled " + std::to_string(disabled));
        const Bytes packed = Compress(data, level, Z_DEFAULT_STRATEGY);
        const InflateObservation o = Both(packed);
        ASSERT_EQ(o.result, kOk);
        ASSERT_EQ(o.Output(), std::string(data.begin(), data.end()));
        InflateRun small;
        small.windowSize = 4096;  // fails where the stream reaches further back
        Both(packed, small);
        for (std::size_t cut = 1; cut < packed.size(); cut += 1 + cut / 2)
          EXPECT_EQ(Both(Bytes(packed.begin(), packed.begin() + static_cast<long>(cut))).result,
                    kInflateInputExhausted);
      }
    }
  }
  detail::SetDisabledCpuFeatures(0);
}

// ---- hand-built streams: every code and quirk ----

TEST(InflaterBlocks, StoredBlocks) {
  // LEN 0 produces nothing and decoding goes on.
  DeflateBuilder b;
  b.Stored(false, {}).Stored(true, {'h', 'i'});
  InflateObservation o = Both(b.Take());
  EXPECT_EQ(o.result, kOk);
  EXPECT_EQ(o.Output(), "hi");

  DeflateBuilder bad;
  bad.Stored(true, {'x'}, 0x1234);
  EXPECT_EQ(Both(bad.Take()).result, kInflateBadBlock);

  // An empty final stored block: size 0, no write, register unchanged.
  DeflateBuilder empty;
  empty.Stored(true, {});
  o = Both(empty.Take());
  EXPECT_EQ(o.result, kOk);
  EXPECT_EQ(o.size, 0u);
  EXPECT_TRUE(o.writes.empty());
  EXPECT_EQ(o.crc, 0xFFFFFFFFu);

  // A stored block longer than the window goes out window by window.
  DeflateBuilder big;
  big.Stored(true, Bytes(1000, 'q'));
  InflateRun run;
  run.windowSize = 300;
  o = Both(big.Take(), run);
  ASSERT_EQ(o.writes.size(), 4u);
  EXPECT_EQ(o.writes[3].size(), 100u);
}

TEST(InflaterBlocks, StoredDataShortInASourceStreamIsAReadFailure) {
  DeflateBuilder b;
  b.Stored(true, Bytes(2000, 'z'));
  const Bytes packed = b.Take();
  InflateRun run;
  run.streamInput = true;
  run.streamShortfall = 600;  // the range promises 600 bytes the stream does not have
  EXPECT_EQ(Both(packed, run).result, kStreamShortRead);
  run.streamShortfall = 0;
  EXPECT_EQ(Both(Bytes(packed.begin(), packed.end() - 600), run).result, kInflateInputExhausted);
}

TEST(InflaterBlocks, BlockTypeThree) {
  DeflateBuilder b;
  b.Header(true, 3);
  EXPECT_EQ(Both(b.Take()).result, kInflateBadBlock);

  Inflater* inflater = nullptr;
  ASSERT_EQ(Inflaters()->CreateInflater(32768, &inflater), kOk);
  const std::uint8_t data[] = {0x07};  // BFINAL 1, BTYPE 3
  ASSERT_EQ(inflater->InitInput(data, 1), kOk);
  std::uint32_t isFinal = 9, isCompressed = 9, isDynamic = 9;
  EXPECT_EQ(inflater->ReadBlockHeader(&isFinal, &isCompressed, &isDynamic), kInflateBadBlock);
  EXPECT_EQ(isFinal, 1u);
  EXPECT_EQ(isCompressed, 9u);
  EXPECT_EQ(inflater->DestroyInflater(), kOk);
}

TEST(InflaterBlocks, FixedSymbolsOutsideTheAlphabet) {
  DeflateBuilder lit;
  lit.Header(true, 1).FixedSymbol('a').FixedSymbol(286);
  EXPECT_EQ(Both(lit.Take()).result, kInflateBadLiteral);
  DeflateBuilder lit287;
  lit287.Header(true, 1).FixedSymbol(287);
  EXPECT_EQ(Both(lit287.Take()).result, kInflateBadLiteral);
  for (int d : {30, 31}) {
    DeflateBuilder dist;
    dist.Header(true, 1).FixedSymbol('a').FixedSymbol(257).FixedDistance(d);
    EXPECT_EQ(Both(dist.Take()).result, kInflateBadDistance);
  }
}

TEST(InflaterBlocks, DistanceReach) {
  // Distance 1 after one byte reaches exactly the first byte: valid.
  DeflateBuilder ok;
  ok.Header(true, 1).FixedSymbol('a').FixedSymbol(285).FixedDistance(0).FixedSymbol(256);
  InflateObservation o = Both(ok.Take());
  EXPECT_EQ(o.result, kOk);
  EXPECT_EQ(o.Output(), std::string(259, 'a'));
  // Distance 2 after one byte reaches before the start.
  DeflateBuilder before;
  before.Header(true, 1).FixedSymbol('a').FixedSymbol(257).FixedDistance(1);
  EXPECT_EQ(Both(before.Take()).result, kInflateBadDistance);
  // A distance beyond the window fails even when the output is long enough.
  DeflateBuilder far;
  far.Stored(false, Bytes(600, 'w')).Header(true, 1).FixedSymbol(257).FixedDistance(16).Bits(0, 7);  // 257..384
  InflateRun small;
  small.windowSize = 256;
  EXPECT_EQ(Both(far.Take(), small).result, kInflateBadDistance);
}

TEST(InflaterBlocks, WindowFlushBoundaries) {
  // Exactly one window: one write at the end. One byte more: a full window then one byte.
  for (std::uint32_t extra : {0u, 1u}) {
    DeflateBuilder b;
    b.Header(true, 1).FixedSymbol('a');
    std::uint32_t left = 1000 - 1 + extra;
    while (left >= 258) {
      b.FixedSymbol(285).FixedDistance(0);
      left -= 258;
    }
    for (; left > 0; --left) b.FixedSymbol('a');
    b.FixedSymbol(256);
    InflateRun run;
    run.windowSize = 1000;
    const InflateObservation o = Both(b.Take(), run);
    ASSERT_EQ(o.result, kOk);
    ASSERT_EQ(o.writes.size(), 1u + extra);
    EXPECT_EQ(o.writes[0].size(), 1000u);
  }
}

// A dynamic header with a complete code-length code (symbols 0..15, 4 bits each).
void DynamicHeader(DeflateBuilder& b, const std::vector<int>& lit, const std::vector<int>& dist) {
  static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  b.Bits(static_cast<std::uint32_t>(lit.size() - 257), 5)
      .Bits(static_cast<std::uint32_t>(dist.size() - 1), 5)
      .Bits(15, 4);
  for (int i = 0; i < 19; ++i) b.Bits(order[i] < 16 ? 4 : 0, 3);
  for (int l : lit) b.Code(static_cast<std::uint32_t>(l), 4);
  for (int l : dist) b.Code(static_cast<std::uint32_t>(l), 4);
}

std::vector<int> Lengths(int n, std::initializer_list<std::pair<int, int>> set) {
  std::vector<int> v(static_cast<std::size_t>(n), 0);
  for (auto [symbol, length] : set) v[static_cast<std::size_t>(symbol)] = length;
  return v;
}

TEST(InflaterCodes, IncompleteDistanceCodeWalksBackToTheRoot) {
  // Literal/length: 'a' 1 bit (0), 256 two bits (10), 257 two bits (11).
  // Distance: only symbol 0, one bit (0); a 1 bit returns to the root.
  const auto lit = Lengths(258, {{'a', 1}, {256, 2}, {257, 2}});
  const auto dist = Lengths(1, {{0, 1}});
  DeflateBuilder b;
  b.Header(true, 2);
  DynamicHeader(b, lit, dist);
  b.Code(0, 1).Code(3, 2).Code(0b1110, 4).Code(0, 1).Code(2, 2);  // a, length 3, distance "1110", a, end
  const InflateObservation o = Both(b.Take());
  EXPECT_EQ(o.result, kOk);
  EXPECT_EQ(o.Output(), "aaaaa");

  // Sixteen 1 bits never reach a leaf.
  DeflateBuilder never;
  never.Header(true, 2);
  DynamicHeader(never, lit, dist);
  never.Code(0, 1).Code(3, 2).Bits(0xFFFF, 16).Bits(0, 8);
  EXPECT_EQ(Both(never.Take()).result, kInflateNoLeaf);
  // The same walk with the input ending inside it runs out of input first.
  DeflateBuilder shortWalk;
  shortWalk.Header(true, 2);
  DynamicHeader(shortWalk, lit, dist);
  Bytes cut = shortWalk.Code(0, 1).Code(3, 2).Bits(0xFFFF, 16).Take();
  cut.pop_back();
  EXPECT_EQ(Both(cut).result, kInflateInputExhausted);
}

TEST(InflaterCodes, OverSubscribedLengths) {
  // Three codes of length 1 and 256 of length 1: the third replaces the first
  // ('c' where 'a' was) and 256 replaces 'b'.
  DeflateBuilder replace;
  replace.Header(true, 2);
  DynamicHeader(replace, Lengths(257, {{'a', 1}, {'b', 1}, {'c', 1}, {256, 1}}), Lengths(1, {{0, 1}}));
  replace.Code(0, 1).Code(0, 1).Code(1, 1);
  const InflateObservation o = Both(replace.Take());
  EXPECT_EQ(o.result, kOk);
  EXPECT_EQ(o.Output(), "cc");

  // A longer code whose path meets an earlier leaf does not form a tree.
  DeflateBuilder meets;
  meets.Header(true, 2);
  DynamicHeader(meets, Lengths(257, {{'a', 1}, {'b', 1}, {'c', 1}, {256, 2}}), Lengths(1, {{0, 1}}));
  EXPECT_EQ(Both(meets.Take()).result, kInflateBadTree);

  // Nineteen code-length codes of 7 bits need more nodes than the tree has.
  DeflateBuilder nodes;
  nodes.Header(true, 2).Bits(0, 5).Bits(0, 5).Bits(15, 4);
  for (int i = 0; i < 19; ++i) nodes.Bits(7, 3);
  EXPECT_EQ(Both(nodes.Take()).result, kInflateBadTree);
}

TEST(InflaterCodes, HeaderCountsAndRepeats) {
  for (std::uint32_t hlit : {30u, 31u}) {
    DeflateBuilder b;
    b.Header(true, 2).Bits(hlit, 5).Bits(0, 5).Bits(0, 4);
    EXPECT_EQ(Both(b.Take()).result, kInflateBadCounts);
  }
  for (std::uint32_t hdist : {30u, 31u}) {
    DeflateBuilder b;
    b.Header(true, 2).Bits(0, 5).Bits(hdist, 5).Bits(0, 4);
    EXPECT_EQ(Both(b.Take()).result, kInflateBadCounts);
  }
  // A code-length code for 16, 17, 18 (00, 01, 10) and lengths 0, 8 (110, 111).
  auto header = [](DeflateBuilder& b, std::uint32_t hdist) {
    b.Header(true, 2).Bits(0, 5).Bits(hdist, 5).Bits(1, 4);
    for (int length : {2, 2, 2, 3, 3}) b.Bits(static_cast<std::uint32_t>(length), 3);
  };
  const auto repeat = [](DeflateBuilder& b) -> DeflateBuilder& { return b.Code(0, 2); };
  const auto zeros138 = [](DeflateBuilder& b) -> DeflateBuilder& { return b.Code(2, 2); };
  const auto eight = [](DeflateBuilder& b) -> DeflateBuilder& { return b.Code(7, 3); };

  DeflateBuilder first16;  // a repeat with nothing before it
  header(first16, 0);
  repeat(first16).Bits(0, 2);
  EXPECT_EQ(Both(first16.Take()).result, kInflateBadCodeLength);

  DeflateBuilder past;  // 258 lengths; two runs of 138 zeros run past them
  header(past, 0);
  zeros138(past).Bits(127, 7);
  zeros138(past).Bits(127, 7);
  EXPECT_EQ(Both(past.Take()).result, kInflateBadCodeLength);

  DeflateBuilder runsOn;  // a repeat may run on from the literal lengths into the distance lengths
  header(runsOn, 2);
  eight(runsOn);                  // symbol 0
  zeros138(runsOn).Bits(127, 7);  // 1..138
  zeros138(runsOn).Bits(106, 7);  // 139..255
  eight(runsOn);                  // 256
  repeat(runsOn).Bits(0, 2);      // the three distance lengths
  runsOn.Code(0, 8).Code(1, 8);   // byte 0, end of block
  const InflateObservation o = Both(runsOn.Take());
  EXPECT_EQ(o.result, kOk);
  EXPECT_EQ(o.Output(), std::string(1, '\0'));
}

TEST(InflaterCodes, BlockCallsWithoutTablesFindNoLeaf) {
  // A fresh Inflater has empty codes: every walk ends after 16 bits.
  Inflater* inflater = nullptr;
  ASSERT_EQ(Inflaters()->CreateInflater(32768, &inflater), kOk);
  const std::uint8_t data[4] = {0, 0, 0, 0};
  ASSERT_EQ(inflater->InitInput(data, 4), kOk);
  std::uint8_t* buffer = nullptr;
  std::uint32_t size = 0;
  EXPECT_EQ(inflater->InflateBlock(&buffer, &size), kInflateNoLeaf);
  EXPECT_EQ(inflater->DestroyInflater(), kOk);
}

// ---- the API around the decoder ----

TEST(InflaterApi, CreateAndDestroy) {
  Inflater* inflater = nullptr;
  EXPECT_EQ(Inflaters()->CreateInflater(0, &inflater), kFail);  // a window of nothing is refused
  EXPECT_EQ(inflater, nullptr);
  EXPECT_EQ(Inflaters()->DestroyInflater(), kFail);  // instance slots are not for the service object

  std::uint32_t before = 0;
  ASSERT_EQ(Memory()->GetStatistics(nullptr, &before, nullptr, nullptr), kOk);
  {
    test::ScopedFaultMemory faults;
    faults->FailNth(1);  // the instance block
    EXPECT_EQ(Inflaters()->CreateInflater(32768, &inflater), kOutOfMemory);
    faults->FailNth(2);  // the window
    EXPECT_EQ(Inflaters()->CreateInflater(32768, &inflater), kOutOfMemory);
    EXPECT_EQ(inflater, nullptr);
  }
  std::uint32_t after = 0;
  ASSERT_EQ(Memory()->GetStatistics(nullptr, &after, nullptr, nullptr), kOk);
  EXPECT_EQ(after, before);
}

TEST(InflaterApi, ExtractIntoAMemoryStreamLikeTheLauncher) {
  const Bytes data = Inputs()[2].second;
  const Bytes packed = Compress(data, 9, Z_DEFAULT_STRATEGY);
  Inflater* inflater = nullptr;
  ASSERT_EQ(Inflaters()->CreateInflater(kInflateFullWindow, &inflater), kOk);
  ASSERT_EQ(inflater->InitInput(packed.data(), static_cast<std::uint32_t>(packed.size())), kOk);
  Stream* out = nullptr;
  ASSERT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &out), kOk);
  std::uint32_t size = 0, crc = 0xFFFFFFFFu;
  EXPECT_EQ(inflater->Extract(out, &size, &crc, nullptr, nullptr), kOk);
  EXPECT_EQ(inflater->DestroyInflater(), kOk);
  EXPECT_EQ(size, data.size());
  EXPECT_EQ(~crc, ZlibCrc(data));
  void* block = nullptr;
  std::uint32_t stored = 0;
  ASSERT_EQ(MemoryStreams()->GetMemoryBlock(out, &block, &stored, nullptr), kOk);
  EXPECT_EQ(Bytes(static_cast<std::uint8_t*>(block), static_cast<std::uint8_t*>(block) + stored), data);
  EXPECT_EQ(out->Close(), kOk);
}

// A large window whose preferred layout (three windows) cannot be had takes
// the compact one (two windows and a fixed region), and decodes the same.
TEST(InflaterApi, LargeWindowFallsBackToTheCompactLayout) {
  const Bytes mixed = Inputs()[5].second;
  Bytes data;
  while (data.size() < 3000000) data.insert(data.end(), mixed.begin(), mixed.end());
  const Bytes packed = Compress(data, 6, Z_DEFAULT_STRATEGY);
  constexpr std::uint32_t kWindow = 1u << 20;
  Inflater* inflater = nullptr;
  {
    test::ScopedFaultMemory faults;
    faults->FailSizesFrom(2 * kWindow);  // neither layout can be had
    EXPECT_EQ(Inflaters()->CreateInflater(kWindow, &inflater), kOutOfMemory);
    EXPECT_EQ(faults->failures(), 2u);  // both layouts were asked for
    faults->FailSizesFrom(3 * kWindow);
    ASSERT_EQ(Inflaters()->CreateInflater(kWindow, &inflater), kOk);
    EXPECT_EQ(faults->failures(), 3u);
    faults->Heal();
    if constexpr (sizeof(void*) == 8) {
      // A window near the allocation limit is asked for, not refused beforehand.
      faults->FailSizesFrom(0x80000000u);
      Inflater* huge = nullptr;
      EXPECT_EQ(Inflaters()->CreateInflater(0x60000000u, &huge), kOutOfMemory);
      EXPECT_EQ(faults->failures(), 4u);
      faults->Heal();
    }
  }
  ASSERT_EQ(inflater->InitInput(packed.data(), static_cast<std::uint32_t>(packed.size())), kOk);
  Stream* out = nullptr;
  ASSERT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &out), kOk);
  std::uint32_t size = 0, crc = 0xFFFFFFFFu;
  EXPECT_EQ(inflater->Extract(out, &size, &crc, nullptr, nullptr), kOk);
  EXPECT_EQ(inflater->DestroyInflater(), kOk);
  EXPECT_EQ(size, data.size());
  EXPECT_EQ(~crc, ZlibCrc(data));
  void* block = nullptr;
  std::uint32_t stored = 0;
  ASSERT_EQ(MemoryStreams()->GetMemoryBlock(out, &block, &stored, nullptr), kOk);
  EXPECT_TRUE(Bytes(static_cast<std::uint8_t*>(block), static_cast<std::uint8_t*>(block) + stored) == data);
  EXPECT_EQ(out->Close(), kOk);
}

TEST(InflaterApi, ProgressAndWriteFailuresStopExtract) {
  const Bytes data = Inputs()[2].second;
  Bytes packed;
  {  // three blocks
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
    packed.resize(200000);
    z.next_out = packed.data();
    z.avail_out = 200000;
    for (int part = 0; part < 3; ++part) {
      z.next_in = const_cast<Bytef*>(data.data()) + part * 40000;
      z.avail_in = 40000;
      ASSERT_EQ(deflate(&z, part == 2 ? Z_FINISH : Z_FULL_FLUSH), part == 2 ? Z_STREAM_END : Z_OK);
    }
    packed.resize(z.total_out);
    deflateEnd(&z);
  }
  InflateRun run;
  const InflateObservation all = Both(packed, run);
  ASSERT_EQ(all.result, kOk);
  ASSERT_GE(all.progress.size(), 3u);
  run.failProgressAt = 0;
  InflateObservation o = Both(packed, run);
  EXPECT_EQ(o.result, FailureCode(0x7777, 1));
  EXPECT_EQ(o.progress.size(), 1u);
  EXPECT_EQ(o.Output().size(), o.progress[0] / 32768 * 32768);  // only whole windows have left
  run.failProgressAt = -1;
  run.failWriteAt = 1;
  o = Both(packed, run);
  EXPECT_EQ(o.result, kStreamShortWrite);
  EXPECT_EQ(o.writes.size(), 1u);
  EXPECT_EQ(~o.crc, static_cast<std::uint32_t>(crc32(0, data.data(), 32768)));  // the register covers what was written

  InflateRun bare;  // no size, registers or sink
  bare.withSize = bare.withCrc = bare.withAdler = bare.withProgress = false;
  EXPECT_EQ(Both(packed, bare).Output().size(), 120000u);
}

TEST(InflaterApi, InflateBlockIntoTheWindowOrABuffer) {
  DeflateBuilder b;
  b.Header(true, 2);
  DynamicHeader(b, Lengths(258, {{'a', 1}, {256, 2}, {257, 2}}), Lengths(1, {{0, 1}}));
  b.Code(0, 1).Code(3, 2).Code(0, 1).Code(2, 2);  // "aaaa"
  const Bytes packed = b.Take();
  InflateRun run;
  run.blockByBlock = true;
  InflateObservation o = Both(packed, run);
  EXPECT_EQ(o.result, kOk);
  EXPECT_EQ(o.Output(), "aaaa");
  run.blockBuffer = 3;  // too small
  EXPECT_EQ(Both(packed, run).result, kInflateNoOutput);

  // The window's address comes back through the buffer pointer.
  Inflater* inflater = nullptr;
  ASSERT_EQ(Inflaters()->CreateInflater(100, &inflater), kOk);
  ASSERT_EQ(inflater->InitInput(packed.data(), static_cast<std::uint32_t>(packed.size())), kOk);
  std::uint32_t f = 0, c = 0, d = 0;
  ASSERT_EQ(inflater->ReadBlockHeader(&f, &c, &d), kOk);
  ASSERT_EQ(inflater->ReadDynamicTables(), kOk);
  std::uint8_t* buffer = nullptr;
  std::uint32_t size = 0;
  ASSERT_EQ(inflater->InflateBlock(&buffer, &size), kOk);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size), "aaaa");
  EXPECT_EQ(inflater->DestroyInflater(), kOk);
}

TEST(InflaterApi, WithoutAnOutputStreamOnlyEmptyOutputSucceeds) {
  Inflater* inflater = nullptr;
  ASSERT_EQ(Inflaters()->CreateInflater(64, &inflater), kOk);
  DeflateBuilder empty;
  const Bytes nothing = empty.Stored(true, {}).Take();
  ASSERT_EQ(inflater->InitInput(nothing.data(), static_cast<std::uint32_t>(nothing.size())), kOk);
  std::uint32_t size = 7;
  EXPECT_EQ(inflater->Extract(nullptr, &size, nullptr, nullptr, nullptr), kOk);
  EXPECT_EQ(size, 0u);
  DeflateBuilder some;
  const Bytes data = some.Stored(true, {'a', 'b'}).Take();
  ASSERT_EQ(inflater->InitInput(data.data(), static_cast<std::uint32_t>(data.size())), kOk);
  EXPECT_EQ(inflater->Extract(nullptr, &size, nullptr, nullptr, nullptr), kInflateNoOutput);
  EXPECT_EQ(inflater->DestroyInflater(), kOk);
}

TEST(InflaterApi, NothingIsReadAfterTheFinalBlock) {
  DeflateBuilder b;
  b.Stored(true, {'o', 'k'});
  Bytes packed = b.Take();
  packed.push_back(0xFF);  // junk that would be BTYPE 3
  EXPECT_EQ(Both(packed).result, kOk);
}

}  // namespace
}  // namespace sfx
