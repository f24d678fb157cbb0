// File modification times as the payload carries them: local calendar time
// to the hundredth of a second, as the machine's time zone rules give it.
#pragma once

#include <filesystem>
#include <string>

#include "payload/records.h"
#include "services/core/file_system.h"

namespace sfx::cli {

using payload::FileHeader;

// The file's modification time in local time. False when it cannot be read
// or lies outside the years the payload can carry.
bool LocalModificationTime(const std::filesystem::path& path, DateTimeRecord* time);
// Gives a file the record's local time as its modification time. False when
// the time has no equivalent here or the file refuses it.
bool SetLocalModificationTime(const std::filesystem::path& path, const FileHeader& header);

}  // namespace sfx::cli
