#include "tools/sfxkit/stub_target.h"

#include <cstring>

namespace sfx::cli {

std::string ExecutableTarget(std::span<const std::uint8_t> file) {
  if (file.size() >= 2 && file[0] == 'M' && file[1] == 'Z') return "windows";
  if (file.size() < kElfMachineOffset + 2 || std::memcmp(file.data(), kElfMagic, sizeof kElfMagic) != 0) return {};
  const std::uint8_t elfClass = file[kElfClassOffset];
  const std::uint8_t order = file[kElfDataOffset];
  if ((elfClass != 1 && elfClass != 2) || (order != 1 && order != 2)) return {};
  const std::uint8_t lo = file[kElfMachineOffset + (order == 1 ? 0 : 1)];
  const std::uint8_t hi = file[kElfMachineOffset + (order == 1 ? 1 : 0)];
  const auto machine = static_cast<std::uint16_t>(lo | hi << 8);
  const bool wide = elfClass == 2;
  switch (machine) {
    case kElfMachineX86_64: return "linux-x86_64";
    case kElfMachineAarch64: return "linux-arm64";
    case kElfMachineI386: return "linux-i386";
    case kElfMachineArm: return "linux-arm";
    case kElfMachineRiscv: return wide ? "linux-riscv64" : "linux-riscv32";
    default: return "linux-elf-machine-" + std::to_string(machine);
  }
}

bool IsKnownTargetName(const std::string& name) {
  for (const char* known :
       {"posix", "windows", "linux-x86_64", "linux-arm64", "linux-i386", "linux-arm", "linux-riscv64"}) {
    if (name == known) return true;
  }
  return false;
}

const char* HostPosixTarget() {
#if defined(__x86_64__)
  return "linux-x86_64";
#elif defined(__aarch64__)
  return "linux-arm64";
#elif defined(__i386__)
  return "linux-i386";
#elif defined(__arm__)
  return "linux-arm";
#elif defined(__riscv) && __riscv_xlen == 64
  return "linux-riscv64";
#else
  return "posix";
#endif
}

}  // namespace sfx::cli
