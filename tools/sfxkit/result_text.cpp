#include <cstdint>

#include "tools/sfxkit/cli.h"

namespace sfx::cli {

const char* DescribeResult(Result r) {
  switch (static_cast<std::uint32_t>(r)) {
    case 0x80000000u: return "failed";
    case 0x80000002u: return "out of memory";
    case 0x80000003u: return "cannot open the file";
    case 0x80000012u: return "required output missing";
    case 0x80000013u: return "origin out of range";
    case 0x80000014u: return "mode out of range";
    case 0x80070009u: return "short read";
    case 0x8007000Au: return "short write";
    case 0x8007000Bu: return "seek landed elsewhere";
    default: break;
  }
  switch ((static_cast<std::uint32_t>(r) >> 16) & 0x7FFFu) {
    case 0x0007: return "stream operation failed";
    case 0x0008: return "file system operation failed";
    case 0x0201: return "compression failed";
    case 0x0202: return "invalid DEFLATE data";
    default: return "";
  }
}

}  // namespace sfx::cli
