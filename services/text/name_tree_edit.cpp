// Operations that change the tree: paths, insertion, renaming, use counts
// and removal.
#include "services/core/memory_service.h"
#include "services/text/name_tree_p.h"

namespace sfx::detail {

namespace hdr = name_tree_header;
namespace rec = name_tree_node;

namespace {

// A path's characters, 8-bit or 16-bit, and the walk over its components.
struct PathReader {
  const char* text;
  const char16_t* text16;
  std::uint32_t length;
  std::uint32_t at = 0;

  char16_t At(std::uint32_t i) const {
    return text != nullptr ? static_cast<char16_t>(static_cast<unsigned char>(text[i])) : text16[i];
  }
  // The next non-empty component: its start and length. False at the end.
  // A component is looked for at most 255 characters ahead; the separator,
  // or the character at that limit, is passed over.
  bool Next(std::uint32_t* start, std::uint32_t* count) {
    while (at < length && At(at) == u'/') ++at;
    if (at >= length) return false;
    *start = at;
    std::uint32_t n = 0;
    while (n < kComponentLookAhead && at + n < length && At(at + n) != u'/') ++n;
    at += n + 1;
    *count = n;
    return true;
  }
};

}  // namespace

Result NameTreeInstance::FindNamePath(const char* path, const char16_t* path16, std::uint32_t length,
                                      std::uint32_t create, std::uint32_t flags, std::uint16_t* node) {
  if (path == nullptr && path16 == nullptr) return kNameTreeBadPath;
  PathReader reader{path, path16, length};
  if (length == 0) {
    while (reader.At(reader.length) != 0) ++reader.length;
    if (reader.length == 0) return kNameTreeBadPath;
  }
  // Before creating, the whole path is checked, so that a path that is too
  // deep or has a name that is too long fails without leaving nodes behind.
  // A plain look-up checks as it goes: a missing name may end it first.
  std::uint32_t start = 0, count = 0;
  if (create != 0) {
    PathReader scan = reader;
    for (std::uint32_t names = 0;; ++names) {
      if (names > kMaxPathNames) return kNameTreeBadPath;
      if (!scan.Next(&start, &count)) break;
      if (count > kNameTreeMaxNameLength) return kNameTreeNameTooLong;
    }
  }
  std::uint16_t current = kNoNode;
  bool created = false;
  EncodedName name;
  for (std::uint32_t depth = 0;; ++depth) {
    if (depth > kMaxPathNames) return kNameTreeBadPath;
    if (!reader.Next(&start, &count)) break;
    SFX_TRY(
        EncodeName(path != nullptr ? path + start : nullptr, path != nullptr ? nullptr : path16 + start, count, &name));
    std::uint16_t found = kNoNode;
    const Result r = created ? kNameTreeCreated : FindInList(current, name, &found);
    SFX_TRY(r);
    if (r == kOk) {
      current = found;
      continue;
    }
    if (create == 0) return kNameTreeCreated;
    SFX_TRY(NewNode(current, name, flags, &found));
    current = found;
    created = true;
  }
  if (node != nullptr) *node = current;
  return created ? kNameTreeCreated : kOk;
}

Result NameTreeInstance::InsertNamedNode(const char* text, const char16_t* text16, std::uint16_t reference,
                                         std::uint32_t flags, std::uint16_t* node) {
  EncodedName name;
  SFX_TRY(EncodeName(text, text16, 0, &name));
  std::uint16_t parent = kNoNode;
  if (reference != kNoNode) {
    SFX_TRY(CheckNode(reference));
    parent = (flags & kInsertAsChild) != 0 ? reference : Link(reference, rec::kParentNode);
    if (!IsSoundLink(parent)) return kNameTreeInconsistent;
  }
  std::uint16_t found = kNoNode;
  const Result r = FindInList(parent, name, &found);
  SFX_TRY(r);
  if (r == kOk) return kNameTreeNameExists;
  SFX_TRY(NewNode(parent, name, flags, &found));
  if (node != nullptr) *node = found;
  return kOk;
}

Result NameTreeInstance::RenameNode(std::uint16_t node, const char* text, const char16_t* text16, std::uint32_t resort,
                                    std::uint16_t* clash) {
  if (node >= capacity()) return kNameTreeBadIndex;
  EncodedName name;
  SFX_TRY(EncodeName(text, text16, 0, &name));
  SFX_TRY(CheckNode(node));
  const std::uint16_t parent = Link(node, rec::kParentNode);
  if (!IsSoundLink(parent)) return kNameTreeInconsistent;
  std::uint16_t found = kNoNode;
  const Result r = FindInList(parent, name, &found);
  SFX_TRY(r);
  if (r == kOk) {
    if (found == node) return kOk;
    if (clash != nullptr) *clash = found;
    return kNameTreeNameExists;
  }
  std::uint16_t after = kNoNode;
  if (resort != 0) SFX_TRY(PlaceFor(parent, name, kInsertSorted, node, &after));
  SFX_TRY(ReplaceName(node, &name));
  if (resort != 0) {
    SFX_TRY(Unlink(node));  // the list was walked whole above, so this finds the node
    LinkAfter(parent, after, node);
  }
  return kOk;
}

Result NameTreeInstance::AddNodeUses(std::uint16_t node, std::int16_t change) {
  if (node >= capacity()) return (node & 0x8000) != 0 ? kOk : kNameTreeBadIndex;
  SFX_TRY(CheckNode(node));
  const std::int32_t sum = Link(node, rec::kUseCount) + change;
  if (sum < 0 || sum > 0xFFFF) return kNameTreeUseCountRange;
  SetLink(node, rec::kUseCount, static_cast<std::uint32_t>(sum));
  // A leaf without uses goes, and so does each ancestor it leaves childless
  // and unused. Each round releases a record, so the rounds are bounded.
  while (Link(node, rec::kUseCount) == 0 && Link(node, rec::kFirstChild) == kNoNode) {
    const std::uint16_t parent = Link(node, rec::kParentNode);
    if (!IsSoundLink(parent)) return kNameTreeInconsistent;
    SFX_TRY(Unlink(node));
    ReleaseRecord(node);
    if (parent == kNoNode) break;
    node = parent;
  }
  return kOk;
}

namespace {

// Visits the descendants of `top` depth-first (each node, its children, then
// its next sibling). Every node met must name its list's owner as parent, so
// the climb back up retraces the way down; the step bound stops any walk
// over damaged links.
template <class Visit>
Result WalkDescendants(NameTreeInstance* tree, std::uint16_t top, Visit visit) {
  const std::uint32_t limit = 2 * tree->capacity();
  std::uint32_t steps = 0;
  std::uint16_t expected = top;
  std::uint16_t node = tree->Link(top, rec::kFirstChild);
  while (node != kNoNode) {
    if (++steps > limit || !tree->IsSoundLink(node) || tree->Link(node, rec::kParentNode) != expected)
      return kNameTreeInconsistent;
    visit(node);
    const std::uint16_t child = tree->Link(node, rec::kFirstChild);
    if (child != kNoNode) {
      expected = node;
      node = child;
      continue;
    }
    while (node != top && tree->Link(node, rec::kNextSibling) == kNoNode) {
      if (++steps > limit) return kNameTreeInconsistent;
      node = tree->Link(node, rec::kParentNode);
      expected = node == top ? top : tree->Link(node, rec::kParentNode);
    }
    node = node == top ? kNoNode : tree->Link(node, rec::kNextSibling);
  }
  return kOk;
}

}  // namespace

Result NameTreeInstance::RemoveNamedNode(std::uint16_t node, std::uint16_t** removed) {
  SFX_TRY(CheckNode(node));
  const std::uint16_t parent = Link(node, rec::kParentNode);
  if (!IsSoundLink(parent)) return kNameTreeInconsistent;
  if (removed == nullptr) {
    // The children take the node's place, in their order.
    std::uint16_t before = kNoNode;
    SFX_TRY(PreviousInList(node, &before));
    const std::uint16_t first = Link(node, rec::kFirstChild);
    std::uint16_t last = kNoNode;
    const std::uint32_t limit = capacity();
    std::uint32_t steps = 0;
    for (std::uint16_t c = first; c != kNoNode; c = Link(c, rec::kNextSibling)) {
      if (++steps > limit || !IsSoundLink(c)) return kNameTreeInconsistent;
      last = c;
    }
    if (last == kNoNode) {
      SFX_TRY(Unlink(node));
    } else {
      for (std::uint16_t c = first; c != kNoNode; c = Link(c, rec::kNextSibling)) SetLink(c, rec::kParentNode, parent);
      SetLink(last, rec::kNextSibling, Link(node, rec::kNextSibling));
      if (before == kNoNode) {
        SetListHead(parent, first);
      } else {
        SetLink(before, rec::kNextSibling, first);
      }
    }
    ReleaseRecord(node);
    return kOk;
  }

  // The whole subtree is collected before anything is released, so that a
  // failure (no memory for the list, damaged links) leaves the tree intact.
  std::uint32_t count = 1;
  SFX_TRY(WalkDescendants(this, node, [&](std::uint16_t) { ++count; }));
  void* block = nullptr;
  SFX_TRY(Memory()->Allocate((count + 1) * 2, &block));
  auto* list = static_cast<std::uint16_t*>(block);
  list[0] = static_cast<std::uint16_t>(count);
  list[1] = node;
  std::uint32_t k = 2;
  Result r = WalkDescendants(this, node, [&](std::uint16_t d) {
    if (k <= count) list[k++] = d;
  });
  if (Succeeded(r)) r = Unlink(node);
  if (Failed(r)) {
    (void)Memory()->Free(block);  // the failure reported is the damage found
    return r;
  }
  for (std::uint32_t i = 1; i <= count; ++i) ReleaseRecord(list[i]);
  (void)SortNodeIndexList(list);  // always 0
  *removed = list;
  return kOk;
}

}  // namespace sfx::detail
