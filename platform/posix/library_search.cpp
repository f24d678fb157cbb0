#include "platform/library_search.h"

namespace sfx::platform {

// The dynamic loader never searches the program's folder or the current one
// unless the program itself was linked to (an rpath of $ORIGIN), which ours is not.
void RestrictLibrarySearch() {}

}  // namespace sfx::platform
