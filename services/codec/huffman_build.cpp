#include "services/codec/huffman_build_p.h"

namespace sfx::deflate {
namespace {

// The arrays one construction works on: F holds node counts, N node numbers,
// depths, lengths and length counts. DEFLATE's codes use 16-bit arrays inside
// the Deflater; a wide code uses 32-bit arrays in blocks of the caller's.
template <class F, class N>
struct WorkArrays {
  F* frequency;       // per node
  N* depth;           // per node: height of its subtree
  N* parentOrLength;  // per node: its parent, then its length
  N* removed;         // nodes in the order they left the heap, the root last
  N* heap;            // 1-based: heap[1] is the top, the children of k are 2k and 2k + 1
  N* lengthCounts;    // per length 0..maxBits
};

// DEFLATE's 16-bit counts wrap when they add up past 65535, as they always
// have (a Deflater's counts never get there); a wide code's sums must fit.
struct WrappingSum {
  static bool Add(std::uint16_t a, std::uint16_t b, std::uint16_t* sum) {
    *sum = static_cast<std::uint16_t>(a + b);
    return true;
  }
};
struct CheckedSum {
  static bool Add(std::uint32_t a, std::uint32_t b, std::uint32_t* sum) {
    if (a > 0xFFFFFFFFu - b) return false;
    *sum = a + b;
    return true;
  }
};

template <class F, class N, class Sum>
class Construction {
 public:
  Construction(const WorkArrays<F, N>& w, std::uint32_t n, std::uint32_t maxBits, std::uint8_t* lengths)
      : w_(w), n_(n), maxBits_(maxBits), lengths_(lengths) {}

  // Heap fill, padding, merging, lengths, folding and codes, in that order.
  template <class Code>
  Result Run(const F* counts, Code* codes, std::uint32_t* maxCode) {
    const std::uint32_t last = FillHeap(counts);
    // 2^maxBits codes of maxBits bits is the most a code of this limit holds;
    // beyond it the folding below would run out of shorter codes to split.
    if (maxBits_ < 32 && size_ > (std::uint32_t{1} << maxBits_)) return Fail();
    if (!Merge()) return Fail();
    const std::uint32_t overflow = AssignLengths();
    if (overflow > 0) FoldOverflow(overflow);
    AssignCodes(codes, last);
    if (maxCode != nullptr) *maxCode = last;
    return kOk;
  }

 private:
  Result Fail() {
    for (std::uint32_t s = 0; s < n_; ++s) lengths_[s] = 0;
    return kFail;
  }

  // ---- the heap ----
  // A new node rises while its parent's count is strictly greater.
  void Push(std::uint32_t node) {
    std::uint32_t k = ++size_;
    const F f = w_.frequency[node];
    while (k > 1 && w_.frequency[w_.heap[k / 2]] > f) {
      w_.heap[k] = w_.heap[k / 2];
      k /= 2;
    }
    w_.heap[k] = static_cast<N>(node);
  }
  std::uint32_t Pop() {
    const std::uint32_t node = w_.heap[1];
    w_.heap[1] = w_.heap[size_--];
    SiftDown();
    return node;
  }
  void ReplaceTop(std::uint32_t node) {
    w_.heap[1] = static_cast<N>(node);
    SiftDown();
  }
  // Ties between children go left unless the right one is shallower; the
  // node stops above a child it equals unless it is deeper.
  void SiftDown() {
    const F* f = w_.frequency;
    const N* d = w_.depth;
    std::uint32_t k = 1;
    const std::uint32_t v = w_.heap[1];
    std::uint32_t j = 2;
    while (j <= size_) {
      if (j < size_) {
        const std::uint32_t l = w_.heap[j], r = w_.heap[j + 1];
        if (f[r] < f[l] || (f[r] == f[l] && d[r] < d[l])) ++j;
      }
      const std::uint32_t c = w_.heap[j];
      if (f[v] < f[c] || (f[v] == f[c] && d[v] <= d[c])) break;
      w_.heap[k] = static_cast<N>(c);
      k = j;
      j = 2 * k;
    }
    w_.heap[k] = static_cast<N>(v);
  }

