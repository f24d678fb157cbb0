#include "services/data/stream_tree.h"

#include <new>

#include "services/core/memory_service.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

StreamTreeService g_streamTreeService;

// Header fields, by offset.
constexpr std::uint32_t kHeaderBytes = 32;
constexpr std::uint32_t kOffHeaderSize = 0;
constexpr std::uint32_t kOffFormatVersion = 4;
constexpr std::uint32_t kOffKeySize = 8;
constexpr std::uint32_t kOffValueSize = 12;
constexpr std::uint32_t kOffNodeSize = 16;
constexpr std::uint32_t kOffRoot = 20;
constexpr std::uint32_t kOffFreeHead = 24;
constexpr std::uint32_t kOffNodeCount = 28;
// What an opened tree rewrites: keySize to nodeCount.
constexpr std::uint32_t kRewrittenFrom = kOffKeySize;
constexpr std::uint16_t kFormatVersion = 1;
constexpr std::uint32_t kMaxHeaderSize = 0xFFFF;

// Node fields.
constexpr std::uint32_t kNodeHeaderBytes = 9;
constexpr std::uint32_t kOffColour = 0;
constexpr std::uint32_t kOffLeft = 1;
constexpr std::uint32_t kOffRight = 5;
constexpr std::uint32_t kGrowthSlots = 32;

constexpr std::uint64_t kMaxStreamBytes = 0xFFFFFFFFu;

std::uint32_t LoadU32(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
void StoreU32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

// Positioned transfers that insist on the whole count whatever the stream
// kind's own short-transfer rule is (a memory stream reads short silently).
Result ReadFully(Stream* s, std::uint32_t position, void* buffer, std::uint32_t count) {
  std::uint32_t done = 0;
  SFX_TRY(s->ReadAt(position, buffer, count, &done));
  return done == count ? kOk : kStreamShortRead;
}
Result WriteFully(Stream* s, std::uint32_t position, const void* buffer, std::uint32_t count) {
  std::uint32_t done = 0;
  SFX_TRY(s->WriteAt(position, buffer, count, &done));
  return done == count ? kOk : kStreamShortWrite;
}

// The byte size a tree needs to hold its first growth of slots; a tree that
// cannot is refused, which also bounds the scratch buffer.
bool NodeSizeUsable(std::uint64_t headerSize, std::uint64_t nodeSize) {
  return headerSize + kGrowthSlots * nodeSize <= kMaxStreamBytes;
}

}  // namespace

ServiceObject* detail::TheStreamTreeService() { return &g_streamTreeService; }

// ---- service: create and open ----------------------------------------------

Result StreamTreeService::CreateTree(Stream* stream, std::uint32_t keySize, std::uint32_t valueSize,
                                     TreeCompareFunction compare, void* context, StreamTree** tree) {
  const std::uint64_t nodeSize = std::uint64_t{kNodeHeaderBytes} + keySize + valueSize;
  if (!NodeSizeUsable(kHeaderBytes, nodeSize)) return kFail;
  StreamTree* t = nullptr;
  SFX_TRY(NewInstance(&t));
  t->stream_ = stream;
  t->created_ = 1;
  t->headerSize_ = kHeaderBytes;
  t->keySize_ = keySize;
  t->valueSize_ = valueSize;
  t->nodeSize_ = static_cast<std::uint32_t>(nodeSize);
  t->compare_ = compare;
  t->context_ = context;
  const Result r = t->EnsureScratch();
  if (Failed(r)) {
    (void)DeleteInstance(t);
    return r;
  }
  *tree = t;
  return kOk;
}

