#include "tests/reference/deflate_ref.h"

#include <algorithm>

namespace sfx::reference {
namespace {

const std::uint32_t kLengthFirst[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                        31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const std::uint32_t kLengthLast[29] = {3,  4,  5,  6,  7,  8,  9,  10,  12,  14,  16,  18,  22,  26, 30,
                                       34, 42, 50, 58, 66, 82, 98, 114, 130, 162, 194, 226, 257, 258};
const std::uint32_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const std::uint32_t kDistFirst[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                      33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                      1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const std::uint32_t kDistLast[30] = {1,    2,    3,    4,    6,    8,    12,    16,    24,    32,
                                     48,   64,   96,   128,  192,  256,  384,   512,   768,   1024,
                                     1536, 2048, 3072, 4096, 6144, 8192, 12288, 16384, 24576, 32768};
const std::uint32_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                      6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const std::uint32_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Binary search for the range holding v.
std::uint32_t FindRange(const std::uint32_t* first, const std::uint32_t* last, std::uint32_t count, std::uint32_t v) {
  std::uint32_t lo = 0, hi = count - 1;
  while (lo < hi) {
    const std::uint32_t mid = (lo + hi) / 2;
    if (v > last[mid]) {
      lo = mid + 1;
    } else if (v < first[mid]) {
      hi = mid - 1;
    } else {
      return mid;
    }
  }
  return lo;
}

struct Parser {
  const std::uint8_t* data;
  std::uint32_t n;
  std::vector<std::uint16_t> heads;
  std::vector<std::uint16_t> chain;

  std::uint32_t Hash(std::uint32_t x) const {
    const std::uint32_t b0 = data[x], b1 = data[x + 1], b2 = data[x + 2];
    return ((((b0 & 0x7F) << 3) ^ b1) << 3) ^ b2;
  }

  void Insert(std::uint32_t p, std::uint32_t k) {
    for (std::uint32_t x = p; x < p + k; ++x) {
      const std::uint32_t h = Hash(x);
      if (heads[h] != 0) chain[x] = heads[h];
      heads[h] = static_cast<std::uint16_t>(x + 1);
    }
  }

  // Returns the length (0 when there is no match) and sets *q.
  std::uint32_t LongestMatch(std::uint32_t p, std::uint32_t* where) const {
    const std::uint32_t h = Hash(p);
    std::uint32_t c = heads[h];
    if (c == 0) return 0;
    std::uint32_t best = 2;
    bool haveBest = false;
    std::uint32_t bestPos = 0;
    std::uint32_t examined = 0;
    const std::uint32_t limit = std::min<std::uint32_t>(n - p, 258);
    while (c != 0 && examined < 384) {
      ++examined;
      const std::uint32_t q = c - 1;
      if (data[q] == data[p] && data[q + 1] == data[p + 1] && data[q + 2] == data[p + 2]) {
        std::uint32_t len = 3;
        while (len < limit && data[q + len] == data[p + len]) ++len;
        if (len > best) {
          best = len;
          bestPos = q;
          haveBest = true;
        }
      }
      c = chain[q];
    }
    if (!haveBest) return 0;
    *where = bestPos;
    return best;
  }
};

}  // namespace

ParsedPiece ReferenceParse(const std::uint8_t* data, std::uint32_t length, std::uint16_t* litCounts,
                           std::uint16_t* distCounts) {
  Parser ps{data, length, std::vector<std::uint16_t>(8192, 0), std::vector<std::uint16_t>(length, 0)};

  ParsedPiece out;
  std::uint32_t i = 0;
  if (length >= 3) {
    while (i < length - 2) {
      std::uint32_t q = 0;
      const std::uint32_t L = ps.LongestMatch(i, &q);
      ps.Insert(i, 1);
      if (L == 0) {
        out.literals.push_back(data[i]);
        out.distances.push_back(0);
        i = i + 1;
        continue;
      }
      if (L <= 128 && length - (i + 1) >= 3) {
        std::uint32_t q2 = 0;
        const std::uint32_t L2 = ps.LongestMatch(i + 1, &q2);
        if (L2 != 0 && L2 > L) {
          out.literals.push_back(data[i]);
          out.distances.push_back(0);
          i = i + 1;
          continue;
        }
      }
      out.literals.push_back(static_cast<std::uint8_t>(L - 3));
      out.distances.push_back(static_cast<std::uint16_t>(i - q));
      ps.Insert(i + 1, std::min(L, length - 2 - i) - 1);
      i = i + L;
    }
  }
  for (; i < length; ++i) {
    out.literals.push_back(data[i]);
    out.distances.push_back(0);
  }
  for (std::size_t j = 0; j < out.literals.size(); ++j) {
    if (out.distances[j] == 0) {
      ++litCounts[out.literals[j]];
    } else {
      const std::uint32_t L = out.literals[j] + 3u;
      ++litCounts[257 + FindRange(kLengthFirst, kLengthLast, 29, L)];
      ++distCounts[FindRange(kDistFirst, kDistLast, 30, out.distances[j])];
    }
  }
  ++litCounts[256];
  return out;
}

ReferenceCode ReferenceHuffman(const std::uint16_t* counts, std::uint32_t n, std::uint32_t maxBits) {
  const std::uint32_t nodes = 2 * n - 1;
  std::vector<std::uint16_t> f(nodes, 0), depth(nodes, 0), parent(nodes, 0), len(nodes, 0);
  std::vector<std::uint32_t> heap(2 * n + 2, 0);  // 1-based
  std::uint32_t heapLen = 0;
  ReferenceCode code;
  code.lengths.assign(n, 0);
  code.codes.assign(n, 0);
  std::uint32_t maxCode = 0;

  auto siftUp = [&](std::uint32_t k) {
    while (k > 1 && f[heap[k / 2]] > f[heap[k]]) {
      std::swap(heap[k / 2], heap[k]);
      k /= 2;
    }
  };
  auto siftDownFromTop = [&]() {
    std::uint32_t k = 1;
    for (;;) {
      const std::uint32_t left = 2 * k, right = 2 * k + 1;
      if (left > heapLen) break;
      std::uint32_t child = left;
      if (right <= heapLen) {
        const std::uint32_t l = heap[left], r = heap[right];
        if (f[r] < f[l] || (f[r] == f[l] && depth[r] < depth[l])) child = right;
      }
      const std::uint32_t v = heap[k], c = heap[child];
      if (f[v] < f[c] || (f[v] == f[c] && depth[v] <= depth[c])) break;
      std::swap(heap[k], heap[child]);
      k = child;
    }
  };

  for (std::uint32_t s = 0; s < n; ++s) {
    if (counts[s] > 0) {
      f[s] = counts[s];
      depth[s] = 0;
      heap[++heapLen] = s;
      siftUp(heapLen);
      maxCode = s;
    }
  }
  if (heapLen < 2) {
    if (heapLen == 0) {
      f[0] = 1;
      heap[++heapLen] = 0;
      siftUp(heapLen);
    }
    const std::uint32_t one = heap[1];
    const std::uint32_t added = one == 0 ? 1 : 0;
    f[added] = f[one];
    depth[added] = 0;
    heap[++heapLen] = added;
    siftUp(heapLen);
    maxCode = std::max(one, added);
  }
  code.maxCode = maxCode;

  std::vector<std::uint32_t> R;
  std::uint32_t next = n;
  while (heapLen >= 2) {
    const std::uint32_t a = heap[1];
    heap[1] = heap[heapLen--];
    siftDownFromTop();
    const std::uint32_t b = heap[1];
    R.push_back(a);
    R.push_back(b);
    parent[a] = parent[b] = static_cast<std::uint16_t>(next);
    f[next] = static_cast<std::uint16_t>(f[a] + f[b]);
    depth[next] = static_cast<std::uint16_t>(std::max(depth[a], depth[b]) + 1);
    heap[1] = next;
    siftDownFromTop();
    ++next;
  }
  R.push_back(heap[1]);

  std::vector<std::uint32_t> count(16, 0);
  std::uint32_t overflow = 0;
  len[R.back()] = 0;
  for (std::size_t k = R.size() - 1; k-- > 0;) {
    const std::uint32_t node = R[k];
    std::uint32_t l = len[parent[node]] + 1u;
    if (node < n) {
      if (l > maxBits) {
        l = maxBits;
        ++overflow;
      }
      ++count[l];
      code.lengths[node] = static_cast<std::uint8_t>(l);
    }
    len[node] = static_cast<std::uint16_t>(l);
  }
  if (overflow > 0) {
    auto step = [&]() {
      std::uint32_t bits = maxBits - 1;
      while (count[bits] == 0) --bits;
      count[bits] -= 1;
      count[bits + 1] += 2;
      count[maxBits] -= 1;
    };
    std::int32_t left = static_cast<std::int32_t>(overflow);
    do {
      step();
      left -= 2;
    } while (left > 0);
    // Then until the code is no longer over-subscribed.
    auto kraftTimes2PowMax = [&]() {
      std::uint64_t sum = 0;
      for (std::uint32_t b = 1; b <= maxBits; ++b) sum += static_cast<std::uint64_t>(count[b]) << (maxBits - b);
      return sum;
    };
    while (kraftTimes2PowMax() > (1ull << maxBits)) step();
    std::size_t k = 0;
    for (std::uint32_t bits = maxBits; bits >= 1; --bits) {
      std::uint32_t m = count[bits];
      while (m > 0) {
        const std::uint32_t node = R[k++];
        if (node >= n) continue;
        code.lengths[node] = static_cast<std::uint8_t>(bits);
        --m;
      }
    }
  }
  std::vector<std::uint32_t> nextCode(17, 0);
  nextCode[1] = 0;
  for (std::uint32_t L = 2; L <= 15; ++L) nextCode[L] = (nextCode[L - 1] + count[L - 1]) << 1;
  for (std::uint32_t s = 0; s < n; ++s) {
    const std::uint32_t L = code.lengths[s];
    if (L == 0) continue;
    const std::uint32_t c = nextCode[L]++;
    std::uint32_t rev = 0;
    for (std::uint32_t b = 0; b < L; ++b) rev |= ((c >> b) & 1u) << (L - 1 - b);
    code.codes[s] = static_cast<std::uint16_t>(rev);
  }
  return code;
}

std::vector<CodeLengthSymbol> ReferenceCodeLengthSymbols(const std::vector<std::uint8_t>& lengths) {
  std::vector<CodeLengthSymbol> out;
  std::size_t i = 0;
  while (i < lengths.size()) {
    std::size_t j = i;
    while (j < lengths.size() && lengths[j] == lengths[i]) ++j;
    const std::uint32_t v = lengths[i];
    std::uint32_t n = static_cast<std::uint32_t>(j - i);
    i = j;
    if (v != 0) {
      out.push_back({v, 0, 0});
      std::uint32_t remain = n - 1;
      while (remain > 2) {
        if (remain < 7) {
          out.push_back({16, remain - 3, 2});
          remain = 0;
        } else {
          out.push_back({16, 3, 2});
          remain -= 6;
        }
      }
      while (remain-- > 0) out.push_back({v, 0, 0});
    } else if (n <= 2) {
      while (n-- > 0) out.push_back({0, 0, 0});
    } else {
      while (n > 0) {
        if (n <= 10) {
          out.push_back({17, n - 3, 3});
          break;
        }
        if (n <= 138) {
          out.push_back({18, n - 11, 7});
          break;
        }
        out.push_back({18, 127, 7});
        n -= 138;
        if (n == 1 || n == 2) {
          while (n-- > 0) out.push_back({0, 0, 0});
          break;
        }
      }
    }
  }
  return out;
}

namespace {

struct Bits {
  std::vector<std::uint8_t> bytes;
  std::uint32_t mask = 1;
  std::uint32_t pending = 0;

  void Write(std::uint32_t value, std::uint32_t k) {
    for (std::uint32_t i = 0; i < k; ++i) {
      if ((value >> i) & 1u) pending |= mask;
      if (mask < 0x80) {
        mask <<= 1;
      } else {
        bytes.push_back(static_cast<std::uint8_t>(pending));
        mask = 1;
        pending = 0;
      }
    }
  }
  void Finish() {
    if (mask != 1) bytes.push_back(static_cast<std::uint8_t>(pending));
    mask = 1;
    pending = 0;
  }
};

}  // namespace

std::vector<std::uint8_t> ReferenceDeflate(const std::uint8_t* data, std::size_t length, std::uint32_t blockSize) {
  Bits out;
  if (length == 0) {
    out.Write(1, 1);
    out.Write(1, 2);
    out.Write(0, 7);
    out.Finish();
    return out.bytes;
  }
  std::size_t pos = 0;
  while (pos < length) {
    const std::uint32_t piece = static_cast<std::uint32_t>(std::min<std::size_t>(blockSize, length - pos));
    std::uint16_t lit[286] = {}, dist[30] = {};
    const ParsedPiece parsed = ReferenceParse(data + pos, piece, lit, dist);
    const ReferenceCode litCode = ReferenceHuffman(lit, 286, 15);
    const ReferenceCode distCode = ReferenceHuffman(dist, 30, 15);
    const std::vector<std::uint8_t> litLens(litCode.lengths.begin(), litCode.lengths.begin() + litCode.maxCode + 1);
    const std::vector<std::uint8_t> distLens(distCode.lengths.begin(), distCode.lengths.begin() + distCode.maxCode + 1);
    const auto litRuns = ReferenceCodeLengthSymbols(litLens);
    const auto distRuns = ReferenceCodeLengthSymbols(distLens);
    std::uint16_t bl[19] = {};
    for (const auto& s : litRuns) ++bl[s.symbol];
    for (const auto& s : distRuns) ++bl[s.symbol];
    const ReferenceCode blCode = ReferenceHuffman(bl, 19, 7);
    std::uint32_t maxBlIndex = 18;
    while (maxBlIndex > 3 && blCode.lengths[kOrder[maxBlIndex]] == 0) --maxBlIndex;

    out.Write(pos + piece == length ? 1 : 0, 1);
    out.Write(2, 2);
    out.Write(litCode.maxCode - 256, 5);
    out.Write(distCode.maxCode, 5);
    out.Write(maxBlIndex - 3, 4);
    for (std::uint32_t i = 0; i <= maxBlIndex; ++i) out.Write(blCode.lengths[kOrder[i]], 3);
    for (const auto* runs : {&litRuns, &distRuns}) {
      for (const auto& s : *runs) {
        out.Write(blCode.codes[s.symbol], blCode.lengths[s.symbol]);
        out.Write(s.extra, s.bits);
      }
    }
    for (std::size_t j = 0; j < parsed.literals.size(); ++j) {
      if (parsed.distances[j] == 0) {
        const std::uint32_t s = parsed.literals[j];
        out.Write(litCode.codes[s], litCode.lengths[s]);
      } else {
        const std::uint32_t L = parsed.literals[j] + 3u;
        const std::uint32_t lc = FindRange(kLengthFirst, kLengthLast, 29, L);
        out.Write(litCode.codes[257 + lc], litCode.lengths[257 + lc]);
        out.Write(L - kLengthFirst[lc], kLengthExtra[lc]);
        const std::uint32_t d = parsed.distances[j];
        const std::uint32_t dc = FindRange(kDistFirst, kDistLast, 30, d);
        out.Write(distCode.codes[dc], distCode.lengths[dc]);
        out.Write(d - kDistFirst[dc], kDistExtra[dc]);
      }
    }
    out.Write(litCode.codes[256], litCode.lengths[256]);
    pos += piece;
  }
  out.Finish();
  return out.bytes;
}

}  // namespace sfx::reference

namespace sfx::reference {

bool IsCompletePrefixCode(const std::vector<std::uint8_t>& lengths) {
  std::uint64_t sum = 0;
  for (std::uint8_t l : lengths) {
    if (l > 15) return false;
    if (l != 0) sum += 1ull << (15 - l);
  }
  return sum == (1ull << 15);
}

namespace {

struct BitSource {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos = 0;
  std::uint32_t bit = 0;
  bool overrun = false;

