// Turning one file record into a folder or a file inside the temporary
// folder. Runs on the extraction worker.
#pragma once

#include <cstdint>

namespace sfx::launcher {

// Reads, checks and extracts record n (1-based), queueing its progress text.
// A record that fails its checks fails without a message; every later
// failure shows one message box naming the step (two when closing the output
// fails after an earlier failure).
bool ExtractRecord(const char* folder, std::uint32_t n);

// Creates the folder `name` (platform separators, no trailing one).
bool CreateFolderEntry(const char* folder, const char* name);

// Writes the file `name` from a raw DEFLATE stream (method 0) or stored bytes
// (method 1), checks its size and CRC-32 against the record and gives it the
// record's time stamp (`localTime`, in 100-ns units since 1601, local time).
bool ExtractFileEntry(const char* folder, const char* name, const std::uint8_t* data, std::uint32_t size,
                      std::uint32_t crc, std::uint32_t storedSize, std::uint8_t method, std::uint64_t localTime);

}  // namespace sfx::launcher
