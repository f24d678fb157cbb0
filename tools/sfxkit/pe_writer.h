// Writing resources into a copy of a 32-bit Windows executable: the stub's
// own resources (dialogs, icons, version data, ...) are kept and the new ones
// merged into one rebuilt resource section. When the old resource section is
// the last thing in the image it is replaced in place; otherwise a new section
// is added at the end and the old one stays, unreferenced, so that no other
// section has to move in memory (their addresses are baked into the code).
// Headers without room for one more section header grow, and the sections
// move down the file by the same amount.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/sfxkit/pe_image.h"
#include "tools/sfxkit/status.h"

namespace sfx::pe {

using cli::Status;

// Lays out a complete resource section for `resources` (any order; no two may
// share type, name and language) whose first byte will be at `baseRva`.
// Resource data is placed after the tree, each piece 8-byte aligned.
Status BuildResourceSection(const std::vector<Resource>& resources, std::uint32_t baseRva,
                            std::vector<std::uint8_t>* out);

// The stub's file with `added` merged into its resources. Fails with a message
// when the stub cannot carry them: a signed stub (the signature would no
// longer match), sections that overlap, headers that cannot grow before the
// first section, an added resource that the stub already has, or an image
// that would pass 4 GiB.
Status WriteWithResources(const PeImage& stub, const std::vector<Resource>& added, std::vector<std::uint8_t>* out);

}  // namespace sfx::pe
