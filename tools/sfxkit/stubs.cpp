#include "tools/sfxkit/stubs.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/program_path.h"
#include "tools/sfxkit/stub_target.h"

namespace sfx::cli {

namespace fs = std::filesystem;

std::string FindStub(bool windows, const std::string& machine) {
  if (const char* env = std::getenv("SFXKIT_STUB"); env && *env) return env;
  const std::string self = platform::OwnProgramPath();
  if (self.empty()) return {};
  const bool host = machine.empty() || machine == HostPosixTarget();
  const std::string name = windows ? "launcher.exe" : host ? "launcher" : "launcher-" + machine;
  const fs::path bin = fs::path(self).parent_path();
  // Installed: PREFIX/bin/sfxkit and PREFIX/libexec/sfxkit/<stub>.
  std::vector<fs::path> candidates = {bin.parent_path() / "libexec" / "sfxkit" / name};
  // A build tree: build/<preset>/tools/sfxkit/sfxkit and build/<preset>/launcher/<stub>.
  const fs::path build = bin.parent_path().parent_path();
  if (host) candidates.push_back(build / "launcher" / (windows ? "launcher.exe" : "launcher"));
  if (!host) candidates.push_back(build.parent_path() / machine / "launcher" / "launcher");
  if (windows) candidates.push_back(build.parent_path() / "win32" / "launcher" / "launcher.exe");
  for (const fs::path& candidate : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return fs::weakly_canonical(candidate, ec).string();
  }
  return {};
}

}  // namespace sfx::cli
