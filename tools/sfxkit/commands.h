// Entry points and help texts of the subcommands, one file each.
#pragma once

namespace sfx::cli {

extern const char kStatsUsage[];
int RunStats(int argc, char** argv);

extern const char kInflateUsage[];
int RunInflate(int argc, char** argv);

extern const char kCrc32Usage[];
int RunCrc32(int argc, char** argv);
extern const char kDeflateUsage[];
int RunDeflate(int argc, char** argv);

}  // namespace sfx::cli
