// The launcher program. On Windows it is a GUI executable whose start-up code
// calls main as well; the module handle is the executable's own.
#include "launcher/launcher.h"
#include "platform/library_search.h"

int main() {
  sfx::platform::RestrictLibrarySearch();
  return sfx::launcher::WinMain(sfx::platform::OwnModule());
}
