// Packing with several workers: the launcher is the same, byte for byte,
// whatever the number of jobs, and every file's data is exactly what one
// pass of the compressor over the whole file makes (or the file stored when
// that is not smaller), so units joined at odd bits are caught. A payload
// past its limit and a failing write leave no launcher behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload/records.h"
#include "services/codec/deflater.h"
#include "services/core/memory_stream.h"
#include "tests/tools/sfxkit/sfxkit_test_util.h"
#include "tools/sfxkit/commands.h"
#include "tools/sfxkit/launcher_payload.h"

namespace sfx::cli::test {
namespace {

const std::vector<std::uint8_t> kStub = {0x7F, 'E', 'L', 'F', 9, 8, 7, 6};

std::vector<std::uint8_t> Text(std::size_t size, int seed) {
  std::string text;
  while (text.size() < size) text += "row " + std::to_string(text.size() % (97 + seed)) + " of a table\n";
  text.resize(size);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::vector<std::uint8_t> Joined(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The whole file through the compressor in one go, as a single-threaded
// packer would; empty when the output would not be smaller than the file.
std::vector<std::uint8_t> OneShot(std::vector<std::uint8_t> content) {
  const auto size = static_cast<std::uint32_t>(content.size());
  if (size < 2) return {};
  Deflater* deflater = nullptr;
  Stream* input = nullptr;
  EXPECT_EQ(Deflaters()->CreateDeflater(kDeflateDefaultBlockSize, &deflater), kOk);
  EXPECT_EQ(MemoryStreams()->CreateMemoryStream(content.data(), size, size, kMemoryStreamCallerOwns, &input), kOk);
  std::vector<std::uint8_t> out(size - 1);
  std::uint32_t total = 0;
  Result r = deflater->InitOutput(out.data(), size - 1);
  if (Succeeded(r)) r = deflater->Compress(input, 0, size, nullptr, nullptr);
  if (Succeeded(r)) r = deflater->FinishOutput(&total);
  (void)input->Close();
  (void)deflater->DestroyDeflater();
  if (r == kDeflateOutputFull) return {};
  EXPECT_EQ(r, kOk);
  out.resize(total);
  return out;
}

class PackJobsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_ = scratch_ / "tree";
    WriteText(tree_ / "setup.sh", "#!/bin/sh\n");
    // Many small files, some too short or too random to compress.
    for (int i = 0; i < 60; ++i) {
      const std::string name = "small/f" + std::to_string(i);
      if (i % 5 == 0)
        WriteBytes(tree_ / name, {});
      else if (i % 5 == 1)
        WriteBytes(tree_ / name, RandomBytes(i, i));
      else if (i % 5 == 2)
        WriteBytes(tree_ / name, RandomBytes(1000 + 37 * i, i));
      else
        WriteBytes(tree_ / name, Text(100 + 611 * i, i));
    }
    // Large files of many units: compressible; random (stored from the
    // first unit on); compressible at first and then random, so that it is
    // stored after compressed units were written; one unit and a byte.
    WriteBytes(tree_ / "large/text", Text(600'000, 3));
    WriteBytes(tree_ / "large/random", RandomBytes(300'000, 11));
    WriteBytes(tree_ / "large/turns", Joined(std::vector<std::uint8_t>(1000, 'a'), RandomBytes(1'000'000, 5)));
    WriteBytes(tree_ / "large/unit", Text(8 * 32768 + 1, 4));
    WriteBytes(stub_, kStub);
  }

  CommandResult Pack(const fs::path& out, std::vector<std::string> extra, const PackLimits& limits = PackLimits()) {
    std::vector<std::string> args = {tree_.string(), "-o", out.string(), "--stub", stub_.string(), "--run", "setup.sh"};
    args.insert(args.end(), extra.begin(), extra.end());
    limits_ = &limits;
    return RunCommand([](int argc, char** argv) { return RunPackWithLimits(argc, argv, *limits_); }, "pack", args);
  }

  ScratchFolder scratch_;
  fs::path tree_, stub_ = scratch_ / "stub";
  static inline const PackLimits* limits_ = nullptr;
};

TEST_F(PackJobsTest, EveryJobCountWritesTheSameLauncherWithOneShotData) {
  std::vector<std::uint8_t> first;
  for (const char* jobs : {"1", "2", "4", "8", "4"}) {
    const fs::path out = scratch_ / (std::string("out") + jobs);
    const CommandResult r = Pack(out, {"-j", jobs});
    ASSERT_EQ(r.status, 0) << jobs << ": " << r.err;
    const std::vector<std::uint8_t> bytes = ReadBytes(out);
    if (first.empty()) first = bytes;
    EXPECT_TRUE(bytes == first) << "-j " << jobs << " differs from -j 1";
  }

  // Each file's record against the compressor run over the whole file.
  LauncherPayload launcher;
  ASSERT_TRUE(launcher.OpenBytes(first).ok());
  int stored = 0, compressed = 0;
  for (std::uint32_t n = 1;; ++n) {
    char name[payload::kRecordNameBytes];
    payload::FormatRecordName(n, name);
    std::span<const std::uint8_t> record;
    if (!launcher.Find(name, &record)) break;
    const payload::FileHeader h = payload::DecodeFileHeader(record.data());
    const std::string entry(reinterpret_cast<const char*>(record.data()) + payload::kFileHeaderSize, h.nameLength);
    if (entry.back() == '/') continue;
    const std::vector<std::uint8_t> content = ReadBytes(tree_ / entry);
    const std::vector<std::uint8_t> data(record.begin() + payload::kFileHeaderSize + h.nameLength, record.end());
    const std::vector<std::uint8_t> expected = OneShot(content);
    SCOPED_TRACE(entry);
    EXPECT_EQ(h.size, content.size());
    // Its first unit compresses; the rest makes it larger than stored.
    if (entry == "large/turns") {
      EXPECT_TRUE(expected.empty());
    }
    if (expected.empty()) {
      ++stored;
      EXPECT_EQ(h.method, payload::kMethodStored);
      EXPECT_TRUE(data == content);
    } else {
      ++compressed;
      EXPECT_EQ(h.method, payload::kMethodDeflate);
      EXPECT_TRUE(data == expected);
    }
  }
  EXPECT_GT(stored, 10);
  EXPECT_GT(compressed, 10);
  EXPECT_EQ(RunCommand(RunVerify, "verify", {(scratch_ / "out1").string()}).status, 0);
}

TEST_F(PackJobsTest, AWindowsLauncherIsTheSameForEveryJobCount) {
  const std::string probe = Fixture("resource_probe_small.exe");
  if (probe.empty()) GTEST_SKIP() << "no mingw tools";
  stub_ = probe;
  const fs::path one = scratch_ / "one.exe", three = scratch_ / "three.exe";
  ASSERT_EQ(Pack(one, {"-j", "1"}).status, 0);
  ASSERT_EQ(Pack(three, {"-j", "3"}).status, 0);
  EXPECT_TRUE(ReadBytes(one) == ReadBytes(three));
  EXPECT_EQ(RunCommand(RunVerify, "verify", {three.string()}).status, 0);
}

TEST_F(PackJobsTest, AFailureLeavesNoLauncherAndKeepsTheOldOne) {
  struct Case {
    const char* what;
    PackLimits limits;
    const char* message;
    bool store = false;
  };
  const Case cases[] = {
      {"payload past its limit", {200'000, ~0ull}, "the payload would pass 4 GiB"},
      {"stored payload past its limit, known at once", {200'000, ~0ull}, "the payload would pass 4 GiB", true},
      {"disk full", {0xFFFFFFFFu, 300'000}, "cannot write"},
      {"disk full at once", {0xFFFFFFFFu, 0}, "cannot write"},
  };
  for (const Case& c : cases) {
    for (const char* jobs : {"1", "3"}) {
      SCOPED_TRACE(std::string(c.what) + ", -j " + jobs);
      const fs::path out = scratch_ / "setup.run";
      WriteText(out, "the old launcher");
      std::vector<std::string> extra = {"-j", jobs};
      if (c.store) extra.push_back("--store");
      const CommandResult r = Pack(out, extra, c.limits);
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
      EXPECT_EQ(ReadBytes(out), std::vector<std::uint8_t>(
                                    {'t', 'h', 'e', ' ', 'o', 'l', 'd', ' ', 'l', 'a', 'u', 'n', 'c', 'h', 'e', 'r'}));
      EXPECT_FALSE(fs::exists(scratch_ / "setup.run.partial"));
    }
  }
}

TEST_F(PackJobsTest, JobCountsOutsideTheRangeAreUsageErrors) {
  for (const char* jobs : {"0", "x", "257", "-1", ""}) {
    EXPECT_EQ(Pack(scratch_ / "o", {"-j", jobs}).status, 2) << jobs;
    EXPECT_FALSE(fs::exists(scratch_ / "o"));
  }
}

}  // namespace
}  // namespace sfx::cli::test
