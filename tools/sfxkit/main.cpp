#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "tools/sfxkit/cli.h"
#include "tools/sfxkit/stubs.h"

namespace sfx::cli {
namespace {

void PrintOverview(std::FILE* out) {
  std::fprintf(out,
               "usage: sfxkit <command> [options] [arguments]\n"
               "\n"
               "Packs a folder and a setup program into one self-extracting executable,\n"
               "and looks inside such executables.\n"
               "\n"
               "commands:\n");
  for (int i = 0; i < kCommandCount; ++i) std::fprintf(out, "  %-10s %s\n", kCommands[i].name, kCommands[i].summary);
  std::fprintf(out,
               "\n"
               "options:\n"
               "  -h, --help     show this help, or a command's help after its name\n"
               "  --version      show the version\n");
}

}  // namespace

}  // namespace sfx::cli

int main(int argc, char** argv) {
  using namespace sfx::cli;
  (void)sfx::RegisterCoreServices();
  (void)sfx::RegisterCodecServices();
  if (argc < 2) {
    PrintOverview(stderr);
    return kExitUsage;
  }
  const std::string_view first = argv[1];
  if (IsHelpFlag(first) || first == "help") {
    if (first == "help" && argc > 2) {
      for (int i = 0; i < kCommandCount; ++i) {
        if (argv[2] == std::string_view(kCommands[i].name)) {
          std::fputs(kCommands[i].usage, stdout);
          return kExitOk;
        }
      }
    }
    PrintOverview(stdout);
    return kExitOk;
  }
  if (first == "--version") {
    std::printf("sfxkit %s\n", SFX_VERSION);
    for (const bool windows : {false, true}) {
      const std::string stub = FindStub(windows);
      std::printf("%s stub: %s\n", windows ? "windows" : "posix", stub.empty() ? "(not found)" : stub.c_str());
    }
    return kExitOk;
  }
  for (int i = 0; i < kCommandCount; ++i) {
    const Command& command = kCommands[i];
    if (first != command.name) continue;
    for (int a = 2; a < argc; ++a) {
      if (std::strcmp(argv[a], "--") == 0) break;
      if (IsHelpFlag(argv[a])) {
        std::fputs(command.usage, stdout);
        return kExitOk;
      }
    }
    return command.run(argc - 1, argv + 1);
  }
  std::fprintf(stderr, "sfxkit: unknown command '%s'\nTry 'sfxkit --help'.\n", argv[1]);
  return kExitUsage;
}
