// The files of a pack, compressed by several workers while one writer puts
// the payload out in order. Files are cut into units of whole compressor
// pieces; since every piece is an independent dynamic block that ends at any
// bit, the writer joins the units' bit strings and the result is the same,
// byte for byte, as compressing each file in one go, whatever the number of
// workers and however their work interleaves. The writer takes the units in
// order from a window of a few per worker (a worker waits while the window
// is full), so memory stays bounded however large the tree is.
#pragma once

#include <cstdint>
#include <vector>

#include "payload/writer.h"
#include "tools/sfxkit/pack_tree.h"
#include "tools/sfxkit/progress.h"
#include "tools/sfxkit/status.h"

namespace sfx::cli {

struct PackWork {
  bool store = false;  // store every file as it is
  unsigned jobs = 1;   // workers; 1 compresses on the calling thread
};

// Adds a record for every entry to `writer` (started, not finished), in
// order: folders as they are, files compressed unless that is not smaller.
// `storedBytes` receives the total of the files' stored sizes. The message
// names the file or the payload's limit that stopped it.
Status PackEntries(const std::vector<PackEntry>& entries, const PackWork& work, payload::PayloadWriter* writer,
                   ProgressBar* progress, std::uint64_t* storedBytes);

// What a payload past the format's limit is refused with.
inline constexpr char kPayloadLimitMessage[] =
    "the payload would pass 4 GiB, the most a launcher's payload can hold (its offsets are 32-bit)";

// The unit of work: whole pieces of the compressor, so that a file's units
// are compressed exactly as the file would be in one go.
inline constexpr std::uint32_t kPackUnitPieces = 8;

}  // namespace sfx::cli
