// Sibling lists: look-up by name, placement of new nodes and unlinking.
//
// Every walk along a list is bounded by the number of records, and every link
// it follows must name a record in use: a tree changed behind the service's
// back (callers write into its memory) then yields kNameTreeInconsistent
// instead of a loop or a read outside the array.
#include <cstring>

#include "platform/collate.h"
#include "services/text/name_tree_p.h"

namespace sfx::detail {

namespace hdr = name_tree_header;
namespace rec = name_tree_node;

std::uint16_t NameTreeInstance::ListHead(std::uint16_t parent) {
  return parent == kNoNode ? Get(hdr::kFirstTopNode) : Link(parent, rec::kFirstChild);
}

void NameTreeInstance::SetListHead(std::uint16_t parent, std::uint16_t first) {
  if (parent == kNoNode) {
    Set(hdr::kFirstTopNode, first);
  } else {
    SetLink(parent, rec::kFirstChild, first);
  }
}

Result NameTreeInstance::FindInList(std::uint16_t parent, const EncodedName& name, std::uint16_t* found) {
  const std::uint32_t limit = capacity();
  const std::uint32_t used = Get(hdr::kNameAreaUsed);
  std::uint32_t steps = 0;
  for (std::uint16_t node = ListHead(parent); node != kNoNode; node = Link(node, rec::kNextSibling)) {
    if (++steps > limit || !IsSoundLink(node)) return kNameTreeInconsistent;
    // Names have one encoding each, so identity is a byte comparison.
    const std::uint32_t offset = Link(node, rec::kNameOffset);
    if (offset + name.size <= used && std::memcmp(state_.nameArea + offset, name.bytes, name.size) == 0) {
      *found = node;
      return kOk;
    }
  }
  return kNameTreeCreated;
}

Result NameTreeInstance::PlaceFor(std::uint16_t parent, const EncodedName& name, std::uint32_t flags,
                                  std::uint16_t skip, std::uint16_t* after) {
  *after = kNoNode;
  if ((flags & (kInsertSorted | kInsertAtEnd)) == 0) return kOk;
  char text[kNameTreeMaxNameLength + 1];
  char other[kNameTreeMaxNameLength + 1];
  const std::uint32_t length = StoredNameAsText(name.bytes, text);
  const std::uint32_t limit = capacity();
  std::uint32_t steps = 0;
  for (std::uint16_t node = ListHead(parent); node != kNoNode; node = Link(node, rec::kNextSibling)) {
    if (++steps > limit || !IsSoundLink(node)) return kNameTreeInconsistent;
    if (node == skip) continue;
    if ((flags & kInsertSorted) != 0) {
      const std::uint32_t otherLength = StoredNameAsText(NameOf(node), other);
      if (platform::CompareTextIgnoringCase(text, length, other, otherLength) < 0) return kOk;
    }
    *after = node;
  }
  return kOk;
}

Result NameTreeInstance::PreviousInList(std::uint16_t index, std::uint16_t* previous) {
  const std::uint16_t parent = Link(index, rec::kParentNode);
  if (!IsSoundLink(parent)) return kNameTreeInconsistent;
  const std::uint32_t limit = capacity();
  std::uint32_t steps = 0;
  std::uint16_t before = kNoNode;
  for (std::uint16_t node = ListHead(parent); node != kNoNode; node = Link(node, rec::kNextSibling)) {
    if (++steps > limit || !IsSoundLink(node)) return kNameTreeInconsistent;
    if (node == index) {
      *previous = before;
      return kOk;
    }
    before = node;
  }
  return kNameTreeInconsistent;
}

void NameTreeInstance::LinkAfter(std::uint16_t parent, std::uint16_t after, std::uint16_t index) {
  SetLink(index, rec::kParentNode, parent);
  if (after == kNoNode) {
    SetLink(index, rec::kNextSibling, ListHead(parent));
    SetListHead(parent, index);
  } else {
    SetLink(index, rec::kNextSibling, Link(after, rec::kNextSibling));
    SetLink(after, rec::kNextSibling, index);
  }
}

Result NameTreeInstance::Unlink(std::uint16_t index) {
  std::uint16_t before = kNoNode;
  SFX_TRY(PreviousInList(index, &before));
  const std::uint16_t next = Link(index, rec::kNextSibling);
  if (before == kNoNode) {
    SetListHead(Link(index, rec::kParentNode), next);
  } else {
    SetLink(before, rec::kNextSibling, next);
  }
  SetLink(index, rec::kNextSibling, kNoNode);
  return kOk;
}

Result NameTreeInstance::NewNode(std::uint16_t parent, const EncodedName& name, std::uint32_t flags,
                                 std::uint16_t* index) {
  // The place is found before anything changes; taking a record and a name
  // moves no link of a node in use, so it stays valid.
  std::uint16_t after = kNoNode;
  SFX_TRY(PlaceFor(parent, name, flags, kNoNode, &after));
  std::uint16_t node = kNoNode;
  SFX_TRY(TakeRecord(&node));
  const Result r = ReplaceName(node, &name);
  if (Failed(r)) {
    ReleaseRecord(node);
    return r;
  }
  LinkAfter(parent, after, node);
  *index = node;
  return kOk;
}

}  // namespace sfx::detail
