#include "tools/sfxkit/stubs.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/program_path.h"

namespace sfx::cli {

namespace fs = std::filesystem;

std::string FindStub(bool windows) {
  if (const char* env = std::getenv("SFXKIT_STUB"); env && *env) return env;
  const std::string self = platform::OwnProgramPath();
  if (self.empty()) return {};
  const char* name = windows ? "launcher.exe" : "launcher";
  const fs::path bin = fs::path(self).parent_path();
  // Installed: PREFIX/bin/sfxkit and PREFIX/libexec/sfxkit/<stub>.
  std::vector<fs::path> candidates = {bin.parent_path() / "libexec" / "sfxkit" / name};
  // A build tree: build/<preset>/tools/sfxkit/sfxkit and build/<preset>/launcher/<stub>.
  const fs::path build = bin.parent_path().parent_path();
  candidates.push_back(build / "launcher" / name);
  if (windows) candidates.push_back(build.parent_path() / "win32" / "launcher" / name);
  for (const fs::path& candidate : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return fs::weakly_canonical(candidate, ec).string();
  }
  return {};
}

}  // namespace sfx::cli
