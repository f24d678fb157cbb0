// The launcher program. On Windows it is a GUI executable whose start-up code
// calls main as well; the module handle is the executable's own.
#include "launcher/launcher.h"
#include "platform/library_search.h"
#include "platform/program_path.h"

int main(int argc, char** argv) {
  // Before anything loads a library: only the system folder is searched.
  sfx::platform::RestrictLibrarySearch();
  // Where /proc is missing, argv[0] is the last way to find the payload.
  if (argc > 0) sfx::platform::RememberProgramName(argv[0]);
  return sfx::launcher::WinMain(sfx::platform::OwnModule());
}
