#include "services/codec/huffman_build_p.h"

namespace sfx::deflate {
namespace {

// The heap is 1-based: heap[1] is the top, the children of k are 2k and 2k + 1.
class NodeHeap {
 public:
  explicit NodeHeap(HuffmanWork& w) : w_(w) {}

  std::uint32_t size() const { return size_; }
  std::uint32_t top() const { return w_.heap[1]; }

  // A new symbol rises while its parent's count is strictly greater.
  void Push(std::uint32_t node) {
    std::uint32_t k = ++size_;
    const std::uint16_t f = w_.frequency[node];
    while (k > 1 && w_.frequency[w_.heap[k / 2]] > f) {
      w_.heap[k] = w_.heap[k / 2];
      k /= 2;
    }
    w_.heap[k] = static_cast<std::uint16_t>(node);
  }

  std::uint32_t Pop() {
    const std::uint32_t node = w_.heap[1];
    w_.heap[1] = w_.heap[size_--];
    SiftDown();
    return node;
  }

  void ReplaceTop(std::uint32_t node) {
    w_.heap[1] = static_cast<std::uint16_t>(node);
    SiftDown();
  }

 private:
  // Ties between children go left unless the right one is shallower; the
  // node stops above a child it equals unless it is deeper.
  void SiftDown() {
    const std::uint16_t* f = w_.frequency;
    const std::uint16_t* d = w_.depth;
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
      w_.heap[k] = static_cast<std::uint16_t>(c);
      k = j;
      j = 2 * k;
    }
    w_.heap[k] = static_cast<std::uint16_t>(v);
  }

  HuffmanWork& w_;
  std::uint32_t size_ = 0;
};

}  // namespace

void BuildHuffmanCode(const std::uint16_t* counts, std::uint32_t n, std::uint32_t maxBits, HuffmanWork& w,
                      std::uint8_t* lengths, std::uint16_t* codes, std::uint32_t* maxCode) {
  NodeHeap heap(w);
  std::uint32_t last = 0;
  for (std::uint32_t s = 0; s < n; ++s) {
    lengths[s] = 0;
    if (counts[s] == 0) continue;
    w.frequency[s] = counts[s];
    w.depth[s] = 0;
    heap.Push(s);
    last = s;
  }
  // A code needs two symbols: pad with symbol 0 or 1, as frequent as the
  // one present (or both with count 1 when nothing occurred).
  if (heap.size() < 2) {
    if (heap.size() == 0) {
      w.frequency[0] = 1;
      w.depth[0] = 0;
      heap.Push(0);
    }
    const std::uint32_t one = heap.top();
    const std::uint32_t other = one == 0 ? 1 : 0;
    w.frequency[other] = w.frequency[one];
    w.depth[other] = 0;
    heap.Push(other);
    last = one > other ? one : other;
  }
  *maxCode = last;

  // Merge the two smallest until one node is left; record the order.
  std::uint32_t next = n;
  std::uint32_t removed = 0;
  while (heap.size() >= 2) {
    const std::uint32_t a = heap.Pop();
    const std::uint32_t b = heap.top();
    w.removed[removed++] = static_cast<std::uint16_t>(a);
    w.removed[removed++] = static_cast<std::uint16_t>(b);
    // Counts are 16-bit; a sum past 65535 wraps, as it always has.
    w.frequency[next] = static_cast<std::uint16_t>(w.frequency[a] + w.frequency[b]);
    w.depth[next] = static_cast<std::uint16_t>((w.depth[a] > w.depth[b] ? w.depth[a] : w.depth[b]) + 1);
    w.parentOrLength[a] = w.parentOrLength[b] = static_cast<std::uint16_t>(next);
    heap.ReplaceTop(next);
    ++next;
  }
  const std::uint32_t root = heap.top();
  w.removed[removed++] = static_cast<std::uint16_t>(root);

  // Lengths from the root down; every parent precedes its children in
  // reverse removal order. Symbols deeper than maxBits are cut to maxBits.
  for (std::uint32_t b = 0; b <= kMaxCodeBits; ++b) w.lengthCounts[b] = 0;
  w.parentOrLength[root] = 0;
  std::uint32_t overflow = 0;
  for (std::uint32_t k = removed - 1; k-- > 0;) {
    const std::uint32_t node = w.removed[k];
    std::uint32_t len = w.parentOrLength[w.parentOrLength[node]] + 1u;
    if (node < n) {
      if (len > maxBits) {
        len = maxBits;
        ++overflow;
      }
      lengths[node] = static_cast<std::uint8_t>(len);
      ++w.lengthCounts[len];
    }
    w.parentOrLength[node] = static_cast<std::uint16_t>(len);
  }

  if (overflow > 0) {
    // Cutting symbols to maxBits over-subscribes the code by `excess` units of
    // 2^-maxBits. Each step below moves a leaf one level down and hangs one
    // cut symbol beside it, which takes back exactly one unit. Counting two
    // cut symbols per step (the overflow) can stop short of a complete code,
    // so the steps go on until the excess is gone; when the overflow count
    // suffices, the extra steps never run.
    std::int32_t excess = -(1 << maxBits);
    for (std::uint32_t b = 1; b <= maxBits; ++b) excess += w.lengthCounts[b] << (maxBits - b);
    std::int32_t toFold = static_cast<std::int32_t>(overflow);
    while (toFold > 0 || excess > 0) {
      std::uint32_t bits = maxBits - 1;
      while (bits > 1 && w.lengthCounts[bits] == 0) --bits;
      --w.lengthCounts[bits];
      w.lengthCounts[bits + 1] = static_cast<std::uint16_t>(w.lengthCounts[bits + 1] + 2);
      --w.lengthCounts[maxBits];
      toFold -= 2;
      --excess;
    }
    // Hand the lengths out again, longest to the symbols that left the heap first.
    std::uint32_t k = 0;
    for (std::uint32_t bits = maxBits; bits != 0; --bits) {
      for (std::uint32_t left = w.lengthCounts[bits]; left != 0;) {
        const std::uint32_t node = w.removed[k++];
        if (node >= n) continue;
        lengths[node] = static_cast<std::uint8_t>(bits);
        --left;
      }
    }
  }

  // Canonical codes, stored reversed.
  std::uint16_t nextCode[kMaxCodeBits + 2];
  std::uint32_t code = 0;
  nextCode[1] = 0;
  for (std::uint32_t bits = 2; bits <= maxBits; ++bits) {
    code = (code + w.lengthCounts[bits - 1]) << 1;
    nextCode[bits] = static_cast<std::uint16_t>(code);
  }
  for (std::uint32_t s = 0; s <= last; ++s) {
    const std::uint32_t len = lengths[s];
    if (len == 0) continue;
    std::uint32_t c = nextCode[len]++;
    std::uint32_t reversed = 0;
    for (std::uint32_t b = 0; b < len; ++b, c >>= 1) reversed = (reversed << 1) | (c & 1);
    codes[s] = static_cast<std::uint16_t>(reversed);
  }
}

}  // namespace sfx::deflate
