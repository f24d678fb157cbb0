// The folder to pack, as the list of entries the payload will carry: walked in
// a stable order (names in byte order, each folder before its contents), with
// every name checked against what the payload and the launcher accept.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "services/core/file_system.h"
#include "tools/sfxkit/status.h"

namespace sfx::cli {

struct PackEntry {
  std::string name;  // relative, '/'-separated; folders end in '/'
  std::filesystem::path path;
  bool isFolder = false;
  bool executable = false;  // the owner may run it, and the payload keeps that
  std::uint64_t size = 0;
  DateTimeRecord time{};
};

struct PackTreeOptions {
  // Names that differ only in letter case collide on Windows file systems.
  bool caseInsensitiveNames = false;
  // POSIX payloads keep each file's execute bit; Windows ones have none.
  bool keepExecutable = false;
  // Device names (CON, AUX.txt, ...) are refused only where they are devices.
  bool refuseDeviceNames = false;
};

// Walks `root`. Fails with a message naming the first file the payload cannot
// carry: a name over 255 bytes or one the launcher would refuse, a file of
// 4 GiB or more, something that is neither a file nor a folder, a link to a
// folder, an unreadable time stamp, or more records than the format counts.
Status WalkPackTree(const std::filesystem::path& root, const PackTreeOptions& options, std::vector<PackEntry>* entries);

// A setup program name as the user typed it, in the payload's form ("./a\b"
// becomes "a/b").
std::string NormaliseProgramName(std::string name);

}  // namespace sfx::cli
