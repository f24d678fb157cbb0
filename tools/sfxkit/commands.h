// Entry points and help texts of the subcommands, one file each.
#pragma once

#include <cstdint>

namespace sfx::cli {

extern const char kPackUsage[];
int RunPack(int argc, char** argv);
// Limits below the format's, so that tests can reach them with small trees.
struct PackLimits {
  std::uint64_t imageBytes = 0xFFFFFFFFu;  // the payload image may not pass this
  std::uint64_t failWritesPast = ~0ull;    // POSIX output writes past this many image bytes fail
};
int RunPackWithLimits(int argc, char** argv, const PackLimits& limits);
extern const char kListUsage[];
int RunList(int argc, char** argv);
extern const char kVerifyUsage[];
int RunVerify(int argc, char** argv);
extern const char kExtractUsage[];
int RunExtract(int argc, char** argv);

extern const char kInflateUsage[];
int RunInflate(int argc, char** argv);

extern const char kCrc32Usage[];
int RunCrc32(int argc, char** argv);
extern const char kDeflateUsage[];
int RunDeflate(int argc, char** argv);

extern const char kZipUsage[];
int RunZip(int argc, char** argv);
extern const char kMd5Usage[];
int RunMd5(int argc, char** argv);
extern const char kBase64Usage[];
int RunBase64(int argc, char** argv);

}  // namespace sfx::cli
