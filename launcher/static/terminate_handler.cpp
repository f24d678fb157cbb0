// Linked into the static launcher only, ahead of the C++ run-time library.
// The run-time's own terminate handler prints the pending exception's type
// name and so carries a complete symbol demangler, about a twentieth of the
// stub. Nothing in the launcher throws; should terminate ever be called, the
// launcher ends as the run-time would after its message.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
