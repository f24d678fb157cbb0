// A tree of named nodes kept in two flat blocks: one array of fixed-size node
// records and one packed area of encoded names. Nodes are addressed by 16-bit
// indices that stay stable for their whole life, found by '/'-separated paths,
// carry a use count and caller bytes, and the whole tree can be saved into a
// Stream at any position and loaded back.
//
// The service and its instances share one table: slots 1 and 3 are called on
// the service object and create trees; slots 12, 17 and 18 ignore the object;
// every other slot is called on a NameTree (on the service object they return
// kFail). Texts come in two forms: the 8-bit pointer is used when it is not
// null, otherwise the 16-bit one.
#pragma once

#include <cstdint>

#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx {

// Outcomes (non-negative) and failures of the name tree.
inline constexpr Result kNameTreeCreated = 1;      // FindNamePath: a name was missing (and made, if asked)
inline constexpr Result kNameTreeNotAncestor = 7;  // IsAncestorNode: no
inline constexpr Result kNameTreeBadSizes = FailureCode(facility::kNameTree, 0x0001);        // caller sizes
inline constexpr Result kNameTreeInconsistent = FailureCode(facility::kNameTree, 0x0002);    // damaged data
inline constexpr Result kNameTreeNoMoreNodes = FailureCode(facility::kNameTree, 0x0003);     // 8192 records
inline constexpr Result kNameTreeNameAreaFull = FailureCode(facility::kNameTree, 0x0004);    // 65000 bytes
inline constexpr Result kNameTreeListOverflow = FailureCode(facility::kNameTree, 0x0005);    // list past its room
inline constexpr Result kNameTreeBadPath = FailureCode(facility::kNameTree, 0x0006);         // empty or too deep
inline constexpr Result kNameTreeNameTooLong = FailureCode(facility::kNameTree, 0x0007);     // over 254 characters
inline constexpr Result kNameTreeBadIndex = FailureCode(facility::kNameTree, 0x0008);        // beyond the records
inline constexpr Result kNameTreeFreeNode = FailureCode(facility::kNameTree, 0x0009);        // record not in use
inline constexpr Result kNameTreeUseCountRange = FailureCode(facility::kNameTree, 0x000A);   // below 0 or over 65535
inline constexpr Result kNameTreeNameExists = FailureCode(facility::kNameTree, 0x000B);      // sibling of that name
inline constexpr Result kNameTreeBufferTooSmall = FailureCode(facility::kNameTree, 0x000C);  // needed size returned
inline constexpr Result kNameTreeUnknownRelation = FailureCode(facility::kGeneral, 0x0005);  // 0x80000005

// "No node"; as a parent or a place it stands for the top level.
inline constexpr std::uint16_t kNoNode = 0xFFFF;

// Insertion flags of FindNamePath and InsertNamedNode (sorted wins over at-end;
// neither puts the new node first). kInsertAsChild is read by InsertNamedNode only.
inline constexpr std::uint32_t kInsertAsChild = 1;
inline constexpr std::uint32_t kInsertAtEnd = 2;
inline constexpr std::uint32_t kInsertSorted = 4;

// GetRelatedNode relations.
inline constexpr std::uint32_t kRelatedParent = 0;
inline constexpr std::uint32_t kRelatedFirstChild = 1;
inline constexpr std::uint32_t kRelatedPreviousSibling = 2;

inline constexpr std::uint32_t kNameTreeMaxNameLength = 254;  // characters
inline constexpr std::uint32_t kNameTreeMaxUserHeaderBytes = 236;
inline constexpr std::uint32_t kNameTreeMaxUserNodeBytes = 242;