  std::uint32_t Bit() {
    if (pos >= size) {
      overrun = true;
      return 0;
    }
    const std::uint32_t b = (data[pos] >> bit) & 1u;
    if (++bit == 8) {
      bit = 0;
      ++pos;
    }
    return b;
  }
  std::uint32_t Bits(std::uint32_t k) {
    std::uint32_t v = 0;
    for (std::uint32_t i = 0; i < k; ++i) v |= Bit() << i;
    return v;
  }
};

// Canonical decoding, most significant code bit first.
struct Decoder {
  std::uint32_t count[16] = {};
  std::vector<std::uint32_t> symbols;

  explicit Decoder(const std::vector<std::uint8_t>& lengths) {
    for (std::uint8_t l : lengths) ++count[l];
    count[0] = 0;
    std::uint32_t offs[16] = {};
    for (std::uint32_t l = 1; l < 15; ++l) offs[l + 1] = offs[l] + count[l];
    symbols.assign(lengths.size(), 0);
    for (std::uint32_t s = 0; s < lengths.size(); ++s) {
      if (lengths[s] != 0) symbols[offs[lengths[s]]++] = s;
    }
  }
  // -1 on an invalid code.
  int Decode(BitSource& in) const {
    std::int32_t code = 0, first = 0, index = 0;
    for (std::uint32_t l = 1; l <= 15; ++l) {
      code |= static_cast<std::int32_t>(in.Bit());
      const std::int32_t c = static_cast<std::int32_t>(count[l]);
      if (code - c < first) return static_cast<int>(symbols[static_cast<std::size_t>(index + (code - first))]);
      index += c;
      first = (first + c) << 1;
      code <<= 1;
      if (in.overrun) return -1;
    }
    return -1;
  }
};

bool NotOverSubscribed(const std::vector<std::uint8_t>& lengths) {
  std::uint64_t sum = 0;
  for (std::uint8_t l : lengths) {
    if (l != 0) sum += 1ull << (15 - l);
  }
  return sum <= (1ull << 15);
}

}  // namespace

InspectedStream InspectDeflateStream(const std::uint8_t* data, std::size_t size) {
  InspectedStream result;
  BitSource in{data, size};
  auto fail = [&](const char* why) {
    result.ok = false;
    result.error = why;
    return result;
  };
  static const std::uint32_t kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static const std::uint32_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  bool final = false;
  while (!final) {
    InspectedBlock block;
    final = block.final = in.Bit() != 0;
    block.type = in.Bits(2);
    if (in.overrun) return fail("input ends in a block header");
    if (block.type == 3) return fail("block type 3");
    if (block.type == 0) {
      if (in.bit != 0) {
        in.bit = 0;
        ++in.pos;
      }
      if (in.pos + 4 > size) return fail("input ends in a stored header");
      const std::uint32_t len = data[in.pos] | (data[in.pos + 1] << 8);
      const std::uint32_t nlen = data[in.pos + 2] | (data[in.pos + 3] << 8);
      if (len != (~nlen & 0xFFFFu)) return fail("stored length mismatch");
      in.pos += 4;
      if (in.pos + len > size) return fail("input ends in stored data");
      result.output.insert(result.output.end(), data + in.pos, data + in.pos + len);
      in.pos += len;
      result.blocks.push_back(block);
      continue;
    }
    if (block.type == 1) {
      block.literalLengthLengths.assign(288, 8);
      for (int s = 144; s < 256; ++s) block.literalLengthLengths[s] = 9;
      for (int s = 256; s < 280; ++s) block.literalLengthLengths[s] = 7;
      block.distanceLengths.assign(30, 5);
    } else {
      const std::uint32_t nlen = in.Bits(5) + 257, ndist = in.Bits(5) + 1, ncode = in.Bits(4) + 4;
      if (nlen > 286 || ndist > 30) return fail("bad header counts");
      static const std::uint32_t kOrderLocal[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
      block.codeLengthLengths.assign(19, 0);
      for (std::uint32_t i = 0; i < ncode; ++i)
        block.codeLengthLengths[kOrderLocal[i]] = static_cast<std::uint8_t>(in.Bits(3));
      if (!IsCompletePrefixCode(block.codeLengthLengths)) block.codesComplete = false;
      if (!NotOverSubscribed(block.codeLengthLengths)) return fail("over-subscribed code-length code");
      const Decoder cl(block.codeLengthLengths);
      std::vector<std::uint8_t> lengths;
      while (lengths.size() < nlen + ndist) {
        const int sym = cl.Decode(in);
        if (sym < 0) return fail("bad code-length code");
        if (sym < 16) {
          lengths.push_back(static_cast<std::uint8_t>(sym));
          continue;
        }
        std::uint32_t repeat = 0;
        std::uint8_t value = 0;
        if (sym == 16) {
          if (lengths.empty()) return fail("repeat with no previous length");
          value = lengths.back();
          repeat = 3 + in.Bits(2);
        } else if (sym == 17) {
          repeat = 3 + in.Bits(3);
        } else {
          repeat = 11 + in.Bits(7);
        }
        if (lengths.size() + repeat > nlen + ndist) return fail("repeat past the end of the lengths");
        lengths.insert(lengths.end(), repeat, value);
      }
      block.literalLengthLengths.assign(lengths.begin(), lengths.begin() + nlen);
      block.distanceLengths.assign(lengths.begin() + nlen, lengths.end());
      if (block.literalLengthLengths[256] == 0) return fail("no end-of-block code");
      if (!IsCompletePrefixCode(block.literalLengthLengths) || !IsCompletePrefixCode(block.distanceLengths)) {
        block.codesComplete = false;
      }
      if (!NotOverSubscribed(block.literalLengthLengths) || !NotOverSubscribed(block.distanceLengths)) {
        return fail("over-subscribed code");
      }
    }
    const Decoder lit(block.literalLengthLengths), dist(block.distanceLengths);
    for (;;) {
      const int sym = lit.Decode(in);
      if (sym < 0) return fail("bad literal/length code");
      if (sym < 256) {
        result.output.push_back(static_cast<std::uint8_t>(sym));
        continue;
      }
      if (sym == 256) break;
      if (sym > 285) return fail("literal/length symbol 286 or 287");
      const std::uint32_t len = kLenBase[sym - 257] + in.Bits(kLenExtra[sym - 257]);
      const int dsym = dist.Decode(in);
      if (dsym < 0 || dsym > 29) return fail("bad distance code");
      const std::uint32_t dextra = dsym < 4 ? 0 : (static_cast<std::uint32_t>(dsym) - 2) >> 1;
      const std::uint32_t dbase = dsym < 4 ? static_cast<std::uint32_t>(dsym) + 1 : ((2u + (dsym & 1u)) << dextra) + 1;
      const std::uint32_t d = dbase + in.Bits(dextra);
      if (d > result.output.size()) return fail("distance before the start");
      for (std::uint32_t k = 0; k < len; ++k) result.output.push_back(result.output[result.output.size() - d]);
    }
    if (in.overrun) return fail("input ends in a block");
    result.blocks.push_back(std::move(block));
  }
  result.bytesUsed = in.pos + (in.bit != 0 ? 1 : 0);
  result.ok = true;
  return result;
}

}  // namespace sfx::reference
