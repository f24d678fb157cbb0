#include "services/data/cross_reference.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace sfx {
namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// Formatted rather than concatenated: one compiler warns falsely about the
// concatenation's copies.
std::string Name(const char* prefix, unsigned i) {
  char b[32];
  std::snprintf(b, sizeof b, "%s%u", prefix, i);
  return b;
}

struct Table {
  CrossReferenceTable* t = nullptr;
  Table() { EXPECT_EQ(CrossReferences()->CreateCrossReferenceTable(&t), kOk); }
  ~Table() { EXPECT_EQ(t->Close(), kOk); }
  Result Add(const std::string& name, std::uint32_t value, std::uint32_t* node = nullptr) {
    return t->AddRecord(name.data(), static_cast<std::uint32_t>(name.size()), value, node);
  }
  Result Anchor(const std::string& name, std::uint32_t value) {
    return t->AddAnchor(name.data(), static_cast<std::uint32_t>(name.size()), value, nullptr);
  }
  Result Link(const std::string& target, const char* anchor, std::uint32_t v5 = 0) {
    return t->AddLink(target.data(), static_cast<std::uint32_t>(target.size()), anchor,
                      anchor ? static_cast<std::uint32_t>(std::string(anchor).size()) : 0, 3, 4, v5);
  }
  std::vector<std::uint32_t> ReadLink(std::uint32_t i) {
    std::vector<std::uint32_t> w(kLinkWords);
    EXPECT_EQ(t->ReadLink(i, w.data()), kOk);
    return w;
  }
};

class CountingProgress : public CrossReferenceProgress {
 public:
  explicit CountingProgress(Result answer) : answer_(answer) {}
  Result Step(std::uint32_t code, const std::uint32_t* index, const std::uint32_t* count) override {
    EXPECT_EQ(code, kCrossReferenceProgressCode);
    EXPECT_LT(*index, *count);
    ++calls;
    return answer_;
  }
  int calls = 0;

 private:
  Result answer_;
};

TEST(CrossReference, RecordsNamesAndEnumeration) {
  Table x;
  std::uint32_t node = 0;
  ASSERT_EQ(x.Add("a", 7, &node), kOk);
  const std::uint32_t end = x.t->nameEnd();
  std::uint32_t existing = 99;
  EXPECT_EQ(x.Add("a", 8, &existing), kCrossReferenceNameExists);
  EXPECT_EQ(existing, node);
  EXPECT_EQ(x.t->nameEnd(), end);  // the duplicate name was taken back
  ASSERT_EQ(x.Add("bravo", 9), kOk);
  EXPECT_EQ(x.t->AddRecord("n", kCrossReferenceMaxName + 1, 0, nullptr), kFail);

  std::uint32_t cursor = 0, value = 0;
  char name[3];
  std::uint32_t length = sizeof name;
  ASSERT_EQ(x.t->GetRecordAt(&cursor, name, &length, &value), kOk);
  EXPECT_EQ(std::string(name, length), "a");
  EXPECT_EQ(value, 7u);
  length = sizeof name;
  ASSERT_EQ(x.t->GetRecordAt(&cursor, name, &length, &value), kOk);
  EXPECT_EQ(length, 5u);  // the full length, three bytes copied
  EXPECT_EQ(std::string(name, 3), "bra");
  EXPECT_EQ(x.t->GetRecordAt(&cursor, name, &length, &value), kCrossReferenceEnumerationDone);
  length = sizeof name;
  EXPECT_EQ(x.t->NextRecord(name, &length, nullptr), kOk);
  EXPECT_EQ(std::string(name, length), "a");
}

TEST(CrossReference, BuildingRulesAndCodes) {
  Table x;
  EXPECT_EQ(x.Link("b", nullptr), kFail);  // no open record
  EXPECT_EQ(x.Anchor("x", 1), kFail);
  EXPECT_EQ(x.t->EndRecord(), kFail);
  ASSERT_EQ(x.Add("a", 0), kOk);
  EXPECT_EQ(x.t->BeginRecord(1, 0), kFail);  // beyond the records
  ASSERT_EQ(x.t->BeginRecord(0, 100), kOk);
  EXPECT_EQ(x.t->BeginRecord(0, 100), kCrossReferenceRecordOpen);
  ASSERT_EQ(x.Anchor("x", 1), kOk);
  EXPECT_EQ(x.Anchor("x", 2), kCrossReferenceNameExists);
  ASSERT_EQ(x.t->EndRecord(), kOk);
  EXPECT_EQ(x.t->ReadLink(0, nullptr), kFail);  // no links yet
}

