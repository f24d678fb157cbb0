#include "platform/folder_search.h"

#include <windows.h>

#include <cstring>

namespace sfx::platform {
namespace {

struct Search {
  HANDLE handle;
  WIN32_FIND_DATAA data;
  bool pending;  // `data` holds an entry not yet reported
};

}  // namespace

bool CreatePrivateFolder(const char* path) { return CreateDirectoryA(path, nullptr) != FALSE; }

FolderSearch StartFolderSearch(const char* folder) {
  char pattern[MAX_PATH];
  const std::size_t length = std::strlen(folder);
  if (length + 5 > sizeof pattern) return nullptr;
  std::memcpy(pattern, folder, length);
  std::memcpy(pattern + length, "\\*.*", 5);
  auto* search = static_cast<Search*>(GlobalAlloc(0, sizeof(Search)));
  if (search == nullptr) return nullptr;
  search->handle = FindFirstFileA(pattern, &search->data);
  if (search->handle == INVALID_HANDLE_VALUE) {
    GlobalFree(search);
    return nullptr;
  }
  search->pending = true;
  return reinterpret_cast<FolderSearch>(search);
}

bool NextSearchEntry(FolderSearch handle, SearchEntry* entry) {
  auto* search = reinterpret_cast<Search*>(handle);
  if (!search->pending && !FindNextFileA(search->handle, &search->data)) return false;
  search->pending = false;
  static_assert(sizeof entry->name == sizeof search->data.cFileName);
  std::memcpy(entry->name, search->data.cFileName, sizeof entry->name);
  entry->name[sizeof entry->name - 1] = '\0';
  const DWORD attributes = search->data.dwFileAttributes;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    entry->kind = EntryKind::kFile;
  } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    entry->kind = EntryKind::kFolderLink;
  } else {
    entry->kind = EntryKind::kFolder;
  }
  return true;
}

void EndFolderSearch(FolderSearch handle) {
  auto* search = reinterpret_cast<Search*>(handle);
  FindClose(search->handle);
  GlobalFree(search);
}

// RemoveDirectoryA on a junction or a folder link removes the link.
bool RemoveFolderLink(const char* path) { return RemoveDirectoryA(path) != FALSE; }

}  // namespace sfx::platform
