// Which payload names may be used inside the temporary folder.
//
// Entry names and the setup program's name come from the payload and are
// untrusted: joined to the folder as they stand, a name with ".." parts, a
// leading separator, a drive or any colon (which also reaches alternate data
// streams), a device name, or an embedded zero byte would write files or
// start a program outside the temporary folder.
#pragma once

#include <cstdint>

#include "platform/file.h"

namespace sfx::payload {

// True when every part between separators ('/' or '\') is a plain name: not
// empty, not made of dots and spaces only (".", "..", "..." and names that
// Windows trims to them), not a device name (CON, NUL, COM1, ... also with an
// extension; only when `refuseDeviceNames`: they are devices only on
// Windows), and the name has no colon, no zero byte and no leading
// separator. A folder entry's single trailing separator is allowed.
bool IsSafeEntryName(const char* name, std::uint32_t length, bool refuseDeviceNames = platform::kDeviceNamesReserved);

// True for a folder entry's name: one ending in a slash or a backslash.
inline bool IsFolderEntryName(const char* name, std::uint32_t length) {
  return length > 0 && (name[length - 1] == '/' || name[length - 1] == '\\');
}

// Turns both kinds of separator into the platform's own.
void UsePlatformSeparators(char* name);

}  // namespace sfx::payload
