// Reading operations: listing, related nodes, ancestry and path texts.
#include "services/core/memory_service.h"
#include "services/text/name_tree_p.h"

namespace sfx::detail {

namespace hdr = name_tree_header;
namespace rec = name_tree_node;

Result NameTreeInstance::ListNameTree(std::uint16_t start, std::uint32_t depthLimit, std::uint16_t* count,
                                      NodeListItem** items) {
  if (count == nullptr || items == nullptr) return kNullOutput;
  const std::uint32_t room = Get(hdr::kUsedNodes);
  if (room == 0) {
    *count = 0;
    *items = nullptr;
    return kOk;
  }
  if (start >= capacity()) {
    start = Get(hdr::kFirstTopNode);
  } else {
    SFX_TRY(CheckNode(start));
  }
  void* block = nullptr;
  SFX_TRY(Memory()->Allocate(room * static_cast<std::uint32_t>(sizeof(NodeListItem)), &block));
  auto* list = static_cast<NodeListItem*>(block);
  // Depth-first along the lists; the depth counter allows exactly as many
  // climbs as descents, and every step appends an item, so the room bounds
  // the walk.
  std::uint32_t found = 0;
  std::uint32_t depth = 0;
  std::uint16_t node = start;
  Result r = kOk;
  while (node != kNoNode) {
    if (!IsSoundLink(node)) {
      r = kNameTreeInconsistent;
      break;
    }
    if (found == room) {
      r = kNameTreeListOverflow;
      break;
    }
    list[found++] = NodeListItem{node, static_cast<std::uint16_t>(depth), NameOf(node)};
    const std::uint16_t child = Link(node, rec::kFirstChild);
    if (depth < depthLimit && child != kNoNode) {
      ++depth;
      node = child;
      continue;
    }
    while (depth > 0 && Link(node, rec::kNextSibling) == kNoNode) {
      node = Link(node, rec::kParentNode);
      --depth;
      if (!IsSoundLink(node) || node == kNoNode) {
        r = kNameTreeInconsistent;
        break;
      }
    }
    if (Failed(r)) break;
    node = Link(node, rec::kNextSibling);
  }
  if (Failed(r)) {
    (void)Memory()->Free(block);  // the failure reported is the walk's
    return r;
  }
  if (found == 0) {
    // Only a damaged header gets here: nodes in use but no top level.
    (void)Memory()->Free(block);  // nothing was handed out
    block = nullptr;
  } else if (found < room) {
    // Shrinking cannot fail in a way that matters: the larger block stays valid.
    (void)Memory()->Reallocate(found * static_cast<std::uint32_t>(sizeof(NodeListItem)), &block);
  }
  *count = static_cast<std::uint16_t>(found);
  *items = static_cast<NodeListItem*>(block);
  return kOk;
}

Result NameTreeInstance::GetRelatedNode(std::uint16_t node, std::uint32_t relation, std::uint16_t* related) {
  if (related == nullptr) return kNullOutput;
  if (relation > kRelatedPreviousSibling) return kNameTreeUnknownRelation;
  if (node >= capacity()) {
    *related = relation == kRelatedFirstChild ? Get(hdr::kFirstTopNode) : kNoNode;
    return kOk;
  }
  SFX_TRY(CheckNode(node));
  switch (relation) {
    case kRelatedParent: *related = Link(node, rec::kParentNode); return kOk;
    case kRelatedFirstChild: *related = Link(node, rec::kFirstChild); return kOk;
    default: return PreviousInList(node, related);
  }
}

Result NameTreeInstance::IsAncestorNode(std::uint16_t candidate, std::uint16_t node, std::uint32_t parentOnly) {
  SFX_TRY(CheckNode(node));
  std::uint16_t up = Link(node, rec::kParentNode);
  if (parentOnly != 0) return up == candidate ? kOk : kNameTreeNotAncestor;
  if (candidate == kNoNode) return kOk;
  const std::uint32_t limit = capacity();
  for (std::uint32_t steps = 0; up != kNoNode; up = Link(up, rec::kParentNode)) {
    if (up == candidate) return kOk;
    if (++steps > limit || up >= limit) return kNameTreeInconsistent;
    if (IsFree(up)) return kNameTreeBadPath;
  }
  return kNameTreeNotAncestor;
}

namespace {

// The chain from a node up to its top-level ancestor, at most 32 nodes.
Result CollectChain(NameTreeInstance* tree, std::uint16_t node, std::uint16_t* chain, std::uint32_t* length) {
  std::uint32_t n = 0;
  for (std::uint16_t up = node; up != kNoNode; up = tree->Link(up, rec::kParentNode)) {
    if (n == kMaxPathLevels || up >= tree->capacity()) return kNameTreeInconsistent;
    if (tree->IsFree(up)) return kNameTreeBadPath;
    chain[n++] = up;
  }
  *length = n;
  return kOk;
}

}  // namespace

Result NameTreeInstance::GetNodePath(std::uint16_t node, char* buffer, char16_t* buffer16, std::uint16_t* length) {
  SFX_TRY(CheckNode(node));
  std::uint16_t chain[kMaxPathLevels];
  std::uint32_t levels = 0;
  SFX_TRY(CollectChain(this, node, chain, &levels));
  std::uint32_t needed = 1;
  for (std::uint32_t i = 0; i < levels; ++i) needed += NameOf(chain[i])[0] + 1u;
  if (buffer == nullptr && buffer16 == nullptr) {
    if (length != nullptr) *length = static_cast<std::uint16_t>(needed);
    return kOk;
  }
  if (length != nullptr && *length < needed) {
    *length = static_cast<std::uint16_t>(needed);
    return kNameTreeBufferTooSmall;
  }
  std::uint32_t at = 0;
  for (std::uint32_t i = levels; i-- > 0;) {
    const std::uint8_t* name = NameOf(chain[i]);
    if (buffer != nullptr) {
      buffer[at++] = '/';
      at += StoredNameAsText(name, buffer + at);
    } else {
      buffer16[at++] = u'/';
      (void)DecodeStoredName(name, nullptr, buffer16 + at);  // always 0
      at += name[0];
    }
  }
  if (buffer != nullptr) {
    buffer[at] = 0;
  } else {
    buffer16[at] = 0;
  }
  if (length != nullptr) *length = static_cast<std::uint16_t>(needed);
  return kOk;
}

Result NameTreeInstance::GetNodeAncestors(std::uint16_t node, std::uint16_t* ancestors, std::uint16_t* count) {
  SFX_TRY(CheckNode(node));
  const std::uint32_t limit = capacity();
  std::uint32_t n = 0;
  for (std::uint16_t up = Link(node, rec::kParentNode); up != kNoNode; up = Link(up, rec::kParentNode)) {
    if (n == limit || up >= limit) return kNameTreeInconsistent;
    if (IsFree(up)) return kNameTreeBadPath;
    ++n;
  }
  if (ancestors != nullptr && count != nullptr) {
    const std::uint32_t room = *count;
    *count = static_cast<std::uint16_t>(n);
    if (room < n) return kNameTreeBufferTooSmall;
  } else if (count != nullptr) {
    *count = static_cast<std::uint16_t>(n);
  }
  if (ancestors != nullptr) {
    std::uint32_t i = n;
    for (std::uint16_t up = Link(node, rec::kParentNode); up != kNoNode; up = Link(up, rec::kParentNode))
      ancestors[--i] = up;
  }
  return kOk;
}

}  // namespace sfx::detail