// NameTreeHeader, at the start of NameTreeState::header (all integers
// little-endian); the caller's header bytes follow it directly.
//   0 u8  headerBytes      16 + userHeaderBytes
//   1 u8  nodeBytes        10 + userNodeBytes
//   2 u8  userHeaderBytes
//   3 u8  userNodeBytes
//   4 u16 firstTopNode     first node of the top level
//   6 u16 firstFreeNode    head of the free record list
//   8 u16 nodeCapacity     records in nodeArray
//  10 u16 usedNodes        records in use
//  12 u16 nameAreaSize     bytes of nameArea
//  14 u16 nameAreaUsed     bytes holding names, packed from offset 0
namespace name_tree_header {
inline constexpr std::uint32_t kHeaderBytes = 0;
inline constexpr std::uint32_t kNodeBytes = 1;
inline constexpr std::uint32_t kUserHeaderBytes = 2;
inline constexpr std::uint32_t kUserNodeBytes = 3;
inline constexpr std::uint32_t kFirstTopNode = 4;
inline constexpr std::uint32_t kFirstFreeNode = 6;
inline constexpr std::uint32_t kNodeCapacity = 8;
inline constexpr std::uint32_t kUsedNodes = 10;
inline constexpr std::uint32_t kNameAreaSize = 12;
inline constexpr std::uint32_t kNameAreaUsed = 14;
inline constexpr std::uint32_t kSize = 16;
}  // namespace name_tree_header

// NameTreeNode, record i at nodeArray + i * nodeBytes; the caller's bytes
// follow at offset 10 and are zero when the record is taken into use.
//   0 u16 nameOffset   StoredName in nameArea; 0xFFFF marks a free record
//   2 u16 parentNode   0xFFFF at the top level
//   4 u16 nextSibling  in a free record: the next free record
//   6 u16 firstChild
//   8 u16 useCount
namespace name_tree_node {
inline constexpr std::uint32_t kNameOffset = 0;
inline constexpr std::uint32_t kParentNode = 2;
inline constexpr std::uint32_t kNextSibling = 4;
inline constexpr std::uint32_t kFirstChild = 6;
inline constexpr std::uint32_t kUseCount = 8;
inline constexpr std::uint32_t kSize = 10;
}  // namespace name_tree_node

inline std::uint16_t LoadU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline void StoreU16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

// The state callers may read and write directly: the header area (header,
// then caller header bytes), the node records and the packed names.
struct NameTreeState {
  std::uint8_t header[256];
  std::uint8_t* nodeArray;
  std::uint8_t* nameArea;
};

// One item of ListNameTree. itemName points at the node's StoredName inside
// nameArea and is valid until the tree next changes.
struct NodeListItem {
  std::uint16_t itemNode;
  std::uint16_t itemDepth;
  const std::uint8_t* itemName;
};

class NameTree;

