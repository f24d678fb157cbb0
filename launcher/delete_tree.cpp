#include "launcher/delete_tree.h"

#include <cstring>

#include "launcher/form_path.h"
#include "launcher/launch_state.h"
#include "platform/file.h"
#include "platform/folder_search.h"

namespace sfx::launcher {

int DeleteTree(const char* folder) {
  char path[kPathBytes];
  if (!FormPath(path, sizeof path, folder, "*.*")) return 0;
  platform::FolderSearch search = platform::StartFolderSearch(folder);
  if (search == nullptr) return 1;
  platform::SearchEntry entry;
  while (platform::NextSearchEntry(search, &entry)) {
    if (!FormPath(path, sizeof path, folder, entry.name)) continue;
    switch (entry.kind) {
      case platform::EntryKind::kFile: (void)platform::RemoveFile(path); break;
      case platform::EntryKind::kFolderLink: (void)platform::RemoveFolderLink(path); break;
      case platform::EntryKind::kFolder:
        if (std::strcmp(entry.name, ".") != 0 && std::strcmp(entry.name, "..") != 0) (void)DeleteTree(path);
        break;
    }
  }
  platform::EndFolderSearch(search);
  (void)platform::RemoveFolder(folder);
  return 1;
}

}  // namespace sfx::launcher
