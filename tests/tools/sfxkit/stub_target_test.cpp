// The target a stub is built for: read from its header, checked by pack,
// named by list and verify.
#include <gtest/gtest.h>

#include "tests/tools/sfxkit/sfxkit_test_util.h"
#include "tools/sfxkit/commands.h"
#include "tools/sfxkit/stub_target.h"

namespace sfx::cli::test {
namespace {

// An ELF header far enough to name the machine: magic, class, byte order,
// then e_machine at offset 18.
std::vector<std::uint8_t> ElfHeader(std::uint8_t elfClass, std::uint8_t order, std::uint16_t machine) {
  std::vector<std::uint8_t> header(64, 0);
  header[0] = 0x7F, header[1] = 'E', header[2] = 'L', header[3] = 'F';
  header[4] = elfClass;
  header[5] = order;
  header[18] = static_cast<std::uint8_t>(order == 1 ? machine : machine >> 8);
  header[19] = static_cast<std::uint8_t>(order == 1 ? machine >> 8 : machine);
  return header;
}

std::vector<std::uint8_t> CutShort(std::vector<std::uint8_t> bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

TEST(StubTarget, NamesTheMachineOfTheHeader) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {ElfHeader(2, 1, 62), "linux-x86_64"},
      {ElfHeader(2, 1, 183), "linux-arm64"},
      {ElfHeader(1, 1, 3), "linux-i386"},
      {ElfHeader(1, 1, 40), "linux-arm"},
      {ElfHeader(2, 1, 243), "linux-riscv64"},
      {ElfHeader(2, 2, 183), "linux-arm64"},  // big-endian header, same machine
      {ElfHeader(2, 1, 0x1234), "linux-elf-machine-4660"},
      {ElfHeader(3, 1, 62), ""},  // no such class
      {ElfHeader(2, 0, 62), ""},  // no such byte order
      {CutShort(ElfHeader(2, 1, 62), 19), ""},
      {{'M', 'Z', 0, 0}, "windows"},
      {{'#', '!', '/', 'b'}, ""},
      {{}, ""},
  };
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(ExecutableTarget(cases[i].bytes), cases[i].expected) << "case " << i;
}

TEST(StubTarget, PackChecksTheStubAgainstANamedMachineAndListNamesIt) {
  ScratchFolder scratch;
  const fs::path tree = scratch / "tree";
  WriteText(tree / "setup.sh", "#!/bin/sh\n");
  const fs::path stub = scratch / "launcher-linux-arm64";
  WriteBytes(stub, ElfHeader(2, 1, 183));
  const fs::path out = scratch / "setup.run";
  auto pack = [&](const char* target) {
    return RunCommand(
        RunPack, "pack",
        {tree.string(), "-o", out.string(), "--run", "setup.sh", "--stub", stub.string(), "--target", target});
  };

  auto r = pack("linux-x86_64");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("is a linux-arm64 launcher, not linux-x86_64"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(out));
  r = pack("linux-mips");
  EXPECT_EQ(r.status, 2) << r.err;

  r = pack("linux-arm64");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("linux-arm64 launcher"), std::string::npos) << r.out;
  r = RunCommand(RunList, "list", {out.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("(posix) built for linux-arm64"), std::string::npos) << r.out;
  r = RunCommand(RunVerify, "verify", {out.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("linux-arm64 launcher"), std::string::npos) << r.out;
  // "posix" takes any POSIX stub.
  EXPECT_EQ(pack("posix").status, 0);
}

}  // namespace
}  // namespace sfx::cli::test
