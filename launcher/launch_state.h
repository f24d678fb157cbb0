// What one run of the launcher shares between its steps: where the records
// come from, and the values read from the setup record and the temporary
// folder. Filled on the main thread before the dialog starts and only read
// afterwards (also by the worker); the dialog receives it as its context.
#pragma once

#include <cstdint>

#include "payload/record_source.h"

namespace sfx::launcher {

// Buffers of the launch state and of the extraction.
inline constexpr std::uint32_t kTitleBytes = 32;  // at most 31 characters shown
inline constexpr std::uint32_t kProgramNameBytes = 256;
inline constexpr std::uint32_t kArgumentsBytes = 256;
inline constexpr std::uint32_t kPathBytes = 260;
inline constexpr std::uint32_t kEntryNameBytes = 256;

struct LaunchState {
  const payload::RecordSource* records = nullptr;
  char tempFolder[kPathBytes] = {};
  std::uint32_t fileCount = 0;
  char title[kTitleBytes] = {};
  char programName[kProgramNameBytes] = {};
  char arguments[kArgumentsBytes] = {};
};

}  // namespace sfx::launcher
