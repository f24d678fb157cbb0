// The name tree's storage: creation and destruction, the stored form's
// writer, the records' free list and the packed name area.
#include <algorithm>
#include <cstring>

#include "services/core/memory_service.h"
#include "services/core/registry_p.h"
#include "services/text/name_tree_p.h"

namespace sfx {

namespace {
NameTreeService g_nameTreeService;
}  // namespace

ServiceObject* detail::TheNameTreeService() { return &g_nameTreeService; }

using detail::NameTreeInstance;
namespace hdr = name_tree_header;
namespace rec = name_tree_node;

// ---------------------------------------------------------------------------
// Service operations
// ---------------------------------------------------------------------------

Result NameTreeService::CreateNameTree(std::uint32_t userHeaderBytes, std::uint32_t userNodeBytes, NameTree** tree) {
  if (tree == nullptr) return kNullOutput;
  if ((userHeaderBytes & 1) != 0 || (userNodeBytes & 1) != 0 || userHeaderBytes > kNameTreeMaxUserHeaderBytes ||
      userNodeBytes > kNameTreeMaxUserNodeBytes) {
    return kNameTreeBadSizes;
  }
  NameTreeInstance* instance = nullptr;
  if (Failed(NewInstance(&instance))) return kOutOfMemory;
  instance->InitEmpty(userHeaderBytes, userNodeBytes);
  *tree = instance;
  return kOk;
}

Result NameTreeService::LoadNameTree(Stream* stream, std::uint32_t position, std::uint32_t length, NameTree** tree) {
  if (stream == nullptr || tree == nullptr) return kNullOutput;
  NameTreeInstance* instance = nullptr;
  if (Failed(NewInstance(&instance))) return kOutOfMemory;
  Result r = instance->ReadStoredForm(stream, position, length);
  if (Succeeded(r)) r = instance->CheckStructure();
  if (Failed(r)) {
    (void)instance->DestroyNameTree();  // always 0
    return r;
  }
  *tree = instance;
  return kOk;
}

Result NameTreeService::FreeNameTreeBlock(void* block) {
  // A block this tree handed out; a failure to free it is not the caller's to act on.
  if (block != nullptr) (void)Memory()->Free(block);
  return kOk;
}

Result NameTreeService::SortNodeIndexList(std::uint16_t* list) {
  if (list == nullptr || list[0] <= 1) return kOk;
  std::sort(list + 1, list + 1 + list[0]);
  return kOk;
}

// ---------------------------------------------------------------------------
// Whole-tree operations
// ---------------------------------------------------------------------------

namespace detail {

void NameTreeInstance::InitEmpty(std::uint32_t userHeaderBytes, std::uint32_t userNodeBytes) {
  state_.header[hdr::kHeaderBytes] = static_cast<std::uint8_t>(hdr::kSize + userHeaderBytes);
  state_.header[hdr::kNodeBytes] = static_cast<std::uint8_t>(rec::kSize + userNodeBytes);
  state_.header[hdr::kUserHeaderBytes] = static_cast<std::uint8_t>(userHeaderBytes);
  state_.header[hdr::kUserNodeBytes] = static_cast<std::uint8_t>(userNodeBytes);
  Set(hdr::kFirstTopNode, kNoNode);
  Set(hdr::kFirstFreeNode, kNoNode);
}

Result NameTreeInstance::DestroyNameTree() {
  (void)ClearNameTree();       // always 0
  (void)DeleteInstance(this);  // the instance's own free is not reported
  return kOk;
}

Result NameTreeInstance::ClearNameTree() {
  if (state_.nameArea != nullptr) (void)Memory()->Free(state_.nameArea);  // nothing to undo on failure
  if (state_.nodeArray != nullptr) (void)Memory()->Free(state_.nodeArray);
  state_.nameArea = nullptr;
  state_.nodeArray = nullptr;
  Set(hdr::kFirstTopNode, kNoNode);
  Set(hdr::kFirstFreeNode, kNoNode);
  Set(hdr::kNodeCapacity, 0);
  Set(hdr::kUsedNodes, 0);
  Set(hdr::kNameAreaSize, 0);
  Set(hdr::kNameAreaUsed, 0);
  return kOk;
}

namespace {

Result WriteAll(Stream* stream, std::uint32_t position, const void* data, std::uint32_t count) {
  if (count == 0) return kOk;
  std::uint32_t done = 0;
  SFX_TRY(stream->WriteAt(position, data, count, &done));
  return done == count ? kOk : kStreamShortWrite;
}

}  // namespace

Result NameTreeInstance::SaveNameTree(Stream* stream, std::uint32_t position, std::uint32_t* size) {
  if (stream == nullptr) return kNullOutput;
  const std::uint32_t headerBytes = state_.header[hdr::kHeaderBytes];
  const std::uint32_t nodesSize = nodeBytes() * capacity();
  const std::uint32_t namesSize = Get(hdr::kNameAreaSize);
  // Section count, then the sizes of the two sections.
  std::uint8_t prefix[10];
  StoreU16(prefix, 2);
  const std::uint32_t section1 = headerBytes + nodesSize;
  for (int i = 0; i < 4; ++i) {
    prefix[2 + i] = static_cast<std::uint8_t>(section1 >> (8 * i));
    prefix[6 + i] = static_cast<std::uint8_t>(namesSize >> (8 * i));
  }
  SFX_TRY(WriteAll(stream, position, prefix, sizeof prefix));
  SFX_TRY(WriteAll(stream, position + 10, state_.header, headerBytes));
  SFX_TRY(WriteAll(stream, position + 10 + headerBytes, state_.nodeArray, nodesSize));
  SFX_TRY(WriteAll(stream, position + 10 + section1, state_.nameArea, namesSize));
  if (size != nullptr) *size = 10 + section1 + namesSize;
  return kOk;
}

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

Result NameTreeInstance::CheckNode(std::uint32_t index) {
  if (index >= capacity()) return kNameTreeBadIndex;
  return IsFree(index) ? kNameTreeFreeNode : kOk;
}

Result NameTreeInstance::TakeRecord(std::uint16_t* index) {
  if (Get(hdr::kFirstFreeNode) == kNoNode) {
    const std::uint32_t old = capacity();
    if (old >= kNodeCapacityLimit) return kNameTreeNoMoreNodes;
    // Under memory pressure the step halves rather than failing at once.
    std::uint32_t step = kNodeGrowthStep;
    for (;;) {
      void* block = state_.nodeArray;
      const std::uint32_t bytes = (old + step) * nodeBytes();
      const Result r = block == nullptr ? Memory()->Allocate(bytes, &block) : Memory()->Reallocate(bytes, &block);
      if (Succeeded(r)) {
        state_.nodeArray = static_cast<std::uint8_t*>(block);
        break;
      }
      if (step == 1) return r;
      step /= 2;
    }
    std::memset(Record(old), 0, step * nodeBytes());
    for (std::uint32_t i = old; i < old + step; ++i) {
      SetLink(i, rec::kNameOffset, kNoNode);
      SetLink(i, rec::kNextSibling, i + 1 < old + step ? i + 1 : kNoNode);
    }
    Set(hdr::kFirstFreeNode, old);
    Set(hdr::kNodeCapacity, old + step);
  }
  const std::uint16_t taken = Get(hdr::kFirstFreeNode);
  if (taken >= capacity() || !IsFree(taken)) return kNameTreeInconsistent;
  Set(hdr::kFirstFreeNode, Link(taken, rec::kNextSibling));
  Set(hdr::kUsedNodes, Get(hdr::kUsedNodes) + 1);
  // Taken records start clean whatever the free record held; the name is
  // placed by the caller, until then the record has none.
  std::memset(Record(taken), 0, nodeBytes());
  SetLink(taken, rec::kNameOffset, kNoNode);
  SetLink(taken, rec::kParentNode, kNoNode);
  SetLink(taken, rec::kNextSibling, kNoNode);
  SetLink(taken, rec::kFirstChild, kNoNode);
  *index = taken;
  return kOk;
}

void NameTreeInstance::ReleaseRecord(std::uint16_t index) {
  // Removing a name only shrinks the area, which cannot fail.
  (void)ReplaceName(index, nullptr);
  std::memset(Record(index), 0, nodeBytes());
  SetLink(index, rec::kNameOffset, kNoNode);
  SetLink(index, rec::kNextSibling, Get(hdr::kFirstFreeNode));
  Set(hdr::kFirstFreeNode, index);
  Set(hdr::kUsedNodes, Get(hdr::kUsedNodes) - 1);
}

// ---------------------------------------------------------------------------
// Name area
// ---------------------------------------------------------------------------

Result NameTreeInstance::GrowNameArea(std::uint32_t shortfall) {
  const std::uint32_t size = Get(hdr::kNameAreaSize);
  if (size >= kNameAreaLimit || size + shortfall > kNameAreaMaxSize) return kNameTreeNameAreaFull;
  // Grow by a whole step, or by what is missing when that is more; offsets
  // are u16, so the area never passes 65535 bytes.
  std::uint32_t step = std::min(std::max(shortfall, kNameAreaGrowthStep), kNameAreaMaxSize - size);
  void* block = state_.nameArea;
  Result r = block == nullptr ? Memory()->Allocate(size + step, &block) : Memory()->Reallocate(size + step, &block);
  if (Failed(r) && step != shortfall) {
    step = shortfall;
    r = block == nullptr ? Memory()->Allocate(size + step, &block) : Memory()->Reallocate(size + step, &block);
  }
  SFX_TRY(r);
  state_.nameArea = static_cast<std::uint8_t*>(block);
  std::memset(state_.nameArea + size, 0, step);
  Set(hdr::kNameAreaSize, size + step);
  return kOk;
}

Result NameTreeInstance::ReplaceName(std::uint16_t index, const EncodedName* name) {
  const std::uint32_t used = Get(hdr::kNameAreaUsed);
  const std::uint32_t newSize = name != nullptr ? name->size : 0;
  std::uint32_t offset = Link(index, rec::kNameOffset);
  std::uint32_t oldSize = 0;
  if (offset < used) {
    oldSize = StoredNameSize(state_.nameArea + offset);
    if (offset + oldSize > used) return kNameTreeInconsistent;
  } else {
    // A record without a name yet: its name goes at the end of the packed names.
    if (name == nullptr) return kOk;
    offset = used;
  }
  if (newSize > oldSize) {
    const std::uint32_t free = Get(hdr::kNameAreaSize) - used;
    if (free < newSize - oldSize) SFX_TRY(GrowNameArea(newSize - oldSize - free));
  }
  std::uint8_t* area = state_.nameArea;
  const std::uint32_t tail = offset + oldSize;
  if (newSize != oldSize) {
    const std::uint32_t newUsed = used + newSize - oldSize;
    std::memmove(area + offset + newSize, area + tail, used - tail);
    // The bytes a shorter area leaves behind are cleared so that nothing
    // deleted survives in a saved tree.
    if (newUsed < used) std::memset(area + newUsed, 0, used - newUsed);
    // Only names after the old one move; a name at the end moves none.
    const std::uint32_t count = tail < used ? capacity() : 0;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t at = Link(i, rec::kNameOffset);
      if (at > offset && at < used) SetLink(i, rec::kNameOffset, at + newSize - oldSize);
    }
    Set(hdr::kNameAreaUsed, newUsed);
  }
  if (name != nullptr) {
    std::memcpy(area + offset, name->bytes, newSize);
    SetLink(index, rec::kNameOffset, offset);
  }
  return kOk;
}

}  // namespace detail
}  // namespace sfx
