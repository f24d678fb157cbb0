// Shared helpers of the sfxkit tests: scratch folders, files, and running a
// subcommand as the command line would.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace sfx::cli::test {

namespace fs = std::filesystem;

// A fresh folder below the system's temporary folder, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device device;
    path_ = fs::temp_directory_path() / ("sfxkit_test_" + std::to_string(device()));
    fs::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

inline std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  // A bare file name has no folder to make (and an empty path is an error on Windows).
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const fs::path& path, const std::string& text) {
  WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

inline std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
  return bytes;
}

struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs `run` with argv = {name, args...}, capturing what it prints.
inline CommandResult RunCommand(int (*run)(int, char**), const char* name, std::vector<std::string> args) {
  std::vector<std::string> storage = {name};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  CommandResult result;
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  result.status = run(static_cast<int>(storage.size()), argv.data());
  result.out = ::testing::internal::GetCapturedStdout();
  result.err = ::testing::internal::GetCapturedStderr();
  return result;
}

// Where the test build put the mingw-built fixtures, or "" without them.
inline std::string Fixture(const char* name) {
  const char* dir = std::getenv("SFX_PE_FIXTURES");
  return dir ? std::string(dir) + "/" + name : std::string();
}

}  // namespace sfx::cli::test
