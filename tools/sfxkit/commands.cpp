// The table of subcommands. Each subcommand lives in a file of its own.
#include "tools/sfxkit/commands.h"
#include "tools/sfxkit/cli.h"

namespace sfx::cli {

const Command kCommands[] = {
    {"stats", "show the memory service's statistics after registration", kStatsUsage, RunStats},
    {"inflate", "decode raw DEFLATE data", kInflateUsage, RunInflate},
    {"crc32", "show the CRC-32 of files", kCrc32Usage, RunCrc32},
    {"deflate", "compress a file into raw DEFLATE data", kDeflateUsage, RunDeflate},
};
const int kCommandCount = sizeof kCommands / sizeof kCommands[0];

}  // namespace sfx::cli
