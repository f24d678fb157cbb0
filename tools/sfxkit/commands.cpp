// The table of subcommands. Each subcommand lives in a file of its own.
#include "tools/sfxkit/commands.h"
#include "tools/sfxkit/cli.h"

namespace sfx::cli {

const Command kCommands[] = {
    {"pack", "pack a folder and a setup program into a self-extracting launcher", kPackUsage, RunPack},
    {"list", "show the setup record and the entries of a launcher", kListUsage, RunList},
    {"verify", "check every entry of a launcher's payload without writing anything", kVerifyUsage, RunVerify},
    {"extract", "unpack a launcher's payload into a folder without running it", kExtractUsage, RunExtract},
    {"inflate", "decode raw DEFLATE data", kInflateUsage, RunInflate},
    {"crc32", "show the CRC-32 of files", kCrc32Usage, RunCrc32},
    {"deflate", "compress a file into raw DEFLATE data", kDeflateUsage, RunDeflate},
    {"zip", "list, extract or add members of a ZIP archive", kZipUsage, RunZip},
    {"md5", "show the MD5 digest of files", kMd5Usage, RunMd5},
    {"base64", "encode or decode Base64 text", kBase64Usage, RunBase64},
};
const int kCommandCount = sizeof kCommands / sizeof kCommands[0];

}  // namespace sfx::cli
