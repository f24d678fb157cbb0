// Turning one file record into a folder or a file inside the temporary
// folder. Runs on the extraction worker.
#pragma once

#include <cstdint>

#include "launcher/launch_state.h"
#include "payload/record_check.h"
#include "payload/record_source.h"

namespace sfx::launcher {

// Reads, checks and extracts record n (1-based) of `records`, queueing its
// progress text. A record that fails its checks fails without a message;
// every later failure shows one message box naming the step (two when
// closing the output fails after an earlier failure).
bool ExtractRecord(const payload::RecordSource& records, const char* folder, std::uint32_t n);

// `name` with the platform's separators into `local`; false when too long.
bool CopyWithPlatformSeparators(const char* name, char (&local)[kEntryNameBytes]);

// Creates the folder `name` (as stored, no trailing separator); messages
// name it as stored.
bool CreateFolderEntry(const char* folder, const char* name);

// Writes the file `name` (zero-terminated, as stored; messages show it so) from the
// checked file record, checks its size and CRC-32 against the record and
// gives it the record's time stamp.
bool ExtractFileEntry(const char* folder, const char* name, const payload::FileRecord& record);

}  // namespace sfx::launcher
