// The pack, list, verify and extract subcommands end to end on real folders:
// round trips for both targets (the Windows one on a mingw-built stub),
// what packing refuses, and damaged launchers refused with a message.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/file.h"
#include "tests/tools/sfxkit/sfxkit_test_util.h"
#include "tools/sfxkit/commands.h"
#include "tools/sfxkit/launcher_payload.h"
#include "tools/sfxkit/pe_format.h"
#include "tools/sfxkit/pe_image.h"

namespace sfx::cli::test {
namespace {

// A small stand-in for the POSIX launcher: packing only copies it.
const std::vector<std::uint8_t> kPosixStub = {0x7F, 'E', 'L', 'F', 1, 2, 3, 4, 5, 6, 7, 8};

std::string Joined(std::vector<std::string> names) {
  std::string s;
  for (auto& n : names) s += n + "\n";
  return s;
}

// The names in the last column of `sfxkit list`, in order.
std::vector<std::string> ListedNames(const std::string& listing) {
  std::vector<std::string> names;
  std::size_t at = listing.find("\nkind");
  at = listing.find('\n', at + 1);
  while (at != std::string::npos && at + 1 < listing.size() && listing[at + 1] != '\n') {
    const std::size_t end = listing.find('\n', at + 1);
    const std::string line = listing.substr(at + 1, end - at - 1);
    names.push_back(line.substr(line.rfind(' ') + 1));
    at = end;
  }
  return names;
}

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_ = scratch_ / "tree";
    WriteText(tree_ / "setup.sh", "#!/bin/sh\necho setup\n");
    WriteText(tree_ / "B.txt", "capital letters sort first\n");
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i % 17) + " of a compressible text\n";
    WriteText(tree_ / "a" / "b" / "deep.txt", text);
    WriteBytes(tree_ / "a" / "empty.bin", {});
    WriteBytes(tree_ / "a" / "random.bin", RandomBytes(70000, 7));
    fs::create_directories(tree_ / "z_empty_folder");
    // Known time stamps, a day ago at an odd hundredth.
    const auto stamp = fs::file_time_type::clock::now() - std::chrono::hours(24) - std::chrono::milliseconds(4570);
    for (const char* f : {"setup.sh", "B.txt", "a/b/deep.txt", "a/empty.bin", "a/random.bin"})
      fs::last_write_time(tree_ / f, stamp);
    stub_ = scratch_ / "stub";
    WriteBytes(stub_, kPosixStub);
  }

  CommandResult Pack(std::vector<std::string> extra, const fs::path& out) {
    std::vector<std::string> args = {tree_.string(), "-o", out.string(), "--stub", stub_.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCommand(RunPack, "pack", args);
  }

  void ExpectSameTree(const fs::path& extracted) {
    for (const auto& e : fs::recursive_directory_iterator(tree_)) {
      const fs::path other = extracted / fs::relative(e.path(), tree_);
      ASSERT_TRUE(fs::exists(other)) << other;
      if (e.is_directory()) continue;
      EXPECT_EQ(ReadBytes(e.path()), ReadBytes(other)) << other;
      const auto a = fs::last_write_time(e.path()), b = fs::last_write_time(other);
      EXPECT_LT(std::chrono::abs(a - b), std::chrono::milliseconds(10)) << other;
    }
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& e : fs::recursive_directory_iterator(extracted)) ++count;
    EXPECT_EQ(count, 8u);
  }

  ScratchFolder scratch_;
  fs::path tree_, stub_;
};

const std::vector<std::string> kExpectedOrder = {"B.txt",       "a/",           "a/b/",     "a/b/deep.txt",
                                                 "a/empty.bin", "a/random.bin", "setup.sh", "z_empty_folder/"};

