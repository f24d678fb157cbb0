// The machine a launcher runs on, read from its executable header: what
// `pack --target` checks a stub against and what `list` and `verify` name.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace sfx::cli {

// Fields of the ELF identification and header the target is read from.
inline constexpr std::uint8_t kElfMagic[4] = {0x7F, 'E', 'L', 'F'};
inline constexpr std::size_t kElfClassOffset = 4;     // 1: 32-bit, 2: 64-bit
inline constexpr std::size_t kElfDataOffset = 5;      // 1: little-endian, 2: big-endian
inline constexpr std::size_t kElfMachineOffset = 18;  // u16 e_machine, in the file's byte order
inline constexpr std::uint16_t kElfMachineI386 = 3;
inline constexpr std::uint16_t kElfMachineArm = 40;
inline constexpr std::uint16_t kElfMachineX86_64 = 62;
inline constexpr std::uint16_t kElfMachineAarch64 = 183;
inline constexpr std::uint16_t kElfMachineRiscv = 243;

// "linux-x86_64", "linux-arm64", "linux-i386", "linux-arm", "linux-riscv64",
// "linux-elf-machine-N" for another machine, "windows" for a PE image, "" for
// anything else.
std::string ExecutableTarget(std::span<const std::uint8_t> file);

// Whether `name` is a --target value: "posix", "windows" or one of the Linux
// machine names above.
bool IsKnownTargetName(const std::string& name);

// The target the host's own launcher is built for, as ExecutableTarget names it.
const char* HostPosixTarget();

}  // namespace sfx::cli
