// Deleting a folder with everything in it.
#pragma once

namespace sfx::launcher {

// Deletes the files, then the folders below `folder` depth-first, then the
// folder itself. Links and junctions are removed, never followed. Files that
// cannot be deleted (in use, read-only) stay, and so do their folders.
// Returns 1, or 0 when the folder's search pattern does not fit in a path; a
// folder that cannot be searched (for example, a missing one) gives 1.
int DeleteTree(const char* folder);

}  // namespace sfx::launcher
