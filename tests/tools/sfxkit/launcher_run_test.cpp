// A real launcher packed by the tool and run as a user runs it: on Linux the
// POSIX launcher, in the Windows build the Windows launcher (packed by the
// same code that packs it on Linux) under Wine. The setup program reports the
// files it finds beside it; afterwards its folder must be gone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/process.h"
#include "services/codec/crc.h"
#include "tests/tools/sfxkit/sfxkit_test_util.h"
#include "tools/sfxkit/commands.h"

namespace sfx::cli::test {
namespace {

std::string Crc32Text(const std::vector<std::uint8_t>& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  (void)Crc()->UpdateCrc32(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &crc);
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(~crc));
  return text;
}

TEST(PackedLauncher, RunsTheSetupProgramOnTheUnpackedFilesAndCleansUp) {
  const char* stub = std::getenv("SFX_LAUNCHER_STUB");
  const char* probe = std::getenv("SFX_SETUP_PROBE");
  if (!stub || !probe) GTEST_SKIP() << "the launcher or the setup probe was not built";
  // Under Wine the launcher's dialog needs an X display (xvfb-run gives one).
  if (std::getenv("WINEPREFIX") && !std::getenv("DISPLAY")) GTEST_SKIP() << "Wine without a display";
  ScratchFolder scratch;
  const fs::path tree = scratch / "product";
  // The setup program sits in a subfolder, with data beside and below it.
  const bool windows = std::string(stub).ends_with(".exe");
  const std::string program = windows ? "bin/setup.exe" : "bin/setup";
  fs::create_directories(tree / "bin");
  fs::copy_file(probe, tree / program);
  WriteBytes(tree / "bin" / "data" / "random.bin", RandomBytes(300000, 3));
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "row " + std::to_string(i % 97) + "\n";
  WriteText(tree / "bin" / "data" / "rows.txt", text);
  WriteBytes(tree / "bin" / "empty", {});
  fs::create_directories(tree / "bin" / "nothing");

  const fs::path report = scratch / "report.txt";
  const fs::path launcher = scratch / (windows ? "setup.exe" : "setup.run");
  const auto r = RunCommand(RunPack, "pack",
                            {tree.string(), "-o", launcher.string(), "--stub", stub, "--run", program, "--args",
                             std::string("\"").append(report.string()).append("\" second"), "--title", "Probe"});
  ASSERT_EQ(r.status, 0) << r.err;

  const std::string commandLine = std::string("\"").append(launcher.string()).append("\"");
  int status = -1;
  ASSERT_TRUE(platform::RunProgramAndWait(launcher.string().c_str(), commandLine.c_str(), &status));
  EXPECT_EQ(status, 0);
  const auto bytes = ReadBytes(report);
  ASSERT_FALSE(bytes.empty()) << "the setup program did not run";
  std::string got(bytes.begin(), bytes.end());
  std::erase(got, '\r');

  const std::string folderLine =
      got.substr(got.find("folder ") + 7, got.find('\n', got.find("folder ")) - got.find("folder ") - 7);
  std::string expected = "arg [second]\nfolder " + folderLine + "\n";
  // The probe lists what lies beside it, sorted by name.
  expected += "data/\n";
  expected += "data/random.bin 300000 " + Crc32Text(ReadBytes(tree / "bin" / "data" / "random.bin")) + "\n";
  expected += "data/rows.txt " + std::to_string(text.size()) + " " +
              Crc32Text(ReadBytes(tree / "bin" / "data" / "rows.txt")) + "\n";
  expected += "empty 0 00000000\n";
  expected += "nothing/\n";
  const auto self = ReadBytes(tree / program);
  expected += fs::path(program).filename().string() + " " + std::to_string(self.size()) + " " + Crc32Text(self) + "\n";
  EXPECT_EQ(got, expected);
  // The launcher deleted the temporary folder (the probe's folder is its bin/).
  EXPECT_FALSE(fs::exists(fs::path(folderLine).parent_path())) << folderLine;
}

}  // namespace
}  // namespace sfx::cli::test
