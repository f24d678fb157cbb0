// The name tree's records, name encoding, stored form and storage growth.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "services/core/memory_service.h"
#include "services/text/name_tree.h"
#include "tests/services/text/name_tree_test_support.h"
#include "tests/support/fault_memory.h"

namespace sfx {
namespace {

using test::Bytes;
using test::Field;
using test::NodeLink;
using test::TreePtr;
namespace hdr = name_tree_header;
namespace rec = name_tree_node;

std::uint32_t CurrentBytes() {
  std::uint32_t current = 0;
  EXPECT_EQ(Memory()->GetStatistics(nullptr, &current, nullptr, nullptr), kOk);
  return current;
}

TEST(NameTreeCreate, CallerSizes) {
  struct Case {
    std::uint32_t header, node;
    Result expected;
  } cases[] = {{0, 0, kOk},
               {236, 242, kOk},
               {3, 0, kNameTreeBadSizes},
               {0, 5, kNameTreeBadSizes},
               {238, 0, kNameTreeBadSizes},
               {0, 244, kNameTreeBadSizes}};
  for (const Case& c : cases) {
    NameTree* t = nullptr;
    EXPECT_EQ(NameTrees()->CreateNameTree(c.header, c.node, &t), c.expected) << c.header << "," << c.node;
    if (t == nullptr) continue;
    EXPECT_EQ(t->state()->header[hdr::kHeaderBytes], 16 + c.header);
    EXPECT_EQ(t->state()->header[hdr::kNodeBytes], 10 + c.node);
    EXPECT_EQ(Field(t, hdr::kFirstTopNode), kNoNode);
    EXPECT_EQ(Field(t, hdr::kFirstFreeNode), kNoNode);
    EXPECT_EQ(t->DestroyNameTree(), kOk);
  }
  test::ScopedFaultMemory faults;
  faults->FailAll();
  NameTree* t = nullptr;
  EXPECT_EQ(NameTrees()->CreateNameTree(0, 0, &t), kOutOfMemory);
  // Instance operations on the service object are not available.
  EXPECT_EQ(NameTrees()->ClearNameTree(), kFail);
}

TEST(NameTreeStoredForm, EmptyTreeIsPrefixAndHeader) {
  TreePtr t = test::NewTree();
  const Bytes image = test::Save(t.get());
  const Bytes expected = {2, 0, 16, 0, 0, 0, 0, 0, 0, 0, 16, 10, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(image, expected);
}

// A tree with caller bytes, wide and high names, removals and renames, so
// that free records, the free list and area growth all show in its image.
TreePtr BusyTree() {
  TreePtr t = test::NewTree(4, 2);
  std::memcpy(t->state()->header + 16, "HDR!", 4);
  const char16_t wide[] = {u'\x263A', u'x', 0};
  std::uint16_t n = kNoNode;
  EXPECT_EQ(t->InsertNamedNode(nullptr, wide, kNoNode, kInsertSorted, &n), kOk);
  for (int i = 0; i < 40; ++i) {
    const std::string path = "/dir" + std::to_string(i % 5) + "/file" + std::to_string(i);
    n = test::MakePath(t.get(), path.c_str(), kInsertSorted);
    test::NodeRecord(t.get(), n)[10] = static_cast<std::uint8_t>(i);
  }
  EXPECT_EQ(t->InsertNamedNode("\xE9t\xE9", nullptr, kNoNode, 0, &n), kOk);
  EXPECT_EQ(t->RenameNode(n, "\xE9t\xE9-long-renamed", nullptr, 1, nullptr), kOk);
  std::uint16_t gone = test::MakePath(t.get(), "/dir2/file7");
  EXPECT_EQ(t->RemoveNamedNode(gone, nullptr), kOk);
  std::uint16_t* removed = nullptr;
  EXPECT_EQ(t->RemoveNamedNode(test::MakePath(t.get(), "/dir3"), &removed), kOk);
  EXPECT_EQ(NameTrees()->FreeNameTreeBlock(removed), kOk);
  return t;
}

TEST(NameTreeStoredForm, SaveLoadSaveIsByteIdentical) {
  TreePtr t = BusyTree();
  const Bytes first = test::Save(t.get());
  for (std::uint32_t position : {0u, 7u}) {
    TreePtr loaded;
    ASSERT_EQ(test::Load(first, &loaded, position), kOk);
    EXPECT_EQ(test::Save(loaded.get(), position), first);
    EXPECT_EQ(test::PathOf(loaded.get(), test::MakePath(loaded.get(), "/dir4/file39")), "/dir4/file39");
    EXPECT_EQ(std::memcmp(loaded->state()->header + 16, "HDR!", 4), 0);
  }
  // What an older writer left in the free name bytes is not carried on.
  ASSERT_GT(Field(t.get(), hdr::kNameAreaSize), Field(t.get(), hdr::kNameAreaUsed));
  Bytes stale = first;
  stale.back() = 'Z';
  TreePtr cleaned;
  ASSERT_EQ(test::Load(stale, &cleaned), kOk);
  EXPECT_EQ(test::Save(cleaned.get()), first);
  // An explicit length and trailing bytes beyond it.
  Bytes padded = first;
  padded.resize(first.size() + 5, 0xAB);
  TreePtr loaded;
  ASSERT_EQ(test::Load(padded, &loaded, 3, static_cast<std::uint32_t>(first.size())), kOk);
  EXPECT_EQ(test::Save(loaded.get()), first);
}

TEST(NameTreeStoredForm, LaterSectionsAreSkipped) {
  TreePtr t = BusyTree();
  const Bytes image = test::Save(t.get());
  // N = 3: a third size after the second, a third section after the second.
  Bytes three = {3, 0};
  three.insert(three.end(), image.begin() + 2, image.begin() + 10);
  three.insert(three.end(), {4, 0, 0, 0});
  three.insert(three.end(), image.begin() + 10, image.end());
  three.insert(three.end(), {1, 2, 3, 4});
  TreePtr loaded;
  ASSERT_EQ(test::Load(three, &loaded), kOk);
  EXPECT_EQ(test::Save(loaded.get()), image);
}

// Stored forms damaged one field at a time; each must be refused whole.
TEST(NameTreeStoredForm, DamagedFormsAreRefused) {
  TreePtr t = test::NewTree(0, 2);
  test::MakePath(t.get(), "/a/b");
  test::MakePath(t.get(), "/c");
  test::MakePath(t.get(), "/a/d");
  const Bytes good = test::Save(t.get());
  // Offsets in the image: prefix 10, header 16, then records of 12 bytes.
  constexpr std::size_t H = 10;
  constexpr std::size_t R = 26;
  const std::uint32_t names = LoadU16(good.data() + H + hdr::kNameAreaUsed);
  const std::size_t area = R + 12 * Field(t.get(), hdr::kNodeCapacity);
  auto u16 = [](Bytes& b, std::size_t at, std::uint16_t v) { StoreU16(b.data() + at, v); };
  auto node = [&](int i, std::uint32_t field) { return R + 12 * i + field; };
  // Nodes: 0 a, 1 b (child of a), 2 c, 3 d (child of a, after b).
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
  } cases[] = {
      {"one byte", [](Bytes& b) { b.resize(1); }},
      {"one section", [&](Bytes& b) { u16(b, 0, 1); }},
      {"section sizes past the end", [&](Bytes& b) { u16(b, 0, 0x4000); }},
      {"section 1 below 16", [&](Bytes& b) { b[2] = 15, b[3] = 0; }},
      {"section 1 past the end", [&](Bytes& b) { b[4] = 1; }},
      {"nodeBytes below 10", [&](Bytes& b) { b[H + 1] = 9; }},
      {"userNodeBytes odd", [&](Bytes& b) { b[H + 3] = 1; }},
      {"userNodeBytes beyond the record", [&](Bytes& b) { b[H + 3] = 4; }},
      {"userHeaderBytes beyond the header", [&](Bytes& b) { b[H + 2] = 2; }},
      {"records beyond section 1", [&](Bytes& b) { u16(b, H + hdr::kNodeCapacity, 17); }},
      {"section 2 below nameAreaSize", [&](Bytes& b) { b[6] = 1, b[7] = 0; }},
      {"nameAreaUsed above nameAreaSize", [&](Bytes& b) { u16(b, H + hdr::kNameAreaUsed, 0x1000); }},
      {"usedNodes wrong", [&](Bytes& b) { u16(b, H + hdr::kUsedNodes, 3); }},
      {"firstTopNode beyond capacity", [&](Bytes& b) { u16(b, H + hdr::kFirstTopNode, 16); }},
      {"firstFreeNode in use", [&](Bytes& b) { u16(b, H + hdr::kFirstFreeNode, 1); }},
      {"sibling cycle", [&](Bytes& b) { u16(b, node(3, rec::kNextSibling), 1); }},
      {"self-sibling", [&](Bytes& b) { u16(b, node(2, rec::kNextSibling), 2); }},
      {"child is its own ancestor", [&](Bytes& b) { u16(b, node(1, rec::kFirstChild), 0); }},
      {"wrong parent", [&](Bytes& b) { u16(b, node(3, rec::kParentNode), 2); }},
      {"link beyond capacity", [&](Bytes& b) { u16(b, node(1, rec::kNextSibling), 200); }},
      {"node unreachable", [&](Bytes& b) { u16(b, node(1, rec::kNextSibling), kNoNode); }},
      {"name offset beyond the names", [&](Bytes& b) { u16(b, node(2, rec::kNameOffset), names); }},
      {"two nodes share a name", [&](Bytes& b) { u16(b, node(2, rec::kNameOffset), LoadU16(b.data() + node(0, 0))); }},
      {"name count runs past the area", [&](Bytes& b) { b[area + LoadU16(b.data() + node(3, 0))] = 200; }},
      {"name without its zero", [&](Bytes& b) { b[area + LoadU16(b.data() + node(2, 0)) + 2] = 'x'; }},
      {"wide marker without a wide character", [&](Bytes& b) { b[area + LoadU16(b.data() + node(2, 0)) + 1] = 0xC0; }},
      {"free record not clean", [&](Bytes& b) { b[node(9, rec::kUseCount)] = 1; }},
      {"free list cycle", [&](Bytes& b) { u16(b, node(15, rec::kNextSibling), 4); }},
      {"free list loses a record", [&](Bytes& b) { u16(b, node(14, rec::kNextSibling), kNoNode); }},
  };
  for (const Case& c : cases) {
    Bytes damaged = good;
    c.damage(damaged);
    TreePtr loaded;
    const std::uint32_t before = CurrentBytes();
    EXPECT_EQ(test::Load(damaged, &loaded), kNameTreeInconsistent) << c.what;
    EXPECT_EQ(CurrentBytes(), before) << c.what;
  }
  TreePtr loaded;
  EXPECT_EQ(test::Load(good, &loaded, 0, 1), kNameTreeInconsistent);
  EXPECT_EQ(test::Load(Bytes{}, &loaded), kNameTreeInconsistent);  // position not below the size
  EXPECT_EQ(test::Load(good, &loaded), kOk);
}

TEST(NameTreeStoredForm, LoadAllocationFailuresLeaveNothing) {
  TreePtr t = BusyTree();
  Bytes image = test::Save(t.get());
  Stream* s = nullptr;
  ASSERT_EQ(MemoryStreams()->CreateMemoryStream(image.data(), static_cast<std::uint32_t>(image.size()), 0,
                                                kMemoryStreamCallerOwns, &s),
            kOk);
  // Instance, records, names, then the scratch list of name offsets.
  for (std::uint32_t nth = 1; nth <= 5; ++nth) {
    test::ScopedFaultMemory faults;
    const std::uint32_t before = CurrentBytes();
    faults->FailNth(nth);
    NameTree* loaded = nullptr;
    EXPECT_EQ(NameTrees()->LoadNameTree(s, 0, 0xFFFFFFFFu, &loaded), nth <= 4 ? kOutOfMemory : kOk) << nth;
    if (loaded != nullptr) {
      EXPECT_EQ(loaded->DestroyNameTree(), kOk);
    }
    EXPECT_EQ(CurrentBytes(), before) << nth;
  }
  EXPECT_EQ(s->Close(), kOk);
}

TEST(NameTreeStoredForm, WriteFailureIsReturned) {
  TreePtr t = BusyTree();
  Stream* s = nullptr;
  char small[8];
  ASSERT_EQ(MemoryStreams()->CreateMemoryStream(small, 8, 0, kMemoryStreamCallerOwns, &s), kOk);
  EXPECT_LT(t->SaveNameTree(s, 0, nullptr), 0);
  EXPECT_EQ(s->Close(), kOk);
}

TEST(NameTreeNames, EncodingAndLimits) {
  TreePtr t = test::NewTree();
  struct Case {
    std::u16string name16;
    std::vector<std::uint8_t> stored;
  } cases[] = {
      {u"", {0, 0}},
      {u"ab", {2, 'a', 'b', 0}},
      {u"\u00E9a", {2, 0x80, 0xE9, 'a', 0}},
      {u"a\u263A", {2, 0xC0, 'a', 0, 0x3A, 0x26}},
  };
  for (const Case& c : cases) {
    std::uint16_t n16 = kNoNode, n8 = kNoNode;
    ASSERT_EQ(t->InsertNamedNode(nullptr, c.name16.c_str(), kNoNode, 0, &n16), kOk);
    const std::vector<std::uint8_t> got(
        t->state()->nameArea + NodeLink(t.get(), n16, rec::kNameOffset),
        t->state()->nameArea + NodeLink(t.get(), n16, rec::kNameOffset) + c.stored.size());
    EXPECT_EQ(got, c.stored);
    // Every name that fits 8 bits has one spelling: the 8-bit form is the same name.
    if (c.stored.size() < 2 || c.stored[1] != 0xC0) {
      std::string narrow(c.name16.begin(), c.name16.end());
      EXPECT_EQ(t->InsertNamedNode(narrow.c_str(), nullptr, kNoNode, 0, &n8), kNameTreeNameExists);
    }
    char16_t back[256];
    EXPECT_EQ(NameTrees()->DecodeStoredName(got.data(), nullptr, back), kOk);
    EXPECT_EQ(std::u16string(back), c.name16);
  }
  char text[4] = "zz";
  EXPECT_EQ(NameTrees()->DecodeStoredName(nullptr, text, nullptr), kOk);
  EXPECT_EQ(text[0], 0);
  const std::uint8_t wide[] = {1, 0xC0, 0x3A, 0x26};
  EXPECT_EQ(test::Decode(wide), "?");

  const std::string long8(255, 'n');
  const std::u16string long16(255, u'\x263A');
  EXPECT_EQ(t->InsertNamedNode(long8.c_str(), nullptr, kNoNode, 0, nullptr), kNameTreeNameTooLong);
  EXPECT_EQ(t->InsertNamedNode(nullptr, long16.c_str(), kNoNode, 0, nullptr), kNameTreeNameTooLong);
  EXPECT_EQ(t->InsertNamedNode(long8.c_str() + 1, nullptr, kNoNode, 0, nullptr), kOk);
}

TEST(NameTreeStorage, RecordsGrowInStepsUpToTheLimit) {
  TreePtr t = test::NewTree();
  for (int i = 0; i < 17; ++i) test::MakePath(t.get(), ("/n" + std::to_string(i)).c_str());
  EXPECT_EQ(Field(t.get(), hdr::kNodeCapacity), 32);
  EXPECT_EQ(Field(t.get(), hdr::kUsedNodes), 17);
  // Short lists keep the duplicate checks cheap.
  for (int i = 17; i < 8192; ++i) {
    ASSERT_EQ(t->InsertNamedNode(std::to_string(i).c_str(), nullptr, static_cast<std::uint16_t>(i % 16), kInsertAsChild,
                                 nullptr),
              kOk)
        << i;
  }
  EXPECT_EQ(Field(t.get(), hdr::kNodeCapacity), 8192);
  EXPECT_EQ(t->InsertNamedNode("last", nullptr, kNoNode, 0, nullptr), kNameTreeNoMoreNodes);
  // A freed record is taken again before anything grows.
  EXPECT_EQ(t->RemoveNamedNode(100, nullptr), kOk);
  EXPECT_EQ(t->InsertNamedNode("x", nullptr, 100, 0, nullptr), kNameTreeFreeNode);
  std::uint16_t n = kNoNode;
  EXPECT_EQ(t->InsertNamedNode("last", nullptr, kNoNode, 0, &n), kOk);
  EXPECT_EQ(n, 100);
}

TEST(NameTreeStorage, GrowthHalvesItsStepUnderMemoryPressure) {
  TreePtr t = test::NewTree();
  for (int i = 0; i < 16; ++i) test::MakePath(t.get(), ("/n" + std::to_string(i)).c_str());
  {
    test::ScopedFaultMemory faults;
    faults->FailSizesFrom(10 * 28);  // 32 and 28 records fail, 24 fit
    EXPECT_EQ(t->InsertNamedNode("x", nullptr, kNoNode, 0, nullptr), kOk);
    EXPECT_EQ(Field(t.get(), hdr::kNodeCapacity), 24);
    faults->FailAll();
    for (int i = 0; i < 7; ++i)
      EXPECT_EQ(t->InsertNamedNode(std::to_string(i).c_str(), nullptr, kNoNode, 0, nullptr), kOk);
    const std::uint16_t used = Field(t.get(), hdr::kUsedNodes);
    const std::uint16_t names = Field(t.get(), hdr::kNameAreaUsed);
    EXPECT_EQ(t->InsertNamedNode("y", nullptr, kNoNode, 0, nullptr), kOutOfMemory);
    EXPECT_EQ(Field(t.get(), hdr::kNodeCapacity), 24);
    EXPECT_EQ(Field(t.get(), hdr::kUsedNodes), used);
    EXPECT_EQ(Field(t.get(), hdr::kNameAreaUsed), names);
  }
}

TEST(NameTreeStorage, LongWideNamesGrowTheAreaByWhatIsMissing) {
  TreePtr t = test::NewTree();
  const std::u16string wide(254, u'\x263A');
  std::uint16_t n = kNoNode;
  ASSERT_EQ(t->InsertNamedNode(nullptr, wide.c_str(), kNoNode, 0, &n), kOk);
  EXPECT_EQ(Field(t.get(), hdr::kNameAreaUsed), 510);
  EXPECT_GE(Field(t.get(), hdr::kNameAreaSize), 510);
  char16_t back[256];
  EXPECT_EQ(NameTrees()->DecodeStoredName(t->state()->nameArea, nullptr, back), kOk);
  EXPECT_EQ(std::u16string(back), wide);
  // Renaming to a longer wide name grows it again.
  const std::u16string other(254, u'\x2603');
  ASSERT_EQ(t->InsertNamedNode("a", nullptr, kNoNode, 0, &n), kOk);
  ASSERT_EQ(t->RenameNode(n, nullptr, other.c_str(), 0, nullptr), kOk);
  EXPECT_EQ(Field(t.get(), hdr::kNameAreaUsed), 1020);
  EXPECT_GE(Field(t.get(), hdr::kNameAreaSize), 1020);
}

TEST(NameTreeStorage, NameAreaStopsAt65000Bytes) {
  TreePtr t = test::NewTree();
  const std::u16string wide(254, u'\x263A');
  Result r = kOk;
  int made = 0;
  for (; made < 200 && Succeeded(r); ++made) {
    std::u16string name = wide;
    name[0] = static_cast<char16_t>(0x1000 + made);
    r = t->InsertNamedNode(nullptr, name.c_str(), kNoNode, 0, nullptr);
  }
  EXPECT_EQ(r, kNameTreeNameAreaFull);
  EXPECT_GE(Field(t.get(), hdr::kNameAreaSize), 65000);
  EXPECT_LE(Field(t.get(), hdr::kNameAreaUsed), Field(t.get(), hdr::kNameAreaSize));
  EXPECT_EQ(Field(t.get(), hdr::kUsedNodes), made - 1);
}

TEST(NameTreeStorage, RenameKeepsNamesPackedAndRemovedNamesLeaveNoTrace) {
  TreePtr t = test::NewTree();
  const std::uint16_t a = test::MakePath(t.get(), "/alpha");
  const std::uint16_t b = test::MakePath(t.get(), "/beta");
  const std::uint16_t c = test::MakePath(t.get(), "/gamma");
  const std::uint16_t offsetC = NodeLink(t.get(), c, rec::kNameOffset);
  ASSERT_EQ(t->RenameNode(a, "alpha-much-longer", nullptr, 0, nullptr), kOk);
  EXPECT_EQ(NodeLink(t.get(), c, rec::kNameOffset), offsetC + 12);
  EXPECT_EQ(test::NameOfNode(t.get(), b), "beta");
  EXPECT_EQ(test::NameOfNode(t.get(), c), "gamma");
  EXPECT_EQ(Field(t.get(), hdr::kNameAreaUsed), 19 + 6 + 7);

  ASSERT_EQ(t->RenameNode(a, "secret", nullptr, 0, nullptr), kOk);
  ASSERT_EQ(t->RemoveNamedNode(b, nullptr), kOk);
  ASSERT_EQ(t->RemoveNamedNode(a, nullptr), kOk);
  EXPECT_EQ(test::NameOfNode(t.get(), c), "gamma");
  EXPECT_EQ(Field(t.get(), hdr::kNameAreaUsed), 7);
  const Bytes image = test::Save(t.get());
  const std::string all(image.begin(), image.end());
  for (const char* gone : {"alpha", "beta", "secret"}) EXPECT_EQ(all.find(gone), std::string::npos) << gone;
}

TEST(NameTreeStorage, TakenRecordsStartClean) {
  TreePtr t = test::NewTree(0, 4);
  const std::uint16_t a = test::MakePath(t.get(), "/a");
  ASSERT_EQ(t->RemoveNamedNode(a, nullptr), kOk);
  // A caller writes into a free record; the next node taken from it is clean.
  std::memset(test::NodeRecord(t.get(), a) + rec::kUseCount, 0x5A, 6);
  std::uint16_t n = kNoNode;
  ASSERT_EQ(t->InsertNamedNode("b", nullptr, kNoNode, 0, &n), kOk);
  ASSERT_EQ(n, a);
  const std::uint8_t* r = test::NodeRecord(t.get(), n);
  EXPECT_TRUE(std::all_of(r + rec::kUseCount, r + 14, [](std::uint8_t x) { return x == 0; }));
}

TEST(NameTreeStorage, ClearKeepsSizesAndCallerHeader) {
  TreePtr t = test::NewTree(2, 2);
  t->state()->header[16] = 0x77;
  test::MakePath(t.get(), "/a/b/c");
  EXPECT_EQ(t->ClearNameTree(), kOk);
  EXPECT_EQ(Field(t.get(), hdr::kNodeCapacity), 0);
  EXPECT_EQ(Field(t.get(), hdr::kNameAreaSize), 0);
  EXPECT_EQ(Field(t.get(), hdr::kFirstTopNode), kNoNode);
  EXPECT_EQ(t->state()->header[16], 0x77);
  EXPECT_EQ(t->state()->header[hdr::kNodeBytes], 12);
  EXPECT_EQ(test::PathOf(t.get(), test::MakePath(t.get(), "/x")), "/x");
}

}  // namespace
}  // namespace sfx
