// Loading a stored tree. The stored form comes from outside and is hostile:
// its sizes are checked before anything is read into memory, and the records
// and names are checked as a whole before the tree is handed out, so that no
// later operation meets an out-of-range link, a cycle, a shared record or a
// name that runs past the area.
//
// Stored form, little-endian:
//   u16 N >= 2 section sizes, N u32 sizes, then the sections in order:
//   1: header (headerBytes) and nodeCapacity records (nodeBytes each)
//   2: the name area (nameAreaSize bytes)
// Sections beyond the second are ignored, so later writers may append some.
#include <algorithm>
#include <cstring>

#include "services/core/memory_service.h"
#include "services/text/name_tree_p.h"

namespace sfx::detail {

namespace hdr = name_tree_header;
namespace rec = name_tree_node;

namespace {

constexpr std::uint32_t kSectionCountBytes = 2;
constexpr std::uint32_t kSectionSizeBytes = 4;

std::uint32_t LoadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Reads exactly count bytes at a position that must lie in the 32-bit range;
// a short read means the stored form is cut off.
Result ReadAll(Stream* stream, std::uint64_t position, void* buffer, std::uint32_t count) {
  if (count == 0) return kOk;
  if (position + count > 0xFFFFFFFFull) return kNameTreeInconsistent;
  std::uint32_t done = 0;
  SFX_TRY(stream->ReadAt(static_cast<std::uint32_t>(position), buffer, count, &done));
  return done == count ? kOk : kNameTreeInconsistent;
}

Result AllocateAndRead(Stream* stream, std::uint64_t position, std::uint32_t count, std::uint8_t** block) {
  void* p = nullptr;
  SFX_TRY(Memory()->Allocate(count, &p));
  *block = static_cast<std::uint8_t*>(p);
  return ReadAll(stream, position, p, count);
}

bool AllZero(const std::uint8_t* p, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i)
    if (p[i] != 0) return false;
  return true;
}

}  // namespace

Result NameTreeInstance::ReadStoredForm(Stream* stream, std::uint32_t position, std::uint32_t length) {
  std::uint64_t remaining = length;
  if (length == 0xFFFFFFFFu) {
    std::uint32_t size = 0;
    SFX_TRY(stream->GetSize(&size));
    if (size <= position) return kNameTreeInconsistent;
    remaining = size - position;
  }
  if (remaining < kSectionCountBytes) return kNameTreeInconsistent;
  std::uint8_t count[2];
  SFX_TRY(ReadAll(stream, position, count, sizeof count));
  const std::uint32_t sections = LoadU16(count);
  remaining -= kSectionCountBytes;
  if (sections < 2 || std::uint64_t{kSectionSizeBytes} * sections > remaining) return kNameTreeInconsistent;
  std::uint8_t sizes[8];
  SFX_TRY(ReadAll(stream, std::uint64_t{position} + kSectionCountBytes, sizes, sizeof sizes));
  const std::uint32_t section1 = LoadU32(sizes);
  const std::uint32_t section2 = LoadU32(sizes + 4);
  remaining -= std::uint64_t{kSectionSizeBytes} * sections;
  const std::uint64_t start1 = std::uint64_t{position} + kSectionCountBytes + kSectionSizeBytes * sections;
  if (section1 > remaining || section1 < hdr::kSize) return kNameTreeInconsistent;

  SFX_TRY(ReadAll(stream, start1, state_.header, hdr::kSize));
  const std::uint32_t headerBytes = state_.header[hdr::kHeaderBytes];
  const std::uint32_t userHeaderBytes = state_.header[hdr::kUserHeaderBytes];
  const std::uint32_t userNodeBytes = state_.header[hdr::kUserNodeBytes];
  const std::uint32_t nodes = capacity();
  const std::uint64_t nodesSize = std::uint64_t{nodeBytes()} * nodes;
  if (headerBytes < hdr::kSize || headerBytes - hdr::kSize < userHeaderBytes || nodeBytes() < rec::kSize ||
      nodeBytes() - rec::kSize < userNodeBytes || (userNodeBytes & 1) != 0 || nodes > kMaxNodeCapacity ||
      headerBytes + nodesSize > section1) {
    return kNameTreeInconsistent;
  }
  if (headerBytes > hdr::kSize) SFX_TRY(ReadAll(stream, start1, state_.header, headerBytes));
  if (nodes != 0) {
    SFX_TRY(AllocateAndRead(stream, start1 + headerBytes, static_cast<std::uint32_t>(nodesSize), &state_.nodeArray));
  }
  const std::uint64_t start2 = start1 + section1;
  const std::uint32_t areaSize = Get(hdr::kNameAreaSize);
  if (section2 > remaining - section1 || section2 < areaSize) return kNameTreeInconsistent;
  if (areaSize != 0) SFX_TRY(AllocateAndRead(stream, start2, areaSize, &state_.nameArea));
  return kOk;
}

