// The sfxkit command-line tool: subcommands, their help, and how failures are
// reported (a failing Result in hex with a short reason, exit status 1).
#pragma once

#include <cstdio>
#include <string_view>

#include "services/core/service.h"

namespace sfx::cli {

struct Command {
  const char* name;
  const char* summary;                // one line, for the command list
  const char* usage;                  // the full --help text
  int (*run)(int argc, char** argv);  // argv[0] is the subcommand's name
};

// Every subcommand, in the order `sfxkit --help` lists them.
extern const Command kCommands[];
extern const int kCommandCount;

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A short reason for a Result code, or "" when none is known.
const char* DescribeResult(Result r);

// "sfxkit: <what>: 0x80000002 (out of memory)" on stderr; returns kExitFailure.
int ReportFailure(std::string_view what, Result r);
// "sfxkit: <message>" on stderr; returns kExitFailure.
int ReportError(std::string_view message);
// "sfxkit <cmd>: <message>" and a pointer to --help on stderr; returns kExitUsage.
int ReportUsageError(const Command& command, std::string_view message);

// True when argument is -h or --help.
bool IsHelpFlag(std::string_view argument);

}  // namespace sfx::cli
