#include "tests/support/scratch_folder.h"

#include "platform/file.h"

namespace sfx::test {

ScratchFolder::ScratchFolder() {
  char folder[platform::kMaxPathBytes];
  const std::uint32_t length = platform::GetTempFolder(folder, sizeof folder);
  if (length == 0 || length >= sizeof folder) return;
  // A unique file name reserves the name; the folder takes its place.
  char name[platform::kMaxPathBytes];
  if (!platform::CreateUniqueTempFile(folder, "sft", name, sizeof name)) return;
  if (!platform::RemoveFile(name) || !platform::MakeFolder(name)) return;
  path_ = name;
}

ScratchFolder::~ScratchFolder() {
  if (ok()) (void)RemoveTree(path_);
}

bool RemoveTree(const std::string& folder) {
  platform::FolderListing* listing = platform::StartFolderListing(folder.c_str());
  if (listing == nullptr) return false;
  char name[platform::kMaxPathBytes];
  bool isFolder = false;
  bool ok = true;
  while (platform::NextFolderEntry(listing, name, &isFolder)) {
    const std::string child = folder + "\\" + name;
    ok = (isFolder ? RemoveTree(child) : platform::RemoveFile(child.c_str())) && ok;
  }
  platform::EndFolderListing(listing);
  return platform::RemoveFolder(folder.c_str()) && ok;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  const platform::FileHandle f = platform::OpenFileHandle(path.c_str(), platform::FileAccess::kWrite,
                                                          platform::FileCreation::kCreateAlways, false);
  if (f == platform::kInvalidFile) return false;
  std::uint32_t done = 0;
  const bool wrote =
      bytes.empty() ||
      (platform::WriteToFile(f, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &done) && done == bytes.size());
  return platform::CloseFile(f) && wrote;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  const platform::FileHandle f =
      platform::OpenFileHandle(path.c_str(), platform::FileAccess::kRead, platform::FileCreation::kOpenExisting, false);
  if (f == platform::kInvalidFile) return false;
  std::uint64_t size = 0;
  bool ok = platform::GetFileSize64(f, &size) && size < (1u << 30);
  if (ok) {
    bytes->assign(static_cast<std::size_t>(size), '\0');
    std::uint32_t done = 0;
    ok = size == 0 ||
         (platform::ReadFromFile(f, bytes->data(), static_cast<std::uint32_t>(size), &done) && done == size);
  }
  return platform::CloseFile(f) && ok;
}

bool Exists(const std::string& path) {
  const platform::PathKind kind = platform::ProbePath(path.c_str());
  return kind == platform::PathKind::kFile || kind == platform::PathKind::kFolder;
}

bool IsFolder(const std::string& path) { return platform::ProbePath(path.c_str()) == platform::PathKind::kFolder; }

}  // namespace sfx::test