  // ---- the steps ----
  // Puts every used symbol into the heap; returns the largest symbol with a code.
  std::uint32_t FillHeap(const F* counts) {
    std::uint32_t last = 0;
    for (std::uint32_t s = 0; s < n_; ++s) {
      lengths_[s] = 0;
      if (counts[s] == 0) continue;
      w_.frequency[s] = counts[s];
      w_.depth[s] = 0;
      Push(s);
      last = s;
    }
    if (size_ >= 2) return last;
    // A code needs two symbols: pad with symbol 0 or 1, as frequent as the
    // one present (or both with count 1 when nothing occurred).
    if (size_ == 0) {
      w_.frequency[0] = 1;
      w_.depth[0] = 0;
      Push(0);
    }
    const std::uint32_t one = w_.heap[1];
    const std::uint32_t other = one == 0 ? 1 : 0;
    w_.frequency[other] = w_.frequency[one];
    w_.depth[other] = 0;
    Push(other);
    return one > other ? one : other;
  }

  // Merges the two smallest nodes until one is left, recording the order in
  // which nodes leave the heap. False when a count passes what F holds.
  bool Merge() {
    std::uint32_t next = n_;
    removedCount_ = 0;
    while (size_ >= 2) {
      const std::uint32_t a = Pop();
      const std::uint32_t b = w_.heap[1];
      w_.removed[removedCount_++] = static_cast<N>(a);
      w_.removed[removedCount_++] = static_cast<N>(b);
      if (!Sum::Add(w_.frequency[a], w_.frequency[b], &w_.frequency[next])) return false;
      w_.depth[next] = static_cast<N>((w_.depth[a] > w_.depth[b] ? w_.depth[a] : w_.depth[b]) + 1);
      w_.parentOrLength[a] = w_.parentOrLength[b] = static_cast<N>(next);
      ReplaceTop(next);
      ++next;
    }
    w_.removed[removedCount_++] = w_.heap[1];
    return true;
  }

  // Lengths from the root down: every parent precedes its children in reverse
  // removal order. Symbols deeper than maxBits are cut to maxBits; returns
  // how many were.
  std::uint32_t AssignLengths() {
    for (std::uint32_t b = 0; b <= maxBits_; ++b) w_.lengthCounts[b] = 0;
    w_.parentOrLength[w_.removed[removedCount_ - 1]] = 0;
    std::uint32_t overflow = 0;
    for (std::uint32_t k = removedCount_ - 1; k-- > 0;) {
      const std::uint32_t node = w_.removed[k];
      std::uint32_t len = w_.parentOrLength[w_.parentOrLength[node]] + 1u;
      if (node < n_) {
        if (len > maxBits_) {
          len = maxBits_;
          ++overflow;
        }
        lengths_[node] = static_cast<std::uint8_t>(len);
        ++w_.lengthCounts[len];
      }
      w_.parentOrLength[node] = static_cast<N>(len);
    }
    return overflow;
  }

  // Cutting symbols to maxBits over-subscribes the code by `excess` units of
  // 2^-maxBits. Each step moves a leaf one level down and hangs one cut
  // symbol beside it, which takes back exactly one unit. Counting two cut
  // symbols per step (the overflow) can stop short of a complete code, so the
  // steps go on until the excess is gone; when the overflow count suffices,
  // the extra steps never run.
  void FoldOverflow(std::uint32_t overflow) {
    std::int64_t excess = -(std::int64_t{1} << maxBits_);
    for (std::uint32_t b = 1; b <= maxBits_; ++b) excess += std::int64_t{w_.lengthCounts[b]} << (maxBits_ - b);
    std::int64_t toFold = overflow;
    while (toFold > 0 || excess > 0) {
      std::uint32_t bits = maxBits_ - 1;
      while (bits > 1 && w_.lengthCounts[bits] == 0) --bits;
      // Cannot happen while at most 2^maxBits symbols are used; stops rather
      // than run off the counts.
      if (bits == 0 || w_.lengthCounts[bits] == 0) break;
      --w_.lengthCounts[bits];
      w_.lengthCounts[bits + 1] = static_cast<N>(w_.lengthCounts[bits + 1] + 2);
      --w_.lengthCounts[maxBits_];
      toFold -= 2;
      --excess;
    }
    // Hand the lengths out again, longest to the symbols that left the heap first.
    std::uint32_t k = 0;
    for (std::uint32_t bits = maxBits_; bits != 0; --bits) {
      for (std::uint32_t left = w_.lengthCounts[bits]; left != 0;) {
        const std::uint32_t node = w_.removed[k++];
        if (node >= n_) continue;
        lengths_[node] = static_cast<std::uint8_t>(bits);
        --left;
      }
    }
  }

