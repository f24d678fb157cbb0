// Reading one file record: every rejection in its order (before and after
// the progress text is queued), folder entries, and the extraction of files
// with each failure caption.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "launcher/extract_record.h"
#include "launcher/messages.h"
#include "launcher/progress_queue.h"
#include "tests/launcher/launcher_fixture.h"

namespace sfx {
namespace {

namespace fs = std::filesystem;
using payload::FileHeader;
using test::MakeRecord;
using test::StoredHeader;
using Texts = std::vector<std::string>;
using Captions = std::vector<std::string>;

class ExtractRecordTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(launcher::OpenProgressQueue()); }
  void TearDown() override {
    (void)test::DrainProgressTexts();
    launcher::CloseProgressQueue();
  }

  // Extracts record 1 made of exactly these bytes.
  bool ExtractOnly(const std::vector<std::uint8_t>& record) {
    test::TestPayload payload;
    payload.Raw(record);
    payload.Install();
    return launcher::ExtractRecord(payload.records(), folder_.str().c_str(), 1);
  }

  test::ScratchDir folder_;
  test::RecordingMessages messages_;
};

TEST_F(ExtractRecordTest, ChecksBeforeTheProgressTextFailSilently) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> record;
  };
  FileHeader h = StoredHeader("a", "x");
  std::vector<Case> cases;
  cases.push_back({"24 bytes, name length 0", MakeRecord(StoredHeader("", ""), "", {})});
  cases.push_back({"size one short", MakeRecord(h, "a", {})});
  cases.push_back({"size one long", MakeRecord(h, "a", {'x', 'y'})});
  // 24 + 10 + 0xFFFFFFFF is 33 in 32 bits: exactly this record's size, whose
  // name would run past its end and whose data would be 4 GiB long.
  FileHeader wrap = StoredHeader("abcdefghij", "");
  wrap.storedSize = 0xFFFFFFFFu;
  cases.push_back({"stored size wraps the sum", MakeRecord(wrap, "abcdefghi", {})});
  FileHeader zeroName = h;
  zeroName.nameLength = 0;
  zeroName.storedSize = 2;
  cases.push_back({"name length 0", MakeRecord(zeroName, "", {'a', 'x'})});
  // The name rule itself is tested with the names; here only that it is applied.
  cases.push_back({"name outside the folder", MakeRecord(StoredHeader("../a", "x"), "../a", {'x'})});
  for (const Case& c : cases) {
    EXPECT_FALSE(ExtractOnly(c.record)) << c.what;
    EXPECT_EQ(test::DrainProgressTexts(), Texts{}) << c.what;
  }
  // A missing record.
  test::TestPayload empty;
  empty.Install();
  EXPECT_FALSE(launcher::ExtractRecord(empty.records(), folder_.str().c_str(), 1));
  EXPECT_TRUE(messages_.Take().empty());
  EXPECT_TRUE(fs::is_empty(folder_.path()));
}

TEST_F(ExtractRecordTest, ChecksAfterTheProgressTextFailSilentlyToo) {
  struct Case {
    const char* what;
    FileHeader header;
    std::string name;
    std::vector<std::uint8_t> data;
  };
  std::vector<Case> cases;
  FileHeader h = StoredHeader("f", "x");
  h.hundredths = 100;
  cases.push_back({"1000 ms", h, "f", {'x'}});
  h = StoredHeader("f", "x");
  h.month = 2;
  h.day = 30;
  cases.push_back({"30 February", h, "f", {'x'}});
  h = StoredHeader("f", "x");
  h.year = 1600;
  cases.push_back({"year 1600", h, "f", {'x'}});
  h = StoredHeader("f", "x");
  h.hour = 24;
  cases.push_back({"hour 24", h, "f", {'x'}});
  h = StoredHeader("d/", "");
  h.size = 1;
  cases.push_back({"folder with a size", h, "d/", {}});
  h = StoredHeader("d/", "");
  h.crc = 1;
  cases.push_back({"folder with a CRC", h, "d/", {}});
  h = StoredHeader("f", "x");
  h.method = 2;
  cases.push_back({"method 2", h, "f", {'x'}});
  for (const Case& c : cases) {
    EXPECT_FALSE(ExtractOnly(MakeRecord(c.header, c.name, c.data))) << c.what;
    EXPECT_EQ(test::DrainProgressTexts(), Texts{std::string("Extracting: ").append(c.name)}) << c.what;
  }
  EXPECT_TRUE(messages_.Take().empty());
  EXPECT_TRUE(fs::is_empty(folder_.path()));
}

TEST_F(ExtractRecordTest, FolderEntriesCreateOneLevelEach) {
  test::TestPayload payload;
  payload.Folder("sub/");
  payload.Folder("sub\\inner\\");
  payload.Folder("sub/");  // exists already
  payload.Folder("missing/child/");
  FileHeader filler = StoredHeader("f2/", "");
  filler.filler[0] = 0xAB;  // filler bytes and the method byte of a folder are not read
  filler.filler[1] = 0xCD;
  filler.method = 9;
  payload.Raw(MakeRecord(filler, "f2/", {}));
  payload.Install();
  const std::string folder = folder_.str();
  EXPECT_TRUE(launcher::ExtractRecord(payload.records(), folder.c_str(), 1));
  EXPECT_TRUE(launcher::ExtractRecord(payload.records(), folder.c_str(), 2));
  EXPECT_TRUE(fs::is_directory(folder_.path() / "sub" / "inner"));
  EXPECT_TRUE(messages_.Take().empty());

  EXPECT_FALSE(launcher::ExtractRecord(payload.records(), folder.c_str(), 3));
  EXPECT_FALSE(launcher::ExtractRecord(payload.records(), folder.c_str(), 4));
  const std::vector<test::RecordedMessage> shown = messages_.Take();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].caption, "Create Folder");
  EXPECT_EQ(shown[0].text, (folder_.path() / "sub").string());  // the full path
  EXPECT_EQ(shown[0].style, 0x10u);
  EXPECT_EQ(shown[1].caption, "Create Folder");
  EXPECT_TRUE(launcher::ExtractRecord(payload.records(), folder.c_str(), 5));
  EXPECT_TRUE(fs::is_directory(folder_.path() / "f2"));
  EXPECT_EQ(test::DrainProgressTexts(), (Texts{"Extracting: sub/", "Extracting: sub\\inner\\", "Extracting: sub/",
                                               "Extracting: missing/child/", "Extracting: f2/"}));
}

TEST_F(ExtractRecordTest, FolderPathTooLongIsReported) {
  // The folder alone takes most of the 260 bytes.
  const std::string deep = folder_.str() + std::string(259 - folder_.str().size() - 3, 'x');
  test::TestPayload payload;
  payload.Folder("abcd/");
  payload.Install();
  EXPECT_FALSE(launcher::ExtractRecord(payload.records(), deep.c_str(), 1));
  EXPECT_EQ(messages_.Captions(), Captions{"Form Folder Path"});
  EXPECT_EQ(messages_.Take()[0].text, "abcd");
}

}  // namespace
}  // namespace sfx
