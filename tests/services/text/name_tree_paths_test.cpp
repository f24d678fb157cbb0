// The name tree's node operations: paths, insertion order, renaming, use
// counts, removal, navigation, and their behaviour on damaged links.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "services/text/name_tree.h"
#include "tests/services/text/name_tree_test_support.h"
#include "tests/support/fault_memory.h"

namespace sfx {
namespace {

using test::Field;
using test::ListNames;
using test::NodeLink;
using test::PathOf;
using test::TreePtr;
namespace hdr = name_tree_header;
namespace rec = name_tree_node;

Result Find(NameTree* t, const char* path, std::uint32_t create, std::uint16_t* node) {
  return t->FindNamePath(path, nullptr, 0, create, kInsertAtEnd, node);
}

TEST(NameTreePaths, FindAndCreate) {
  TreePtr t = test::NewTree();
  std::uint16_t b = 0x1234, again = 0x1234, none = 0x1234;
  EXPECT_EQ(Find(t.get(), "/a//b/", 1, &b), kNameTreeCreated);
  EXPECT_EQ(PathOf(t.get(), b), "/a/b");
  EXPECT_EQ(Find(t.get(), "a/b", 1, &again), kOk);
  EXPECT_EQ(again, b);
  EXPECT_EQ(Find(t.get(), "/a/c", 0, &none), kNameTreeCreated);
  EXPECT_EQ(none, 0x1234);
  EXPECT_EQ(Field(t.get(), hdr::kUsedNodes), 2);
  EXPECT_EQ(Find(t.get(), "///", 0, &none), kOk);
  EXPECT_EQ(none, kNoNode);
  EXPECT_EQ(Find(t.get(), "", 1, &none), kNameTreeBadPath);
  EXPECT_EQ(t->FindNamePath(nullptr, nullptr, 0, 1, 0, &none), kNameTreeBadPath);
  // A counted path stops at its length; a 16-bit path finds the same nodes.
  EXPECT_EQ(t->FindNamePath("/a/bxyz", nullptr, 4, 0, 0, &none), kOk);
  EXPECT_EQ(none, b);
  EXPECT_EQ(t->FindNamePath(nullptr, u"/a/b", 0, 0, 0, &none), kOk);
  EXPECT_EQ(none, b);
  // Names are case-sensitive for look-up.
  EXPECT_EQ(Find(t.get(), "/A", 0, nullptr), kNameTreeCreated);
}

TEST(NameTreePaths, DepthAndLengthLimitsCreateNothing) {
  TreePtr t = test::NewTree();
  std::string path;
  for (int i = 0; i < 16; ++i) path += "/n" + std::to_string(i);
  std::uint16_t node = kNoNode;
  EXPECT_EQ(Find(t.get(), path.c_str(), 1, &node), kNameTreeCreated);
  EXPECT_EQ(PathOf(t.get(), node), path);
  const std::uint16_t used = Field(t.get(), hdr::kUsedNodes);
  EXPECT_EQ(Find(t.get(), ("/other" + path).c_str(), 1, &node), kNameTreeBadPath);
  EXPECT_EQ(Find(t.get(), ("/x/" + std::string(255, 'y')).c_str(), 1, &node), kNameTreeNameTooLong);
  EXPECT_EQ(Field(t.get(), hdr::kUsedNodes), used);
  EXPECT_EQ(Find(t.get(), ("/x/" + std::string(254, 'y') + "/").c_str(), 1, &node), kNameTreeCreated);
  // A plain look-up ends at the first missing name, however long the rest;
  // a deeper existing chain is still refused after 16 names.
  EXPECT_EQ(Find(t.get(), ("/missing" + path).c_str(), 0, &node), kNameTreeCreated);
  const std::uint16_t deepest = test::MakePath(t.get(), path.c_str());
  EXPECT_EQ(t->InsertNamedNode("n16", nullptr, deepest, kInsertAsChild, nullptr), kOk);
  EXPECT_EQ(Find(t.get(), (path + "/n16").c_str(), 0, &node), kNameTreeBadPath);
}

TEST(NameTreeInsert, OrderByFlags) {
  struct Case {
    std::uint32_t flags;
    const char* order;
  } cases[] = {
      {kInsertSorted, "a,b,D"}, {0, "a,D,b"}, {kInsertAtEnd, "b,D,a"}, {kInsertSorted | kInsertAtEnd, "a,b,D"}};
  for (const Case& c : cases) {
    TreePtr t = test::NewTree();
    const std::uint16_t parent = test::MakePath(t.get(), "/p");
    for (const char* name : {"b", "D", "a"})
      EXPECT_EQ(t->InsertNamedNode(name, nullptr, parent, c.flags | 1, nullptr), kOk);
    EXPECT_EQ(ListNames(t.get(), parent), c.order) << c.flags;
  }
  // Sorted places also hold with case-equal names (after the equal one) and
  // at the top level; flag 1 clear makes a sibling of the reference.
  TreePtr t = test::NewTree();
  std::uint16_t x = kNoNode, n = kNoNode;
  ASSERT_EQ(t->InsertNamedNode("x", nullptr, kNoNode, kInsertSorted, &x), kOk);
  EXPECT_EQ(t->InsertNamedNode("x", nullptr, kNoNode, kInsertSorted, &n), kNameTreeNameExists);
  EXPECT_EQ(t->InsertNamedNode("X", nullptr, x, kInsertSorted, &n), kOk);
  EXPECT_EQ(t->InsertNamedNode("c", nullptr, x, kInsertSorted, &n), kOk);
  EXPECT_EQ(t->InsertNamedNode("z", nullptr, x, kInsertSorted, &n), kOk);
  EXPECT_EQ(ListNames(t.get(), kNoNode), "c,x,X,z");
  EXPECT_EQ(t->InsertNamedNode("q", nullptr, 999, 0, &n), kNameTreeBadIndex);
}

TEST(NameTreeRename, ClashSelfAndResort) {
  TreePtr t = test::NewTree();
  std::uint16_t a = test::MakePath(t.get(), "/a", kInsertSorted);
  std::uint16_t b = test::MakePath(t.get(), "/b", kInsertSorted);
  std::uint16_t c = test::MakePath(t.get(), "/c", kInsertSorted);
  std::uint16_t clash = kNoNode;
  EXPECT_EQ(t->RenameNode(a, "b", nullptr, 1, &clash), kNameTreeNameExists);
  EXPECT_EQ(clash, b);
  EXPECT_EQ(t->RenameNode(a, "a", nullptr, 1, nullptr), kOk);
  EXPECT_EQ(t->RenameNode(a, "d", nullptr, 0, nullptr), kOk);
  EXPECT_EQ(ListNames(t.get(), kNoNode), "d,b,c");
  EXPECT_EQ(t->RenameNode(a, "bb", nullptr, 1, nullptr), kOk);
  EXPECT_EQ(ListNames(t.get(), kNoNode), "b,bb,c");
  EXPECT_EQ(t->RenameNode(c, "A", nullptr, 1, nullptr), kOk);
  EXPECT_EQ(ListNames(t.get(), kNoNode), "A,b,bb");
  EXPECT_EQ(t->RenameNode(b, "zz", nullptr, 1, nullptr), kOk);
  EXPECT_EQ(ListNames(t.get(), kNoNode), "A,bb,zz");
  EXPECT_EQ(t->RenameNode(999, "q", nullptr, 0, nullptr), kNameTreeBadIndex);
  EXPECT_EQ(t->RenameNode(a, std::string(255, 'q').c_str(), nullptr, 0, nullptr), kNameTreeNameTooLong);
}

TEST(NameTreeUses, CountsAndVanishingLeaves) {
  TreePtr t = test::NewTree();
  const std::uint16_t leaf = test::MakePath(t.get(), "/keep/p/leaf");
  const std::uint16_t keep = test::MakePath(t.get(), "/keep");
  ASSERT_EQ(t->AddNodeUses(keep, 1), kOk);
  EXPECT_EQ(t->AddNodeUses(leaf, 1), kOk);
  EXPECT_EQ(t->AddNodeUses(leaf, -1), kOk);
  // The leaf and its unused parent went; the used ancestor stays.
  EXPECT_EQ(Field(t.get(), hdr::kUsedNodes), 1);
  EXPECT_EQ(ListNames(t.get(), keep), "");
  EXPECT_EQ(t->AddNodeUses(keep, -2), kNameTreeUseCountRange);
  EXPECT_EQ(t->AddNodeUses(keep, 32767), kOk);
  EXPECT_EQ(t->AddNodeUses(keep, 32767), kOk);
  EXPECT_EQ(t->AddNodeUses(keep, 1), kNameTreeUseCountRange);
  EXPECT_EQ(NodeLink(t.get(), keep, rec::kUseCount), 65535);
  EXPECT_EQ(t->AddNodeUses(kNoNode, 5), kOk);
  EXPECT_EQ(t->AddNodeUses(0x7000, 5), kNameTreeBadIndex);
  const std::uint16_t idle = test::MakePath(t.get(), "/idle");
  EXPECT_EQ(t->AddNodeUses(idle, 0), kOk);
  EXPECT_EQ(ListNames(t.get(), kNoNode), "keep");
}

TEST(NameTreeRemove, ChildrenTakeThePlace) {
  TreePtr t = test::NewTree();
  test::MakePath(t.get(), "/r/before");
  const std::uint16_t gone = test::MakePath(t.get(), "/r/gone");
  const std::uint16_t c1 = test::MakePath(t.get(), "/r/gone/c1");
  test::MakePath(t.get(), "/r/gone/c2/deep");
  test::MakePath(t.get(), "/r/after");
  ASSERT_EQ(t->RemoveNamedNode(gone, nullptr), kOk);
  EXPECT_EQ(ListNames(t.get(), test::MakePath(t.get(), "/r")), "before,c1,c2,after");
  EXPECT_EQ(PathOf(t.get(), c1), "/r/c1");
  EXPECT_EQ(PathOf(t.get(), test::MakePath(t.get(), "/r/c2/deep")), "/r/c2/deep");
  EXPECT_EQ(t->RemoveNamedNode(gone, nullptr), kNameTreeFreeNode);
  EXPECT_EQ(t->RemoveNamedNode(999, nullptr), kNameTreeBadIndex);
  // A first node without children.
  ASSERT_EQ(t->RemoveNamedNode(test::MakePath(t.get(), "/r/before"), nullptr), kOk);
  EXPECT_EQ(ListNames(t.get(), test::MakePath(t.get(), "/r")), "c1,c2,after");
}

TEST(NameTreeRemove, WithAListEverythingBelowGoes) {
  TreePtr t = test::NewTree();
  test::MakePath(t.get(), "/keep");
  const std::uint16_t top = test::MakePath(t.get(), "/top");
  std::vector<std::uint16_t> expected{top};
  for (const char* p : {"/top/a", "/top/a/x", "/top/b", "/top/a/y", "/top/a/y/z"})
    expected.push_back(test::MakePath(t.get(), p));
  std::sort(expected.begin(), expected.end());
  // Without memory for the list nothing changes.
  {
    test::ScopedFaultMemory faults;
    faults->FailAll();
    std::uint16_t* list = nullptr;
    EXPECT_EQ(t->RemoveNamedNode(top, &list), kOutOfMemory);
  }
  EXPECT_EQ(Field(t.get(), hdr::kUsedNodes), 7u);
  EXPECT_EQ(PathOf(t.get(), expected.back()), "/top/a/y/z");

  std::uint16_t* list = nullptr;
  ASSERT_EQ(t->RemoveNamedNode(top, &list), kOk);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(std::vector<std::uint16_t>(list + 1, list + 1 + list[0]), expected);
  for (std::uint16_t n : expected) EXPECT_EQ(PathOf(t.get(), n), "<fail>");
  EXPECT_EQ(NameTrees()->FreeNameTreeBlock(list), kOk);
  EXPECT_EQ(NameTrees()->FreeNameTreeBlock(nullptr), kOk);
  EXPECT_EQ(ListNames(t.get(), kNoNode), "keep");
  EXPECT_EQ(Field(t.get(), hdr::kUsedNodes), 1);
}

TEST(NameTreeNavigation, RelatedAncestorsAndPaths) {
  TreePtr t = test::NewTree();
  const std::uint16_t a = test::MakePath(t.get(), "/a");
  const std::uint16_t b = test::MakePath(t.get(), "/a/b");
  const std::uint16_t c = test::MakePath(t.get(), "/a/c");
  const std::uint16_t d = test::MakePath(t.get(), "/a/c/d");
  std::uint16_t r = 0;
  struct Related {
    std::uint16_t node;
    std::uint32_t relation;
    std::uint16_t expected;
  } related[] = {{b, kRelatedParent, a},
                 {a, kRelatedParent, kNoNode},
                 {a, kRelatedFirstChild, b},
                 {d, kRelatedFirstChild, kNoNode},
                 {kNoNode, kRelatedFirstChild, a},
                 {kNoNode, kRelatedParent, kNoNode},
                 {b, kRelatedPreviousSibling, kNoNode},
                 {c, kRelatedPreviousSibling, b},
                 {kNoNode, kRelatedPreviousSibling, kNoNode}};
  for (const Related& x : related) {
    EXPECT_EQ(t->GetRelatedNode(x.node, x.relation, &r), kOk);
    EXPECT_EQ(r, x.expected) << x.node << " " << x.relation;
  }
  EXPECT_EQ(t->GetRelatedNode(a, 3, &r), kNameTreeUnknownRelation);

  struct Ancestor {
    std::uint16_t candidate, node;
    std::uint32_t parentOnly;
    Result expected;
  } ancestors[] = {{a, d, 0, kOk},
                   {a, d, 1, kNameTreeNotAncestor},
                   {c, d, 1, kOk},
                   {b, d, 0, kNameTreeNotAncestor},
                   {kNoNode, d, 0, kOk},
                   {d, d, 0, kNameTreeNotAncestor},
                   {a, 999, 0, kNameTreeBadIndex}};
  for (const Ancestor& x : ancestors) EXPECT_EQ(t->IsAncestorNode(x.candidate, x.node, x.parentOnly), x.expected);

  std::uint16_t chain[4];
  std::uint16_t count = 1;
  EXPECT_EQ(t->GetNodeAncestors(d, chain, &count), kNameTreeBufferTooSmall);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(t->GetNodeAncestors(d, chain, &count), kOk);
  EXPECT_EQ(chain[0], a);
  EXPECT_EQ(chain[1], c);
  EXPECT_EQ(t->GetNodeAncestors(a, nullptr, &count), kOk);
  EXPECT_EQ(count, 0);

  char text[16];
  std::uint16_t length = 0;
  EXPECT_EQ(t->GetNodePath(b, nullptr, nullptr, &length), kOk);
  EXPECT_EQ(length, 5);
  length = 4;
  EXPECT_EQ(t->GetNodePath(b, text, nullptr, &length), kNameTreeBufferTooSmall);
  EXPECT_EQ(length, 5);
  EXPECT_EQ(t->GetNodePath(b, text, nullptr, &length), kOk);
  EXPECT_STREQ(text, "/a/b");
  const std::uint16_t w = test::MakePath(t.get(), "/a/c");
  ASSERT_EQ(t->RenameNode(w, nullptr, u"\u263Ax", 0, nullptr), kOk);
  char16_t text16[16];
  length = 16;
  EXPECT_EQ(t->GetNodePath(d, nullptr, text16, &length), kOk);
  EXPECT_EQ(std::u16string(text16), u"/a/\u263Ax/d");
  EXPECT_EQ(PathOf(t.get(), d), "/a/?x/d");
}

TEST(NameTreeNavigation, ListingDepthFirst) {
  TreePtr t = test::NewTree();
  for (const char* p : {"/a/a1/deep", "/a/a2", "/b", "/c/c1"}) test::MakePath(t.get(), p);
  auto render = [&](std::uint16_t start, std::uint32_t limit) {
    std::uint16_t count = 0;
    NodeListItem* items = nullptr;
    EXPECT_EQ(t->ListNameTree(start, limit, &count, &items), kOk);
    std::string out;
    for (std::uint16_t i = 0; i < count; ++i)
      out += test::Decode(items[i].itemName) + std::to_string(items[i].itemDepth) + " ";
    EXPECT_EQ(NameTrees()->FreeNameTreeBlock(items), kOk);
    return out;
  };
  EXPECT_EQ(render(kNoNode, 1), "a0 a11 a21 b0 c0 c11 ");
  EXPECT_EQ(render(kNoNode, 0), "a0 b0 c0 ");
  EXPECT_EQ(render(kNoNode, 5), "a0 a11 deep2 a21 b0 c0 c11 ");
  EXPECT_EQ(render(test::MakePath(t.get(), "/a/a1"), 9), "a10 deep1 a20 ");
  TreePtr empty = test::NewTree();
  std::uint16_t count = 9;
  NodeListItem* items = reinterpret_cast<NodeListItem*>(&count);
  EXPECT_EQ(empty->ListNameTree(kNoNode, 1, &count, &items), kOk);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(items, nullptr);
}

TEST(NameTreeNavigation, SortNodeIndexList) {
  std::uint16_t list[] = {4, 9, 3, 7, 1, 0};
  EXPECT_EQ(NameTrees()->SortNodeIndexList(list), kOk);
  EXPECT_EQ(std::vector<std::uint16_t>(list, list + 6), (std::vector<std::uint16_t>{4, 1, 3, 7, 9, 0}));
  EXPECT_EQ(NameTrees()->SortNodeIndexList(nullptr), kOk);
}

// Free records given as arguments are refused by every operation that takes
// a node, instead of being read as if they were in use.
TEST(NameTreeFaults, FreeRecordsAreRefused) {
  TreePtr t = test::NewTree();
  test::MakePath(t.get(), "/a");
  const std::uint16_t freeIndex = 5;
  std::uint16_t r = 0, count = 4;
  std::uint16_t chain[4];
  char text[8];
  NodeListItem* items = nullptr;
  std::uint16_t* list = nullptr;
  EXPECT_EQ(t->AddNodeUses(freeIndex, 1), kNameTreeFreeNode);
  EXPECT_EQ(t->InsertNamedNode("x", nullptr, freeIndex, 1, nullptr), kNameTreeFreeNode);
  EXPECT_EQ(t->RenameNode(freeIndex, "x", nullptr, 0, nullptr), kNameTreeFreeNode);
  EXPECT_EQ(t->RemoveNamedNode(freeIndex, nullptr), kNameTreeFreeNode);
  EXPECT_EQ(t->RemoveNamedNode(freeIndex, &list), kNameTreeFreeNode);
  EXPECT_EQ(t->ListNameTree(freeIndex, 1, &count, &items), kNameTreeFreeNode);
  EXPECT_EQ(t->GetRelatedNode(freeIndex, kRelatedPreviousSibling, &r), kNameTreeFreeNode);
  EXPECT_EQ(t->IsAncestorNode(kNoNode, freeIndex, 0), kNameTreeFreeNode);
  EXPECT_EQ(t->GetNodePath(freeIndex, text, nullptr, &count), kNameTreeFreeNode);
  EXPECT_EQ(t->GetNodeAncestors(freeIndex, chain, &count), kNameTreeFreeNode);
  EXPECT_EQ(Field(t.get(), hdr::kUsedNodes), 1);
  EXPECT_EQ(Field(t.get(), hdr::kFirstFreeNode), 1);
}

// Links changed behind the service's back (callers own the memory) must end
// every walk with kNameTreeInconsistent, never a hang or a wild read.
TEST(NameTreeFaults, DamagedLinksEndEveryWalk) {
  TreePtr t = test::NewTree();
  const std::uint16_t a = test::MakePath(t.get(), "/a");
  const std::uint16_t b = test::MakePath(t.get(), "/a/b");
  const std::uint16_t c = test::MakePath(t.get(), "/a/c");
  const std::uint16_t x = test::MakePath(t.get(), "/x");
  std::uint16_t r = 0, count = 0;
  NodeListItem* items = nullptr;
  std::uint16_t* list = nullptr;
  // Sibling cycle b -> c -> b.
  StoreU16(test::NodeRecord(t.get(), c) + rec::kNextSibling, b);
  EXPECT_EQ(Find(t.get(), "/a/missing", 1, &r), kNameTreeInconsistent);
  EXPECT_EQ(t->InsertNamedNode("n", nullptr, a, kInsertSorted | 1, nullptr), kNameTreeInconsistent);
  EXPECT_EQ(t->GetRelatedNode(x, kRelatedPreviousSibling, &r), kOk);
  EXPECT_EQ(t->ListNameTree(kNoNode, 3, &count, &items), kNameTreeListOverflow);
  EXPECT_EQ(t->RemoveNamedNode(a, &list), kNameTreeInconsistent);
  StoreU16(test::NodeRecord(t.get(), c) + rec::kNextSibling, 0x3000);
  EXPECT_EQ(Find(t.get(), "/a/missing", 0, &r), kNameTreeInconsistent);
  EXPECT_EQ(t->ListNameTree(kNoNode, 3, &count, &items), kNameTreeInconsistent);
  StoreU16(test::NodeRecord(t.get(), c) + rec::kNextSibling, kNoNode);
  // Parent cycle a <-> b.
  StoreU16(test::NodeRecord(t.get(), a) + rec::kParentNode, b);
  EXPECT_EQ(t->IsAncestorNode(x, b, 0), kNameTreeInconsistent);
  EXPECT_EQ(t->GetNodeAncestors(b, nullptr, &count), kNameTreeInconsistent);
  EXPECT_EQ(t->GetNodePath(b, nullptr, nullptr, &count), kNameTreeInconsistent);
}

// A list may be longer than 8192 nodes when the record array grew in halved
// steps; look-ups must still see its end rather than creating a duplicate.
TEST(NameTreeFaults, LongListsAreSearchedToTheEnd) {
  TreePtr t = test::NewTree();
  {
    // Arrays of 8192 records and more cannot be had: past 8176 the steps
    // halve, 8184, 8188, 8190, 8191; then a full step of 16 gives 8207.
    test::ScopedFaultMemory faults;
    faults->FailSizesFrom(10 * 8192);
    for (std::uint32_t i = 0; i < 8191; ++i)
      ASSERT_EQ(t->InsertNamedNode(std::to_string(i).c_str(), nullptr, kNoNode, 0, nullptr), kOk) << i;
  }
  EXPECT_EQ(Field(t.get(), hdr::kNodeCapacity), 8191);
  for (std::uint32_t i = 8191; i < 8207; ++i)
    ASSERT_EQ(t->InsertNamedNode(std::to_string(i).c_str(), nullptr, kNoNode, 0, nullptr), kOk) << i;
  EXPECT_EQ(Field(t.get(), hdr::kNodeCapacity), 8207);
  // New nodes go first, so "0" is the 8207th of the top-level list.
  std::uint16_t node = kNoNode;
  EXPECT_EQ(Find(t.get(), "/0", 1, &node), kOk);
  EXPECT_EQ(node, 0);
  EXPECT_EQ(t->InsertNamedNode("0", nullptr, kNoNode, 0, nullptr), kNameTreeNameExists);
  EXPECT_EQ(t->InsertNamedNode("more", nullptr, kNoNode, 0, nullptr), kNameTreeNoMoreNodes);
}

}  // namespace
}  // namespace sfx