Result NameTreeInstance::CheckStructure() {
  const std::uint32_t nodes = capacity();
  const std::uint32_t areaSize = Get(hdr::kNameAreaSize);
  const std::uint32_t areaUsed = Get(hdr::kNameAreaUsed);
  const std::uint32_t usedNodes = Get(hdr::kUsedNodes);
  const std::uint16_t firstTop = Get(hdr::kFirstTopNode);
  const std::uint16_t firstFree = Get(hdr::kFirstFreeNode);
  if (areaUsed > areaSize || usedNodes > nodes) return kNameTreeInconsistent;
  if ((firstTop != kNoNode && firstTop >= nodes) || (firstFree != kNoNode && firstFree >= nodes))
    return kNameTreeInconsistent;

  // Every record on its own: free ones hold nothing but their free-list link,
  // links point at records, names are well formed and lie in the used area.
  std::uint32_t inUse = 0;
  for (std::uint32_t i = 0; i < nodes; ++i) {
    const std::uint8_t* r = Record(i);
    const std::uint16_t next = LoadU16(r + rec::kNextSibling);
    if (next != kNoNode && next >= nodes) return kNameTreeInconsistent;
    if (IsFree(i)) {
      if (!AllZero(r + rec::kParentNode, 2) || !AllZero(r + rec::kFirstChild, nodeBytes() - rec::kFirstChild))
        return kNameTreeInconsistent;
      continue;
    }
    ++inUse;
    const std::uint16_t parent = LoadU16(r + rec::kParentNode);
    const std::uint16_t child = LoadU16(r + rec::kFirstChild);
    if ((parent != kNoNode && parent >= nodes) || (child != kNoNode && child >= nodes)) return kNameTreeInconsistent;
    const std::uint32_t offset = LoadU16(r + rec::kNameOffset);
    if (offset >= areaUsed || CheckedStoredNameSize(state_.nameArea + offset, areaUsed - offset) == 0)
      return kNameTreeInconsistent;
  }
  if (inUse != usedNodes) return kNameTreeInconsistent;

  // Names are packed from offset 0 without gaps, one per record in use.
  if (inUse != 0) {
    void* block = nullptr;
    SFX_TRY(Memory()->Allocate(inUse * 2, &block));
    auto* offsets = static_cast<std::uint16_t*>(block);
    std::uint32_t k = 0;
    for (std::uint32_t i = 0; i < nodes; ++i)
      if (!IsFree(i)) offsets[k++] = Link(i, rec::kNameOffset);
    std::sort(offsets, offsets + inUse);
    std::uint32_t expected = 0;
    bool packed = true;
    for (std::uint32_t j = 0; j < inUse && packed; ++j) {
      packed = offsets[j] == expected;
      expected += StoredNameSize(state_.nameArea + offsets[j]);
    }
    (void)Memory()->Free(block);  // a scratch block; nothing depends on its release
    if (!packed || expected != areaUsed) return kNameTreeInconsistent;
  } else if (areaUsed != 0) {
    return kNameTreeInconsistent;
  }

  // The free list holds every free record exactly once (no cycle: it may not
  // take more steps than there are free records).
  std::uint32_t steps = 0;
  for (std::uint16_t i = firstFree; i != kNoNode; i = Link(i, rec::kNextSibling)) {
    if (!IsFree(i) || ++steps > nodes - inUse) return kNameTreeInconsistent;
  }
  if (steps != nodes - inUse) return kNameTreeInconsistent;

  // The records in use form one forest reachable from the top level: each is
  // met once, in the list of its own parent. The walk climbs back through the
  // parent links it has just checked, so it needs no stack.
  std::uint8_t seen[kMaxNodeCapacity] = {};
  std::uint32_t met = 0;
  std::uint16_t expectedParent = kNoNode;
  std::uint16_t node = firstTop;
  while (node != kNoNode) {
    if (IsFree(node) || seen[node] || Link(node, rec::kParentNode) != expectedParent) return kNameTreeInconsistent;
    seen[node] = 1;
    ++met;
    const std::uint16_t child = Link(node, rec::kFirstChild);
    if (child != kNoNode) {
      expectedParent = node;
      node = child;
      continue;
    }
    while (node != kNoNode && Link(node, rec::kNextSibling) == kNoNode) {
      node = Link(node, rec::kParentNode);
      if (node != kNoNode) expectedParent = Link(node, rec::kParentNode);
    }
    if (node != kNoNode) node = Link(node, rec::kNextSibling);
  }
  if (met != inUse) return kNameTreeInconsistent;

  // Bytes after the names are free space; what an older writer left there is
  // dropped so that it does not travel on in later saves.
  if (areaSize > areaUsed) std::memset(state_.nameArea + areaUsed, 0, areaSize - areaUsed);
  return kOk;
}

}  // namespace sfx::detail