Result StreamTreeService::OpenTree(Stream* stream, TreeCompareFunction compare, void* context, StreamTree** tree) {
  unsigned char h[kHeaderBytes];
  if (Failed(ReadFully(stream, 0, h, kHeaderBytes))) return kTreeHeaderReadFailed;
  const std::uint32_t headerSize = LoadU32(h + kOffHeaderSize);
  if (headerSize > kMaxHeaderSize) return kTreeHeaderTooLarge;
  const std::uint32_t keySize = LoadU32(h + kOffKeySize);
  const std::uint32_t valueSize = LoadU32(h + kOffValueSize);
  const std::uint32_t nodeSize = LoadU32(h + kOffNodeSize);
  const std::uint32_t root = LoadU32(h + kOffRoot);
  const std::uint32_t freeHead = LoadU32(h + kOffFreeHead);
  const std::uint32_t nodeCount = LoadU32(h + kOffNodeCount);
  std::uint32_t streamSize = 0;
  if (Failed(stream->GetSize(&streamSize))) return kTreeHeaderReadFailed;
  // Every field comes from the stream and is untrusted: the node size must be
  // the one the key and value sizes give, the slots must lie inside the
  // stream and the two entry links must name a slot (all in 64 bits).
  const std::uint64_t expectedNodeSize = std::uint64_t{kNodeHeaderBytes} + keySize + valueSize;
  if (headerSize < kHeaderBytes || expectedNodeSize != nodeSize || !NodeSizeUsable(headerSize, nodeSize) ||
      nodeCount == kTreeNone || std::uint64_t{headerSize} + std::uint64_t{nodeCount} * nodeSize > streamSize ||
      (root != kTreeNone && root >= nodeCount) || (freeHead != kTreeNone && freeHead >= nodeCount))
    return kTreeHeaderReadFailed;
  StreamTree* t = nullptr;
  SFX_TRY(NewInstance(&t));
  t->stream_ = stream;
  t->headerSize_ = headerSize;
  t->keySize_ = keySize;
  t->valueSize_ = valueSize;
  t->nodeSize_ = nodeSize;
  t->root_ = root;
  t->freeHead_ = freeHead;
  t->nodeCount_ = nodeCount;
  t->compare_ = compare;
  t->context_ = context;
  // The key size of an empty tree is bounded by nothing stored: its scratch
  // buffer waits for the first comparison, which needs a node in the stream.
  if (nodeCount > 0) {
    const Result r = t->EnsureScratch();
    if (Failed(r)) {
      (void)DeleteInstance(t);
      return r;
    }
  }
  *tree = t;
  return kOk;
}

Result StreamTree::EnsureScratch() {
  if (scratch_ != nullptr) return kOk;
  void* scratch = nullptr;
  SFX_TRY(Memory()->Allocate(keySize_ ? keySize_ : 1, &scratch));
  scratch_ = static_cast<unsigned char*>(scratch);
  return kOk;
}

// ---- node access -------------------------------------------------------------

Result StreamTree::ReadHeader(std::uint32_t index, NodeHeader* h) {
  if (index >= nodeCount_) return kFail;
  unsigned char b[kNodeHeaderBytes];
  SFX_TRY(ReadFully(stream_, NodeOffset(index), b, kNodeHeaderBytes));
  h->colour = b[kOffColour];
  h->left = LoadU32(b + kOffLeft);
  h->right = LoadU32(b + kOffRight);
  return kOk;
}

// A node reached through a tree link: it must be red or black and its links
// must name slots, or the stored tree is corrupt.
Result StreamTree::ReadLinkedHeader(std::uint32_t index, NodeHeader* h) {
  SFX_TRY(ReadHeader(index, h));
  if (h->colour > kTreeBlack || (h->left != kTreeNone && h->left >= nodeCount_) ||
      (h->right != kTreeNone && h->right >= nodeCount_))
    return kFail;
  return kOk;
}

Result StreamTree::WriteHeader(std::uint32_t index, const NodeHeader& h) {
  if (index >= nodeCount_) return kFail;
  unsigned char b[kNodeHeaderBytes];
  b[kOffColour] = h.colour;
  StoreU32(b + kOffLeft, h.left);
  StoreU32(b + kOffRight, h.right);
  return WriteFully(stream_, NodeOffset(index), b, kNodeHeaderBytes);
}

Result StreamTree::SetColour(std::uint32_t index, std::uint8_t colour) {
  NodeHeader h;
  SFX_TRY(ReadLinkedHeader(index, &h));
  if (h.colour == colour) return kOk;
  h.colour = colour;
  return WriteHeader(index, h);
}

// side 2 = left, 3 = right; a parent of kTreeNone means the root link.
Result StreamTree::SetChild(std::uint32_t parent, int side, std::uint32_t child) {
  if (parent == kTreeNone) {
    root_ = child;
    return kOk;
  }
  NodeHeader h;
  SFX_TRY(ReadLinkedHeader(parent, &h));
  (side == 2 ? h.left : h.right) = child;
  return WriteHeader(parent, h);
}

Result StreamTree::CompareWith(const void* key, std::uint32_t index) {
  SFX_TRY(EnsureScratch());
  SFX_TRY(ReadFully(stream_, NodeOffset(index) + kNodeHeaderBytes, scratch_, keySize_));
  const Result r = compare_(context_, key, scratch_);
  if (r != 0 && r != 2 && r != 3) return kTreeBadComparison;
  return r;
}

