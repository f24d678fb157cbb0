// How the subcommands report failures; in the library, so that tests and
// fuzzers that run a subcommand link without main().
#include <cstdio>
#include <string_view>

#include "tools/sfxkit/cli.h"

namespace sfx::cli {

bool IsHelpFlag(std::string_view argument) { return argument == "-h" || argument == "--help"; }

int ReportFailure(std::string_view what, Result r) {
  const char* reason = DescribeResult(r);
  std::fprintf(stderr, "sfxkit: %.*s: 0x%08X%s%s%s\n", static_cast<int>(what.size()), what.data(),
               static_cast<unsigned>(r), *reason ? " (" : "", reason, *reason ? ")" : "");
  return kExitFailure;
}

int ReportError(std::string_view message) {
  std::fprintf(stderr, "sfxkit: %.*s\n", static_cast<int>(message.size()), message.data());
  return kExitFailure;
}

int ReportUsageError(const Command& command, std::string_view message) {
  std::fprintf(stderr, "sfxkit %s: %.*s\nTry 'sfxkit %s --help'.\n", command.name, static_cast<int>(message.size()),
               message.data(), command.name);
  return kExitUsage;
}

}  // namespace sfx::cli
