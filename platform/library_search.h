// Where the process may load code from.
#pragma once

namespace sfx::platform {

// Called first thing by programs that are run from folders holding other
// downloads: from then on libraries loaded by name come from the system
// folder only, never from the program's own folder or the current one, so a
// library planted beside the program is not run. Does nothing where the
// system does not search the program's folder for libraries.
void RestrictLibrarySearch();

}  // namespace sfx::platform
