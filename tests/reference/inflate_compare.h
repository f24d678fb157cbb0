// Runs one compressed input through the production Inflater and through the
// reference decoder under the same conditions and records everything a caller
// can observe, so that tests and the fuzzer can require the two to agree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "services/core/service.h"

namespace sfx::ref {

struct InflateRun {
  std::uint32_t windowSize = 32768;
  bool streamInput = false;           // InitInputStream instead of InitInput
  std::uint32_t streamPosition = 0;   // the input sits at this offset of the source stream
  std::uint32_t streamShortfall = 0;  // the source stream lacks this many of the input's last bytes
  bool withSize = true;
  bool withCrc = true;
  bool withAdler = true;
  bool withProgress = true;
  int failProgressAt = -1;        // the n-th progress call (from 0) fails
  int failWriteAt = -1;           // the n-th output write (from 0) fails
  bool blockByBlock = false;      // ReadBlockHeader / ReadDynamicTables / InflateBlock instead of Extract
  std::uint32_t blockBuffer = 0;  // InflateBlock into a caller buffer of this size (0: the window)
};

struct InflateObservation {
  Result result = 0;
  std::vector<std::string> writes;      // each output write, in order
  std::vector<std::uint32_t> progress;  // the byte count each progress call saw
  std::vector<std::string> steps;       // block-by-block mode: each call and what it returned
  std::uint32_t size = 0;
  std::uint32_t crc = 0;
  std::uint32_t adler = 0;

  bool operator==(const InflateObservation&) const = default;
  std::string Output() const;  // all writes joined
  std::string Describe() const;
};

InflateObservation RunProduction(const std::uint8_t* data, std::uint32_t length, const InflateRun& run);
InflateObservation RunReference(const std::uint8_t* data, std::uint32_t length, const InflateRun& run);

}  // namespace sfx::ref