class NameTreeService : public ServiceObject {
 public:
  // 1. Caller sizes even, header at most 236, node at most 242, else
  //    kNameTreeBadSizes. The tree starts with no records and no names.
  virtual Result CreateNameTree(std::uint32_t userHeaderBytes, std::uint32_t userNodeBytes, NameTree** tree);
  // 2. Frees the names, the records and the instance.
  virtual Result DestroyNameTree() { return kFail; }
  // 3. Loads a stored form from `position` (length 0xFFFFFFFF: to the end of
  //    the stream). Every record, name and link is checked; damaged data is
  //    kNameTreeInconsistent and leaves nothing behind.
  virtual Result LoadNameTree(Stream* stream, std::uint32_t position, std::uint32_t length, NameTree** tree);
  // 4. Writes the stored form at `position`; *size (optional) gets its length.
  virtual Result SaveNameTree(Stream* /*stream*/, std::uint32_t /*position*/, std::uint32_t* /*size*/) { return kFail; }
  // 5. Finds (and with `create`, makes) the nodes of a '/'-separated path of
  //    at most 16 names; length 0 means up to a zero character. 0 when every
  //    name existed, kNameTreeCreated when one was missing (the node is stored
  //    only if it exists, or was made).
  virtual Result FindNamePath(const char* /*path*/, const char16_t* /*path16*/, std::uint32_t /*length*/,
                              std::uint32_t /*create*/, std::uint32_t /*flags*/, std::uint16_t* /*node*/) {
    return kFail;
  }
  // 6. Adds `change` to the use count; a childless node left with no uses is
  //    removed, and so is every ancestor that is then childless and unused.
  virtual Result AddNodeUses(std::uint16_t /*node*/, std::int16_t /*change*/) { return kFail; }
  // 7. Inserts a zero-terminated name as a sibling of `reference` (or, with
  //    kInsertAsChild, as its child; kNoNode: at the top level).
  virtual Result InsertNamedNode(const char* /*name*/, const char16_t* /*name16*/, std::uint16_t /*reference*/,
                                 std::uint32_t /*flags*/, std::uint16_t* /*node*/) {
    return kFail;
  }
  // 8. Renames a node; with `resort` it moves to its sorted place among its
  //    siblings. A sibling already of that name: kNameTreeNameExists, its
  //    index in *clash (optional).
  virtual Result RenameNode(std::uint16_t /*node*/, const char* /*name*/, const char16_t* /*name16*/,
                            std::uint32_t /*resort*/, std::uint16_t* /*clash*/) {
    return kFail;
  }
  // 9. Without `removed`, the node's children take its place. With it, the
  //    node and all its descendants go and *removed gets their indices as a
  //    count-prefixed ascending list (free with FreeNameTreeBlock).
  virtual Result RemoveNamedNode(std::uint16_t /*node*/, std::uint16_t** /*removed*/) { return kFail; }
  // 10. Back to no records and no names; sizes and caller header bytes stay.
  virtual Result ClearNameTree() { return kFail; }
  // 11. Lists `start` and its following siblings, each followed by its
  //     children down to `depthLimit` levels (start kNoNode: the top level).
  virtual Result ListNameTree(std::uint16_t /*start*/, std::uint32_t /*depthLimit*/, std::uint16_t* /*count*/,
                              NodeListItem** /*items*/) {
    return kFail;
  }
  // 12. Frees a block from RemoveNamedNode or ListNameTree (null allowed).
  virtual Result FreeNameTreeBlock(void* block);
  // 13. Parent, first child or previous sibling (kNoNode when none).
  virtual Result GetRelatedNode(std::uint16_t /*node*/, std::uint32_t /*relation*/, std::uint16_t* /*related*/) {
    return kFail;
  }
  // 14. 0 when `candidate` is an ancestor of `node` (its parent, with
  //     parentOnly), kNameTreeNotAncestor otherwise. kNoNode is everyone's.
  virtual Result IsAncestorNode(std::uint16_t /*candidate*/, std::uint16_t /*node*/, std::uint32_t /*parentOnly*/) {
    return kFail;
  }
  // 15. The path "/a/b" of a node; *length is the capacity in characters in
  //     and the needed length (with the zero) out.
  virtual Result GetNodePath(std::uint16_t /*node*/, char* /*buffer*/, char16_t* /*buffer16*/,
                             std::uint16_t* /*length*/) {
    return kFail;
  }
  // 16. The ancestors from the top-level one down to the parent; *count is
  //     the capacity in and the number of ancestors out.
  virtual Result GetNodeAncestors(std::uint16_t /*node*/, std::uint16_t* /*ancestors*/, std::uint16_t* /*count*/) {
    return kFail;
  }
  // 17. A StoredName as zero-terminated text (8-bit: '?' for characters
  //     above 0xFF). The buffer must hold 255 characters.
  virtual Result DecodeStoredName(const std::uint8_t* name, char* buffer, char16_t* buffer16);
  // 18. Sorts the n indices after the leading count n ascending.
  virtual Result SortNodeIndexList(std::uint16_t* list);
  virtual Result ReservedLast() { return kFail; }

  NameTreeService() = default;
};

// What callers hold. The state lies in the same block as the instance.
class NameTree : public NameTreeService {
 public:
  NameTreeState* state() { return &state_; }
  std::uint16_t headerField(std::uint32_t offset) const { return LoadU16(state_.header + offset); }

 protected:
  NameTree() = default;
  ~NameTree() = default;

  NameTreeState state_{};
};

inline NameTreeService* NameTrees() { return Service<NameTreeService>(Slot::kNameTree); }

}  // namespace sfx