Result StreamTree::Search(const void* key, SearchResult* found) {
  found->parent = kTreeNone;
  found->side = 0;
  std::uint32_t x = root_;
  for (std::uint32_t steps = 0; x != kTreeNone; ++steps) {
    if (steps >= kMaxDepth) return kTreeNotFound;  // cyclic or corrupt links
    NodeHeader h;
    SFX_TRY(ReadLinkedHeader(x, &h));
    const Result c = CompareWith(key, x);
    SFX_TRY(c);
    if (c == 0) {
      found->node = x;
      return kOk;
    }
    found->parent = x;
    found->side = c;
    x = c == 2 ? h.left : h.right;
  }
  return kTreeNotFound;
}

// ---- node allocation ---------------------------------------------------------

Result StreamTree::WriteFreeSlot(std::uint32_t index, std::uint32_t next) {
  SFX_TRY(WriteHeader(index, NodeHeader{kTreeFreeSlot, next, kTreeNone}));
  const std::uint32_t body = keySize_ + valueSize_;
  if (body == 0) return kOk;
  std::uint32_t written = 0;
  SFX_TRY(stream_->WriteRepeated(body, 0, &written));
  return written == body ? kOk : kStreamShortWrite;
}

// Adds 32 slots at the end, all free and chained in ascending order.
Result StreamTree::Grow() {
  const std::uint64_t newCount = std::uint64_t{nodeCount_} + kGrowthSlots;
  const std::uint64_t newSize = headerSize_ + newCount * nodeSize_;
  if (newCount >= kTreeNone || newSize > kMaxStreamBytes) return kFail;
  SFX_TRY(stream_->SetSize(static_cast<std::uint32_t>(newSize)));
  const std::uint32_t first = nodeCount_;
  nodeCount_ = static_cast<std::uint32_t>(newCount);
  for (std::uint32_t i = first; i < nodeCount_; ++i) {
    const Result r = WriteFreeSlot(i, i + 1 < nodeCount_ ? i + 1 : kTreeNone);
    if (Failed(r)) {
      nodeCount_ = first;
      return r;
    }
  }
  freeHead_ = first;
  return kOk;
}

Result StreamTree::AllocateNode(const void* key, const void* value, std::uint32_t* index) {
  if (freeHead_ == kTreeNone) SFX_TRY(Grow());
  // The free list comes from the stream: the head must be a free slot and its
  // successor a slot or the end, or a live node would be handed out twice.
  const std::uint32_t n = freeHead_;
  NodeHeader h;
  SFX_TRY(ReadHeader(n, &h));
  if (h.colour != kTreeFreeSlot || (h.left != kTreeNone && h.left >= nodeCount_)) return kFail;
  SFX_TRY(WriteHeader(n, NodeHeader{kTreeRed, kTreeNone, kTreeNone}));
  freeHead_ = h.left;
  SFX_TRY(WriteFully(stream_, NodeOffset(n) + kNodeHeaderBytes, key, keySize_));
  SFX_TRY(WriteFully(stream_, NodeOffset(n) + kNodeHeaderBytes + keySize_, value, valueSize_));
  *index = n;
  return kOk;
}

// ---- insertion: top-down red-black, splitting 4-nodes on the way down -----------

// Lifts the child of c (c = y's child on the key's side, or the root when y is
// kTreeNone) that lies on the key's side, and hangs it where c was.
Result StreamTree::Rotate(const void* key, std::uint32_t y, std::uint32_t* lifted) {
  Result side = 3;
  std::uint32_t c = root_;
  if (y != kTreeNone) {
    side = CompareWith(key, y);
    SFX_TRY(side);
    if (side == 0) return kTreeBadComparison;
    NodeHeader hy;
    SFX_TRY(ReadLinkedHeader(y, &hy));
    c = side == 2 ? hy.left : hy.right;
  }
  if (c == kTreeNone) return kFail;
  const Result cc = CompareWith(key, c);
  SFX_TRY(cc);
  if (cc == 0) return kTreeBadComparison;
  NodeHeader hc, he;
  SFX_TRY(ReadLinkedHeader(c, &hc));
  const std::uint32_t e = cc == 2 ? hc.left : hc.right;
  if (e == kTreeNone || e == c) return kFail;
  SFX_TRY(ReadLinkedHeader(e, &he));
  if (cc == 2) {
    hc.left = he.right;
    he.right = c;
  } else {
    hc.right = he.left;
    he.left = c;
  }
  SFX_TRY(WriteHeader(c, hc));
  SFX_TRY(WriteHeader(e, he));
  SFX_TRY(SetChild(y, side, e));
  *lifted = e;
  return kOk;
}

