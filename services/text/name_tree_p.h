// Private to the name tree: the instance, the name encoding and the limits.
#pragma once

#include <cstdint>

#include "services/text/name_tree.h"

namespace sfx::detail {

// The node array stops growing once it holds 8192 records; the last step may
// start just below that, so a valid tree holds at most 8192 + 15 records.
inline constexpr std::uint32_t kNodeCapacityLimit = 8192;
inline constexpr std::uint32_t kNodeGrowthStep = 16;
inline constexpr std::uint32_t kMaxNodeCapacity = kNodeCapacityLimit + kNodeGrowthStep - 1;
static_assert(kMaxNodeCapacity < kNoNode, "an index must never read as 'none'");

// The name area is addressed by u16 offsets and stops growing at 65000 bytes.
inline constexpr std::uint32_t kNameAreaLimit = 65000;
inline constexpr std::uint32_t kNameAreaMaxSize = 0xFFFF;
inline constexpr std::uint32_t kNameAreaGrowthStep = 256;

inline constexpr std::uint32_t kMaxPathNames = 16;
inline constexpr std::uint32_t kMaxPathLevels = 32;  // path texts
inline constexpr std::uint32_t kComponentLookAhead = 255;

// StoredName: byte 0 the character count n, then
//   0xC0 and n u16 characters (some above 0xFF)       2n + 2 bytes
//   0x80, n bytes and a zero (first character >= 0x80) n + 3 bytes
//   n bytes and a zero (otherwise)                     n + 2 bytes
inline constexpr std::uint8_t kWideMarker = 0xC0;
inline constexpr std::uint8_t kHighMarker = 0x80;
inline constexpr std::uint32_t kMaxStoredNameBytes = 2 * kNameTreeMaxNameLength + 2;

struct EncodedName {
  std::uint32_t size;
  std::uint8_t bytes[kMaxStoredNameBytes];
};

// Encodes `count` characters (0: up to a zero character) of the 8-bit text,
// or of the 16-bit one when the 8-bit pointer is null.
Result EncodeName(const char* text, const char16_t* text16, std::uint32_t count, EncodedName* out);
// The size of a StoredName whose first bytes are at p (two bytes readable).
std::uint32_t StoredNameSize(const std::uint8_t* p);
// The size of a well-formed, canonically encoded StoredName lying within
// `available` bytes, or 0.
std::uint32_t CheckedStoredNameSize(const std::uint8_t* p, std::uint32_t available);
// The name as 8-bit text ('?' for characters above 0xFF) into a buffer of
// 255 bytes, zero not included in the returned length.
std::uint32_t StoredNameAsText(const std::uint8_t* name, char* text);

class NameTreeInstance final : public NameTree {
 public:
  // ---- operations ----
  Result DestroyNameTree() override;
  Result SaveNameTree(Stream* stream, std::uint32_t position, std::uint32_t* size) override;
  Result FindNamePath(const char* path, const char16_t* path16, std::uint32_t length, std::uint32_t create,
                      std::uint32_t flags, std::uint16_t* node) override;
  Result AddNodeUses(std::uint16_t node, std::int16_t change) override;
  Result InsertNamedNode(const char* name, const char16_t* name16, std::uint16_t reference, std::uint32_t flags,
                         std::uint16_t* node) override;
  Result RenameNode(std::uint16_t node, const char* name, const char16_t* name16, std::uint32_t resort,
                    std::uint16_t* clash) override;
  Result RemoveNamedNode(std::uint16_t node, std::uint16_t** removed) override;
  Result ClearNameTree() override;
  Result ListNameTree(std::uint16_t start, std::uint32_t depthLimit, std::uint16_t* count,
                      NodeListItem** items) override;
  Result GetRelatedNode(std::uint16_t node, std::uint32_t relation, std::uint16_t* related) override;
  Result IsAncestorNode(std::uint16_t candidate, std::uint16_t node, std::uint32_t parentOnly) override;
  Result GetNodePath(std::uint16_t node, char* buffer, char16_t* buffer16, std::uint16_t* length) override;
  Result GetNodeAncestors(std::uint16_t node, std::uint16_t* ancestors, std::uint16_t* count) override;

  // ---- set-up (name_tree_storage.cpp, name_tree_load.cpp) ----
  void InitEmpty(std::uint32_t userHeaderBytes, std::uint32_t userNodeBytes);
  Result ReadStoredForm(Stream* stream, std::uint32_t position, std::uint32_t length);
  Result CheckStructure();

  // ---- header fields and records ----
  std::uint16_t Get(std::uint32_t field) const { return LoadU16(state_.header + field); }
  void Set(std::uint32_t field, std::uint32_t value) { StoreU16(state_.header + field, value); }
  std::uint32_t nodeBytes() const { return state_.header[name_tree_header::kNodeBytes]; }
  std::uint32_t capacity() const { return Get(name_tree_header::kNodeCapacity); }
  std::uint8_t* Record(std::uint32_t index) { return state_.nodeArray + index * nodeBytes(); }
  std::uint16_t Link(std::uint32_t index, std::uint32_t field) { return LoadU16(Record(index) + field); }
  void SetLink(std::uint32_t index, std::uint32_t field, std::uint32_t value) {
    StoreU16(Record(index) + field, value);
  }
  bool IsFree(std::uint32_t index) { return Link(index, name_tree_node::kNameOffset) == kNoNode; }
  const std::uint8_t* NameOf(std::uint32_t index) { return state_.nameArea + Link(index, name_tree_node::kNameOffset); }
  // kNameTreeBadIndex or kNameTreeFreeNode for an index no operation may use.
  Result CheckNode(std::uint32_t index);
  // A link met on a walk: none, or a record in use; anything else is damage.
  bool IsSoundLink(std::uint32_t index) { return index == kNoNode || (index < capacity() && !IsFree(index)); }

  // ---- storage management (name_tree_storage.cpp) ----
  Result TakeRecord(std::uint16_t* index);
  void ReleaseRecord(std::uint16_t index);
  Result GrowNameArea(std::uint32_t shortfall);
  Result ReplaceName(std::uint16_t index, const EncodedName* name);

  // ---- lists (name_tree_lists.cpp) ----
  std::uint16_t ListHead(std::uint16_t parent);
  void SetListHead(std::uint16_t parent, std::uint16_t first);
  // 0 and the node when found, kNameTreeCreated when not, kNameTreeInconsistent on damage.
  Result FindInList(std::uint16_t parent, const EncodedName& name, std::uint16_t* found);
  // The node the new one goes after under the insertion flags (kNoNode: first).
  Result PlaceFor(std::uint16_t parent, const EncodedName& name, std::uint32_t flags, std::uint16_t skip,
                  std::uint16_t* after);
  Result PreviousInList(std::uint16_t index, std::uint16_t* previous);
  void LinkAfter(std::uint16_t parent, std::uint16_t after, std::uint16_t index);
  Result Unlink(std::uint16_t index);
  Result NewNode(std::uint16_t parent, const EncodedName& name, std::uint32_t flags, std::uint16_t* index);

  NameTreeInstance() = default;
  ~NameTreeInstance() = default;
};

}  // namespace sfx::detail
