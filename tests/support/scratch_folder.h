// A fresh folder in the temporary-files folder for one test, removed with
// everything in it afterwards.
#pragma once

#include <string>

namespace sfx::test {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  bool ok() const { return !path_.empty(); }
  // The folder, without a final separator.
  const std::string& path() const { return path_; }
  // `name` inside the folder, joined with a backslash (a separator on every target).
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// Removes a folder and everything in it; false when something stayed.
bool RemoveTree(const std::string& folder);

// Whole-file helpers that go straight to the platform, independent of the
// services under test.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
bool ReadWholeFile(const std::string& path, std::string* bytes);
bool Exists(const std::string& path);
bool IsFolder(const std::string& path);

}  // namespace sfx::test