// path_[0 .. depth-1] are the ancestors of x from the root down; the node the
// split leaves in x's place is returned with its own depth.
Result StreamTree::Split(const void* key, std::uint32_t x, std::uint32_t depth, std::uint32_t* result,
                         std::uint32_t* newDepth) {
  const std::uint32_t p = depth >= 1 ? path_[depth - 1] : kTreeNone;
  const std::uint32_t g = depth >= 2 ? path_[depth - 2] : kTreeNone;
  const std::uint32_t gg = depth >= 3 ? path_[depth - 3] : kTreeNone;
  NodeHeader hx;
  SFX_TRY(ReadLinkedHeader(x, &hx));
  hx.colour = p == kTreeNone ? kTreeBlack : kTreeRed;
  SFX_TRY(WriteHeader(x, hx));
  if (hx.left != kTreeNone) SFX_TRY(SetColour(hx.left, kTreeBlack));
  if (hx.right != kTreeNone) SFX_TRY(SetColour(hx.right, kTreeBlack));
  *result = x;
  *newDepth = depth;
  if (p == kTreeNone) return kOk;
  NodeHeader hp;
  SFX_TRY(ReadLinkedHeader(p, &hp));
  if (hp.colour != kTreeRed) return kOk;
  if (g == kTreeNone) return kFail;  // a red root: the stored colours are corrupt
  const Result sideOfP = CompareWith(key, p);
  SFX_TRY(sideOfP);
  SFX_TRY(SetColour(g, kTreeRed));
  const Result sideOfG = CompareWith(key, g);
  SFX_TRY(sideOfG);
  if (sideOfP == 0 || sideOfG == 0) return kTreeBadComparison;
  std::uint32_t lifted = kTreeNone;
  if (sideOfP != sideOfG) SFX_TRY(Rotate(key, g, &lifted));
  SFX_TRY(Rotate(key, gg, &lifted));
  SFX_TRY(SetColour(lifted, kTreeBlack));
  // The lifted node now stands where g stood, below gg.
  *result = lifted;
  *newDepth = depth - 2;
  return kOk;
}

Result StreamTree::Insert(const void* key, const void* value, std::uint32_t* node) {
  std::uint32_t depth = 0;
  std::uint32_t x = root_;
  Result side = 0;
  while (x != kTreeNone) {
    if (depth >= kMaxDepth) return kFail;
    NodeHeader h;
    SFX_TRY(ReadLinkedHeader(x, &h));
    if (h.left != kTreeNone && h.right != kTreeNone) {
      NodeHeader hl, hr;
      SFX_TRY(ReadLinkedHeader(h.left, &hl));
      SFX_TRY(ReadLinkedHeader(h.right, &hr));
      if (hl.colour == kTreeRed && hr.colour == kTreeRed) {
        SFX_TRY(Split(key, x, depth, &x, &depth));
        SFX_TRY(ReadLinkedHeader(x, &h));
      }
    }
    side = CompareWith(key, x);
    SFX_TRY(side);
    if (side == 0) {
      if (node) *node = x;
      return kTreeKeyExists;
    }
    path_[depth++] = x;
    x = side == 2 ? h.left : h.right;
  }
  std::uint32_t n = kTreeNone;
  SFX_TRY(AllocateNode(key, value, &n));
  SFX_TRY(SetChild(depth ? path_[depth - 1] : kTreeNone, side, n));
  std::uint32_t ignoredNode = 0, ignoredDepth = 0;
  SFX_TRY(Split(key, n, depth, &ignoredNode, &ignoredDepth));
  if (node) *node = n;
  return kOk;
}

// ---- lookup, removal, direct access ------------------------------------------------

Result StreamTree::Find(const void* key, void* value, std::uint32_t* node) {
  if (root_ == kTreeNone) return kTreeNotFound;
  SearchResult found;
  const Result r = Search(key, &found);
  if (r != kOk) return r;
  if (value) SFX_TRY(ReadFully(stream_, NodeOffset(found.node) + kNodeHeaderBytes + keySize_, value, valueSize_));
  if (node) *node = found.node;
  return kOk;
}

