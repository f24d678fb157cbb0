#include "tests/support/private_temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "platform/environment.h"

namespace sfx::test {
namespace {

namespace fs = std::filesystem;

std::string g_folder;

class PrivateTempEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::error_code error;
    const fs::path system = fs::temp_directory_path(error);
    if (error) return;
    std::random_device device;
    const auto now = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
      char name[40];
      std::snprintf(name, sizeof name, "sfx-tests-%08x", device() ^ now ^ static_cast<unsigned>(attempt));
      const fs::path folder = system / name;
      if (!fs::create_directory(folder, error) || error) continue;
      const std::string text = folder.string();
      if (platform::SetEnvironmentValue("TMPDIR", text.c_str()) && platform::SetEnvironmentValue("TMP", text.c_str()) &&
          platform::SetEnvironmentValue("TEMP", text.c_str())) {
        g_folder = text;
      } else {
        fs::remove(folder, error);
      }
      return;
    }
  }

  void TearDown() override {
    if (g_folder.empty()) return;
    std::error_code ignored;
    fs::remove_all(g_folder, ignored);
  }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new PrivateTempEnvironment);

}  // namespace

const std::string& PrivateTempFolder() { return g_folder; }

}  // namespace sfx::test