  // Canonical codes (RFC 1951, 3.2.2), stored reversed.
  template <class Code>
  void AssignCodes(Code* codes, std::uint32_t last) {
    std::uint64_t nextCode[kMaxWideCodeBits + 2];
    std::uint64_t code = 0;
    nextCode[1] = 0;
    for (std::uint32_t bits = 2; bits <= maxBits_; ++bits) {
      code = (code + w_.lengthCounts[bits - 1]) << 1;
      nextCode[bits] = code;
    }
    for (std::uint32_t s = 0; s <= last; ++s) {
      const std::uint32_t len = lengths_[s];
      if (len == 0) continue;
      std::uint64_t c = nextCode[len]++;
      std::uint32_t reversed = 0;
      for (std::uint32_t b = 0; b < len; ++b, c >>= 1) reversed = (reversed << 1) | static_cast<std::uint32_t>(c & 1);
      codes[s] = static_cast<Code>(reversed);
    }
  }

  WorkArrays<F, N> w_;
  std::uint32_t n_;
  std::uint32_t maxBits_;
  std::uint8_t* lengths_;
  std::uint32_t size_ = 0;  // nodes in the heap
  std::uint32_t removedCount_ = 0;
};

}  // namespace

void BuildHuffmanCode(const std::uint16_t* counts, std::uint32_t n, std::uint32_t maxBits, HuffmanWork& work,
                      std::uint8_t* lengths, std::uint16_t* codes, std::uint32_t* maxCode) {
  const WorkArrays<std::uint16_t, std::uint16_t> w{work.frequency, work.depth, work.parentOrLength,
                                                   work.removed,   work.heap,  work.lengthCounts};
  // With at most 286 symbols and a limit of at least 7 bits the code always fits.
  (void)Construction<std::uint16_t, std::uint16_t, WrappingSum>(w, n, maxBits, lengths).Run(counts, codes, maxCode);
}

bool WideNodeBytes(std::uint32_t n, std::uint32_t* bytes) {
  // Four 32-bit words for each of 2n nodes, and 16 bytes to spare.
  if (n > (0xFFFFFFFFu - 16) / 32) return false;
  *bytes = 32 * n + 16;
  return true;
}

bool WideCountBytes(std::uint32_t n, std::uint32_t maxBits, std::uint32_t* bytes) {
  // maxBits + 1 length counts and a heap of 2n + 1 entries.
  const std::uint64_t words = std::uint64_t{maxBits} + 2 * std::uint64_t{n} + 2;
  if (words > 0xFFFFFFFFu / 4) return false;
  *bytes = static_cast<std::uint32_t>(words * 4);
  return true;
}

Result BuildWideHuffmanCode(const std::uint32_t* counts, std::uint32_t n, std::uint32_t maxBits, void* nodeBlock,
                            void* countBlock, std::uint8_t* lengths, std::uint32_t* codes) {
  if (maxBits < 1 || maxBits > kMaxWideCodeBits) return kFail;
  for (std::uint32_t s = 0; s < n; ++s) {
    lengths[s] = 0;
    codes[s] = 0;
  }
  if (n < 2) {
    // One symbol cannot be padded with another: it gets the one-bit code 0.
    if (n == 1) lengths[0] = 1;
    return kOk;
  }
  auto* nodes = static_cast<std::uint32_t*>(nodeBlock);
  auto* countWords = static_cast<std::uint32_t*>(countBlock);
  const WorkArrays<std::uint32_t, std::uint32_t> w{
      nodes, nodes + 2 * n, nodes + 4 * n, nodes + 6 * n, countWords + maxBits + 1, countWords};
  return Construction<std::uint32_t, std::uint32_t, CheckedSum>(w, n, maxBits, lengths).Run(counts, codes, nullptr);
}

}  // namespace sfx::deflate
