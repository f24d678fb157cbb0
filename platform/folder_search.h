// A private folder, and a walk over a folder that tells links from real
// folders, so that deleting a tree never follows a link out of it.
#pragma once

namespace sfx::platform {

// Creates one folder (not its parents) that only its owner may use where the
// system has such permissions. False when it exists already.
bool CreatePrivateFolder(const char* path);

enum class EntryKind {
  kFile,        // a file, or on POSIX systems any link (removed like a file)
  kFolder,      // a real folder, including "." and ".."
  kFolderLink,  // a junction or a link to a folder (Windows): removed as a folder, never entered
};
struct SearchEntry {
  char name[260];
  EntryKind kind;
};
using FolderSearch = struct FolderSearchTag*;
// Null when the folder cannot be searched (it does not exist, or it is a link).
FolderSearch StartFolderSearch(const char* folder);
// False when there are no more entries.
bool NextSearchEntry(FolderSearch search, SearchEntry* entry);
void EndFolderSearch(FolderSearch search);
// Removes an entry of kind kFolderLink: the link itself, never its target.
bool RemoveFolderLink(const char* path);

}  // namespace sfx::platform
