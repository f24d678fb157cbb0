#include "platform/folder_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace sfx::platform {

bool CreatePrivateFolder(const char* path) { return mkdir(path, 0700) == 0; }

FolderSearch StartFolderSearch(const char* folder) {
  // O_NOFOLLOW: a folder swapped for a link is not searched.
  const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return nullptr;
  DIR* directory = fdopendir(fd);
  if (directory == nullptr) {
    close(fd);
    return nullptr;
  }
  return reinterpret_cast<FolderSearch>(directory);
}

bool NextSearchEntry(FolderSearch search, SearchEntry* entry) {
  DIR* directory = reinterpret_cast<DIR*>(search);
  for (;;) {
    const dirent* found = readdir(directory);
    if (found == nullptr) return false;
    const std::size_t length = std::strlen(found->d_name);
    if (length >= sizeof entry->name) continue;  // no path the launcher forms could hold it
    std::memcpy(entry->name, found->d_name, length + 1);
    // The kind of the entry itself, never of what a link points to.
    struct stat st {};
    const bool folder = fstatat(dirfd(directory), found->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    entry->kind = folder ? EntryKind::kFolder : EntryKind::kFile;
    return true;
  }
}

void EndFolderSearch(FolderSearch search) { closedir(reinterpret_cast<DIR*>(search)); }

bool RemoveFolderLink(const char* path) { return unlink(path) == 0; }

}  // namespace sfx::platform
