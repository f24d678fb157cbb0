// The launcher's entry for end-to-end runs that must fail: the same program,
// but message boxes are appended as "caption: text" lines to the file named
// by SFX_E2E_MESSAGES instead of waiting for a click that never comes.
#include <cstdio>
#include <cstdlib>

#include "launcher/launcher.h"
#include "platform/library_search.h"
#include "platform/ui.h"

namespace {

class FileRecorder : public sfx::platform::MessageRecorder {
 public:
  void Record(const char* text, const char* caption, std::uint32_t style) override {
    const char* path = std::getenv("SFX_E2E_MESSAGES");
    if (path == nullptr) return;
    if (std::FILE* f = std::fopen(path, "ab")) {
      std::fprintf(f, "%s: %s [style %u]\n", caption == nullptr ? "(default)" : caption, text, style);
      std::fclose(f);
    }
  }
};

}  // namespace

int main() {
  sfx::platform::RestrictLibrarySearch();
  static FileRecorder recorder;
  sfx::platform::SetMessageRecorder(&recorder);
  return sfx::launcher::WinMain(sfx::platform::OwnModule());
}