// Plain binary-search-tree deletion: the in-order successor (or the only
// child) takes z's place, coloured black; there is no rebalancing.
Result StreamTree::Remove(const void* key) {
  SearchResult found;
  const Result r = root_ == kTreeNone ? kTreeNotFound : Search(key, &found);
  if (r != kOk) return r;
  const std::uint32_t z = found.node;
  NodeHeader hz;
  SFX_TRY(ReadLinkedHeader(z, &hz));
  std::uint32_t s = kTreeNone;
  if (hz.right != kTreeNone) {
    const std::uint32_t rr = hz.right;
    NodeHeader hr;
    SFX_TRY(ReadLinkedHeader(rr, &hr));
    if (hr.left == kTreeNone) {
      s = rr;
    } else {
      std::uint32_t q = rr;
      s = hr.left;
      NodeHeader hs;
      SFX_TRY(ReadLinkedHeader(s, &hs));
      for (std::uint32_t steps = 0; hs.left != kTreeNone; ++steps) {
        if (steps >= kMaxDepth) return kFail;
        q = s;
        s = hs.left;
        SFX_TRY(ReadLinkedHeader(s, &hs));
      }
      if (s == z || q == z) return kFail;  // a cycle through z
      NodeHeader hq;
      SFX_TRY(ReadLinkedHeader(q, &hq));
      hq.left = hs.right;
      SFX_TRY(WriteHeader(q, hq));
    }
    if (s == z) return kFail;
    NodeHeader hs;
    SFX_TRY(ReadLinkedHeader(s, &hs));
    hs.colour = kTreeBlack;
    hs.left = hz.left;
    if (s != rr) hs.right = rr;
    SFX_TRY(WriteHeader(s, hs));
  } else if (hz.left != kTreeNone) {
    s = hz.left;
    SFX_TRY(SetColour(s, kTreeBlack));
  }
  SFX_TRY(SetChild(found.parent, found.side, s));
  SFX_TRY(WriteFreeSlot(z, freeHead_));
  freeHead_ = z;
  return kOk;
}

Result StreamTree::ReadNode(std::uint32_t index, std::uint8_t* colour, std::uint32_t* left, std::uint32_t* right,
                            void* key, void* value) {
  if (index >= nodeCount_) return kTreeNotFound;
  NodeHeader h;
  SFX_TRY(ReadHeader(index, &h));
  if (colour) *colour = h.colour;
  if (left) *left = h.left;
  if (right) *right = h.right;
  if (key) SFX_TRY(ReadFully(stream_, NodeOffset(index) + kNodeHeaderBytes, key, keySize_));
  if (value) SFX_TRY(ReadFully(stream_, NodeOffset(index) + kNodeHeaderBytes + keySize_, value, valueSize_));
  return kOk;
}

Result StreamTree::WriteValue(const void* key, std::uint32_t index, const void* value) {
  if (key != nullptr) {
    SearchResult found;
    const Result r = root_ == kTreeNone ? kTreeNotFound : Search(key, &found);
    if (r != kOk) return r;
    index = found.node;
  } else if (index >= nodeCount_) {
    return kTreeNotFound;
  }
  return WriteFully(stream_, NodeOffset(index) + kNodeHeaderBytes + keySize_, value, valueSize_);
}

Result StreamTree::Close() {
  unsigned char h[kHeaderBytes] = {};
  StoreU32(h + kOffHeaderSize, headerSize_);
  h[kOffFormatVersion] = static_cast<unsigned char>(kFormatVersion);
  h[kOffFormatVersion + 1] = static_cast<unsigned char>(kFormatVersion >> 8);
  StoreU32(h + kOffKeySize, keySize_);
  StoreU32(h + kOffValueSize, valueSize_);
  StoreU32(h + kOffNodeSize, nodeSize_);
  StoreU32(h + kOffRoot, root_);
  StoreU32(h + kOffFreeHead, freeHead_);
  StoreU32(h + kOffNodeCount, nodeCount_);
  // An opened tree keeps the first eight bytes it was opened with.
  const std::uint32_t from = created_ ? 0 : kRewrittenFrom;
  const Result r = WriteFully(stream_, from, h + from, kHeaderBytes - from);
  if (scratch_) (void)Memory()->Free(scratch_);  // a failure to free changes nothing for the caller
  (void)DeleteInstance(this);
  return Failed(r) ? kTreeHeaderWriteFailed : kOk;
}

}  // namespace sfx
