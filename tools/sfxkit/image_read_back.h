// Reading a freshly written POSIX launcher back, a bounded piece at a time,
// to check that the file holds what the payload writer wrote: the stub, then
// an image whose trailer, directory entries and records all match, each
// record by the checksums of its header and of its data. Memory stays small
// however large the launcher is.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "payload/writer.h"
#include "tools/sfxkit/status.h"

namespace sfx::cli {

// `shown` names the file in messages.
Status CheckWrittenImage(const std::string& path, const std::string& shown, std::span<const std::uint8_t> stub,
                         const payload::PayloadWriter& writer);

}  // namespace sfx::cli