TEST(CrossReference, ResolutionStatusAndValues) {
  Table x;
  std::uint32_t a = 0, b = 0;
  ASSERT_EQ(x.Add("a", 10, &a), kOk);
  ASSERT_EQ(x.Add("b", 20, &b), kOk);
  ASSERT_EQ(x.t->BeginRecord(b, 200), kOk);
  ASSERT_EQ(x.Anchor("x", 77), kOk);
  ASSERT_EQ(x.t->EndRecord(), kOk);
  ASSERT_EQ(x.t->BeginRecord(a, 100), kOk);
  ASSERT_EQ(x.Link("b", "x", 0x100), kOk);  // 0: anchor exists
  ASSERT_EQ(x.Link("b", "y"), kOk);         // 1: anchor missing
  ASSERT_EQ(x.Link("b", nullptr), kOk);     // 2: no anchor
  ASSERT_EQ(x.Link("zz", nullptr), kOk);    // 3: a placeholder
  ASSERT_EQ(x.Link("a", "x"), kOk);         // 4: a record without anchors
  ASSERT_EQ(x.t->EndRecord(), kOk);
  EXPECT_EQ(x.t->recordCount(), 3u);  // the placeholder counts

  CountingProgress stop(kCrossReferenceStopped);
  EXPECT_EQ(x.t->ResolveLinks(&stop), kCrossReferenceStopped);
  EXPECT_EQ(stop.calls, 1);
  EXPECT_EQ(x.ReadLink(0)[6], kNone);  // nothing changed yet

  CountingProgress go(kOk);
  ASSERT_EQ(x.t->ResolveLinks(&go), kOk);
  EXPECT_EQ(go.calls, 3);
  const struct { std::uint32_t status, value; } expected[] = {{1, 77}, {2, 200}, {3, 200}, {2, kNone}, {2, 100}};
  for (std::uint32_t i = 0; i < 5; ++i) {
    const auto w = x.ReadLink(i);
    EXPECT_EQ(w[5] & 0xFF, expected[i].status) << i;
    EXPECT_EQ(w[6], expected[i].value) << i;
    EXPECT_EQ(w[3], 3u);
  }
  EXPECT_EQ(x.ReadLink(0)[5], 0x101u);  // the status is ORed into the caller's value

  // The placeholder is a record now: adding it reports the existing node.
  std::uint32_t placeholder = 0;
  EXPECT_EQ(x.Add("zz", 1, &placeholder), kCrossReferenceNameExists);
  EXPECT_EQ(placeholder, 2u);
}

// Random records, anchors and links against a model of what resolution must
// give every link.
TEST(CrossReference, ModelOfResolution) {
  std::mt19937 rng(3);
  Table x;
  const int records = 40;
  std::map<std::string, std::uint32_t> targetOf;  // built records
  std::map<std::string, std::map<std::string, std::uint32_t>> anchorsOf;
  std::vector<std::pair<std::string, std::string>> links;  // target, anchor ("" none)
  for (int i = 0; i < records; ++i) ASSERT_EQ(x.Add(Name("r", i), i), kOk);
  for (int i = 0; i < records; ++i) {
    const std::string name = Name("r", i);
    const std::uint32_t target = 1000 + i;
    ASSERT_EQ(x.t->BeginRecord(i, target), kOk);
    targetOf[name] = target;
    for (int a = rng() % 4; a > 0; --a) {
      const std::string anchor = Name("a", rng() % 6);
      const std::uint32_t value = rng() % 100000;
      const Result r = x.Anchor(anchor, value);
      ASSERT_EQ(r, anchorsOf[name].count(anchor) ? kCrossReferenceNameExists : kOk);
      anchorsOf[name].emplace(anchor, value);
    }
    for (int l = rng() % 5; l > 0; --l) {
      const std::string to = rng() % 6 ? Name("r", rng() % records) : Name("missing", rng() % 3);
      const std::string anchor = rng() % 3 ? Name("a", rng() % 6) : "";
      ASSERT_EQ(x.Link(to, anchor.empty() ? nullptr : anchor.c_str()), kOk);
      links.emplace_back(to, anchor);
    }
    ASSERT_EQ(x.t->EndRecord(), kOk);
  }
  ASSERT_EQ(x.t->ResolveLinks(nullptr), kOk);
  for (std::uint32_t i = 0; i < links.size(); ++i) {
    const auto& [to, anchor] = links[i];
    const bool built = targetOf.count(to) != 0;
    const std::uint32_t fallback = built ? targetOf[to] : kNone;
    std::uint32_t status = 2, value = fallback;
    if (anchor.empty()) {
      status = built ? 3 : 2;
    } else if (built && anchorsOf[to].count(anchor)) {
      status = 1;
      value = anchorsOf[to][anchor];
    }
    const auto w = x.ReadLink(i);
    ASSERT_EQ(w[5], status) << i;
    ASSERT_EQ(w[6], value) << i;
  }
}

}  // namespace
}  // namespace sfx
