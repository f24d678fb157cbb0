// Entry points and help texts of the subcommands, one file each.
#pragma once

namespace sfx::cli {

extern const char kPackUsage[];
int RunPack(int argc, char** argv);
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
