// The launcher program. On Windows it is a GUI executable whose start-up code
// calls main as well; the module handle is the executable's own.
#include "launcher/launcher.h"

int main() { return sfx::launcher::WinMain(sfx::platform::OwnModule()); }