TEST_F(PackTest, PosixRoundTripThroughListVerifyAndExtract) {
  const fs::path out = scratch_ / "setup.run";
  auto r = Pack({"--run", "setup.sh", "--args", "--quiet yes", "--title", "Example"}, out);
  ASSERT_EQ(r.status, 0) << r.err;
  // The stub comes first, unchanged.
  const auto bytes = ReadBytes(out);
  ASSERT_GT(bytes.size(), kPosixStub.size());
  EXPECT_TRUE(std::equal(kPosixStub.begin(), kPosixStub.end(), bytes.begin()));
  EXPECT_FALSE(fs::exists(scratch_ / "setup.run.partial"));

  r = RunCommand(RunList, "list", {out.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("(posix)"), std::string::npos);
  EXPECT_NE(r.out.find("\"Example\""), std::string::npos);
  EXPECT_NE(r.out.find("arguments: --quiet yes"), std::string::npos);
  EXPECT_NE(r.out.find("entries:   8 (longest name 15 bytes, largest stored 70000 bytes)"), std::string::npos) << r.out;
  EXPECT_EQ(Joined(ListedNames(r.out)), Joined(kExpectedOrder)) << r.out;
  // Incompressible data is stored, text is compressed, empty files are stored.
  auto lineOf = [&](const std::string& name) {
    const std::size_t end = r.out.find(" " + name + "\n");
    return r.out.substr(r.out.rfind('\n', end) + 1, end - r.out.rfind('\n', end));
  };
  EXPECT_NE(lineOf("a/random.bin").find("stored"), std::string::npos);
  EXPECT_NE(lineOf("a/b/deep.txt").find("deflate"), std::string::npos);
  EXPECT_NE(lineOf("a/empty.bin").find("stored"), std::string::npos);

  r = RunCommand(RunVerify, "verify", {out.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("intact"), std::string::npos);

  r = RunCommand(RunExtract, "extract", {out.string(), "-o", (scratch_ / "x").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  ExpectSameTree(scratch_ / "x");
  // Existing files are not replaced unless asked.
  r = RunCommand(RunExtract, "extract", {out.string(), "-o", (scratch_ / "x").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("exists already"), std::string::npos) << r.err;
  r = RunCommand(RunExtract, "extract", {out.string(), "--overwrite", "-o", (scratch_ / "x").string()});
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(PackTest, PosixPayloadsKeepExecuteBits) {
  if (sfx::platform::kPathSeparator == '\\') GTEST_SKIP() << "files on Windows carry no execute bits";
  fs::permissions(tree_ / "setup.sh", fs::perms::owner_exec, fs::perm_options::add);
  fs::permissions(tree_ / "a" / "b" / "deep.txt", fs::perms::owner_exec, fs::perm_options::remove);
  const fs::path out = scratch_ / "setup.run";
  ASSERT_EQ(Pack({"--run", "setup.sh"}, out).status, 0);
  const auto r = RunCommand(RunExtract, "extract", {out.string(), "-o", (scratch_ / "x").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto runnable = [](const fs::path& p) {
    return (fs::status(p).permissions() & fs::perms::owner_exec) != fs::perms::none;
  };
  EXPECT_TRUE(runnable(scratch_ / "x" / "setup.sh"));
  EXPECT_FALSE(runnable(scratch_ / "x" / "a" / "b" / "deep.txt"));
}

TEST_F(PackTest, StoreKeepsEveryFileAsItIs) {
  const fs::path out = scratch_ / "stored.run";
  ASSERT_EQ(Pack({"--run", "setup.sh", "--store"}, out).status, 0);
  const auto r = RunCommand(RunList, "list", {out.string()});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("deflate"), std::string::npos);
  EXPECT_EQ(RunCommand(RunVerify, "verify", {out.string()}).status, 0);
}

TEST_F(PackTest, WindowsRoundTripOnAMingwStub) {
  const std::string probe = Fixture("resource_probe_small.exe");
  if (probe.empty()) GTEST_SKIP() << "no mingw tools";
  stub_ = probe;
  const fs::path out = scratch_ / "setup.exe";
  auto r = Pack({"--run", "setup.sh", "--target", "windows"}, out);
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunCommand(RunList, "list", {out.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("(windows)"), std::string::npos);
  // Names carry the target's separator.
  std::vector<std::string> windowsNames;
  for (std::string name : kExpectedOrder) {
    std::replace(name.begin(), name.end(), '/', '\\');
    windowsNames.push_back(name);
  }
  EXPECT_EQ(Joined(ListedNames(r.out)), Joined(windowsNames));
  EXPECT_EQ(RunCommand(RunVerify, "verify", {out.string()}).status, 0);
  r = RunCommand(RunExtract, "extract", {out.string(), "-o", (scratch_ / "x").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  ExpectSameTree(scratch_ / "x");
  // The stub's own resources stay.
  const auto bytes = ReadBytes(out);
  pe::PeImage image;
  std::vector<pe::Resource> resources;
  std::string error;
  ASSERT_TRUE(sfx::cli::IsOk(image.Parse(bytes), &error) && sfx::cli::IsOk(image.ReadResources(&resources), &error))
      << error;
  EXPECT_EQ(resources.size(), 3u + 1u + kExpectedOrder.size() + 2u);  // probe's (dialog, icons x2, group, KEEPME)
  // Asking for the other target's kind of stub is refused.
  r = Pack({"--run", "setup.sh", "--target", "posix"}, out);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("not a posix launcher"), std::string::npos) << r.err;
}

TEST_F(PackTest, FailuresNameThePathGivenAndTheSystemsReason) {
  const fs::path out = scratch_ / "no" / "such" / "folder" / "setup.run";
  auto r = Pack({"--run", "setup.sh"}, out);
  EXPECT_EQ(r.status, 1);
  std::string expected = out.string();
  expected.append("': No such file or directory");
  EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("partial"), std::string::npos) << r.err;
  for (const auto& run : {RunList, RunVerify}) {
    r = RunCommand(run, "list", {(scratch_ / "nope").string()});
    EXPECT_NE(r.err.find("nope': No such file or directory"), std::string::npos) << r.err;
  }
  r = RunCommand(RunExtract, "extract", {(scratch_ / "nope").string(), "-o", (scratch_ / "x").string()});
  EXPECT_NE(r.err.find("nope': No such file or directory"), std::string::npos) << r.err;
}

TEST_F(PackTest, RefusesWhatTheFormatCannotCarry) {
  const fs::path out = scratch_ / "out.run";
  struct Case {
    const char* what;
    std::vector<std::string> args;
    const char* expect;
  };
  const std::vector<Case> cases = {
      {"program missing", {"--run", "nothere.sh"}, "not among the files"},
      {"program is a folder", {"--run", "a"}, "not among the files"},
      {"arguments too long", {"--run", "setup.sh", "--args", std::string(256, 'x')}, "at most 255"},
      {"title too long", {"--run", "setup.sh", "--title", std::string(256, 't')}, "more than 255"},
      {"bad target", {"--run", "setup.sh", "--target", "dos"}, "posix or windows"},
  };
  for (const Case& c : cases) {
    const auto r = Pack(c.args, out);
    EXPECT_NE(r.status, 0) << c.what;
    EXPECT_NE(r.err.find(c.expect), std::string::npos) << c.what << ": " << r.err;
    EXPECT_FALSE(fs::exists(out)) << c.what;
  }
  // A cut title is only a warning.
  auto r = Pack({"--run", "./setup.sh", "--title", std::string(40, 'T')}, out);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("first 31 bytes"), std::string::npos);
  // A one-letter program is a program like any other.
  WriteText(tree_ / "s", "#!/bin/sh\n");
  EXPECT_EQ(Pack({"--run", "s"}, out).status, 0);
  EXPECT_EQ(RunCommand(RunVerify, "verify", {out.string()}).status, 0);
  // A stub that already carries a payload is refused.
  stub_ = out;
  r = Pack({"--run", "setup.sh"}, scratch_ / "again.run");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("already carries a payload"), std::string::npos) << r.err;
  // Usage errors exit with 2.
  EXPECT_EQ(RunCommand(RunPack, "pack", {tree_.string(), "--run", "setup.sh"}).status, 2);
  EXPECT_EQ(RunCommand(RunPack, "pack", {tree_.string(), "-o", "x", "--run"}).status, 2);
  EXPECT_EQ(RunCommand(RunPack, "pack", {tree_.string(), "-o", "x", "--frobnicate"}).status, 2);
}

TEST_F(PackTest, RefusesNamesAndFilesTheLauncherCannotTake) {
  const fs::path out = scratch_ / "out.run";
  // A payload name over 255 bytes, though each part is a legal file name. On
  // Windows such a path is past the system's path limit before the payload's.
  if (sfx::platform::kPathSeparator != '\\') {
    WriteText(tree_ / std::string(200, 'd') / std::string(60, 'f'), "x");
    const auto r = Pack({"--run", "setup.sh"}, out);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("more than 255"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(std::string(60, 'f')), std::string::npos) << "names the file: " << r.err;
    fs::remove_all(tree_ / std::string(200, 'd'));
  }
  CommandResult r;

  // Names some file systems allow but the launcher refuses or would misread.
  // Device names are refused only for Windows: a POSIX payload carries them.
  for (const char* name : {"a\\b.txt", "CON", "aux.txt", "..."}) {
    const bool device = std::string(name) == "CON" || std::string(name) == "aux.txt";
    std::error_code ec;
    WriteText(tree_ / name, "x");
    // Some systems refuse such names or take them for devices: then there
    // is nothing to pack.
    bool listed = false;
    for (const auto& e : fs::directory_iterator(tree_)) listed = listed || e.path().filename() == name;
    if (!listed) continue;
    r = Pack({"--run", "setup.sh"}, out);
    if (device) {
      EXPECT_EQ(r.status, 0) << name << r.err;
      EXPECT_EQ(RunCommand(RunVerify, "verify", {out.string()}).status, 0) << name;
      fs::remove(out, ec);
    } else {
      EXPECT_EQ(r.status, 1) << name;
      EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
    }
    fs::remove(tree_ / name, ec);
  }

  // 4 GiB: a sparse file, so the test costs no disk.
  { std::ofstream big(tree_ / "big.bin", std::ios::binary); }
  std::error_code ec;
  fs::resize_file(tree_ / "big.bin", 0x100000000ull, ec);
  if (!ec) {
    r = Pack({"--run", "setup.sh"}, out);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("big.bin"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("4 GiB"), std::string::npos) << r.err;
  }
  fs::remove(tree_ / "big.bin", ec);
  EXPECT_FALSE(fs::exists(out));
}

// ---- damaged launchers ----

class DamagedLauncherTest : public PackTest {
 protected:
  void SetUp() override {
    PackTest::SetUp();
    launcher_ = scratch_ / "good.run";
    ASSERT_EQ(Pack({"--run", "setup.sh"}, launcher_).status, 0);
    good_ = ReadBytes(launcher_);
  }
  // list and verify both fail on `bytes` with a message containing `expect`.
  void ExpectRefused(const std::vector<std::uint8_t>& bytes, const char* expect, const char* what) {
    const fs::path bad = scratch_ / "bad";
    WriteBytes(bad, bytes);
    for (auto run : {RunList, RunVerify}) {
      const auto r = RunCommand(run, "cmd", {bad.string()});
      EXPECT_EQ(r.status, 1) << what;
      EXPECT_NE(r.err.find(expect), std::string::npos) << what << ": " << r.err;
    }
    const auto r = RunCommand(RunExtract, "extract", {bad.string(), "-o", (scratch_ / "never").string()});
    EXPECT_EQ(r.status, 1) << what;
    EXPECT_FALSE(fs::exists(scratch_ / "never" / "setup.sh")) << what;
  }
  fs::path launcher_;
  std::vector<std::uint8_t> good_;
};

TEST_F(DamagedLauncherTest, TruncatedOrNotALauncher) {
  for (std::size_t cut : {std::size_t{1}, std::size_t{31}, std::size_t{500}, good_.size() - kPosixStub.size()}) {
    std::vector<std::uint8_t> bytes(good_.begin(), good_.end() - static_cast<std::ptrdiff_t>(cut));
    ExpectRefused(bytes, "no payload", "truncated");
  }
  ExpectRefused(std::vector<std::uint8_t>(100, 'x'), "no payload", "text");
  ExpectRefused({}, "no payload", "empty");
  const auto r = RunCommand(RunList, "list", {(scratch_ / "missing").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot open"), std::string::npos);
}

TEST_F(DamagedLauncherTest, PayloadAppendedTwice) {
  std::vector<std::uint8_t> bytes = good_;
  bytes.insert(bytes.end(), good_.begin() + static_cast<std::ptrdiff_t>(kPosixStub.size()), good_.end());
  ExpectRefused(bytes, "more than one payload", "appended twice");
}

TEST_F(DamagedLauncherTest, DamagedDirectoryOrRecords) {
  // The directory's first entry points its record past the data area.
  std::vector<std::uint8_t> bytes = good_;
  const std::size_t size = bytes.size();
  const std::uint32_t directory = pe::LoadU32(&bytes[size - 32 + 16]);
  const std::size_t imageStart = kPosixStub.size();
  pe::StoreU32(&bytes[imageStart + directory + 4], 0x7FFFFFFF);
  ExpectRefused(bytes, "damaged", "directory");

  // One byte of the compressed text flipped: list still reads the records,
  // verify and extract find the damage and name the entry.
  LauncherPayload payload;
  std::string error;
  ASSERT_TRUE(sfx::cli::IsOk(payload.OpenBytes(good_), &error)) << error;
  std::span<const std::uint8_t> record;
  ASSERT_TRUE(payload.Find("F00000004", &record));  // a/b/deep.txt
  bytes = good_;
  const std::size_t at = static_cast<std::size_t>(record.data() - payload.bytes().data()) + record.size() / 2;
  bytes[at] ^= 0x10;
  WriteBytes(scratch_ / "flipped", bytes);
  EXPECT_EQ(RunCommand(RunList, "list", {(scratch_ / "flipped").string()}).status, 0);
  auto r = RunCommand(RunVerify, "verify", {(scratch_ / "flipped").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("a/b/deep.txt"), std::string::npos) << r.err;
  r = RunCommand(RunExtract, "extract", {(scratch_ / "flipped").string(), "-o", (scratch_ / "y").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("a/b/deep.txt"), std::string::npos) << r.err;
  // The damaged file never appears under its name, nor does its temporary one.
  EXPECT_FALSE(fs::exists(scratch_ / "y" / "a" / "b" / "deep.txt"));
  for (const auto& e : fs::recursive_directory_iterator(scratch_ / "y"))
    EXPECT_EQ(e.path().string().find("partial"), std::string::npos) << e.path();

  // A record whose size field disagrees with its length.
  bytes = good_;
  const std::size_t header = static_cast<std::size_t>(record.data() - payload.bytes().data());
  pe::StoreU32(&bytes[header + 16], pe::LoadU32(&bytes[header + 16]) + 1);
  ExpectRefused(bytes, "F00000004", "stored size");
}

TEST_F(DamagedLauncherTest, DamagedResourceTable) {
  const std::string probe = Fixture("resource_probe_small.exe");
  if (probe.empty()) GTEST_SKIP() << "no mingw tools";
  stub_ = probe;
  ASSERT_EQ(Pack({"--run", "setup.sh"}, launcher_).status, 0);
  const auto good = ReadBytes(launcher_);
  pe::PeImage image;
  std::string error;
  ASSERT_TRUE(sfx::cli::IsOk(image.Parse(good), &error));
  const pe::Section& s = image.sections()[static_cast<std::size_t>(image.ResourceSectionIndex())];
  const std::size_t root = s.rawOffset + (image.Directory(pe::kDirResource).rva - s.virtualAddress);

  std::vector<std::uint8_t> bytes = good;
  pe::StoreU16(&bytes[root + pe::kRdNumberOfIdEntries], 0x7FFF);
  ExpectRefused(bytes, "resource table is damaged", "entry count");
  bytes = good;
  pe::StoreU32(&bytes[root + pe::kRdHeaderSize + 4], pe::kRdHighBit | 0x7FFFFF00u);
  ExpectRefused(bytes, "resource table is damaged", "subdirectory offset");
  // Truncated inside the resource section.
  bytes.assign(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(root + 100));
  ExpectRefused(bytes, "damaged", "truncated");
}

}  // namespace
}  // namespace sfx::cli::test
