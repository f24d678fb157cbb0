// The payload records of a packed launcher of either target, found the way the
// launcher itself finds them: raw-data resources of a Windows executable, or
// the payload image appended to a POSIX executable. The whole file is read
// into memory and treated as hostile: nothing is served until the resource
// tree or the image directory has been checked.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "payload/image.h"
#include "tools/sfxkit/pe_image.h"
#include "tools/sfxkit/status.h"

namespace sfx::cli {

enum class Target { kPosix, kWindows };
const char* TargetName(Target target);

class LauncherPayload {
 public:
  // Reads the file and locates its payload. Fails with a message naming what
  // is wrong: unreadable, no payload, a damaged resource table or image
  // directory, or a payload appended more than once.
  Status Open(const std::string& path);
  // The same over bytes the caller already has (the fuzzer, tests).
  Status OpenBytes(std::vector<std::uint8_t> bytes);

  Target target() const { return target_; }
  // The record of that name; false when there is none.
  bool Find(const char* name, std::span<const std::uint8_t>* record) const;
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  Status OpenWindows();
  Status OpenPosix();

  std::vector<std::uint8_t> bytes_;
  Target target_ = Target::kPosix;
  std::map<std::string, std::span<const std::uint8_t>> resources_;  // Windows: raw-data resources by name
  payload::PayloadImage image_;                                     // POSIX
};

}  // namespace sfx::cli
