#include "tools/sfxkit/pack_tree.h"

#include <algorithm>
#include <initializer_list>
#include <map>
#include <string_view>

#include "payload/names.h"
#include "tools/sfxkit/file_times.h"

namespace sfx::cli {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxNameBytes = 255;
constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFFull;  // sizes are 32-bit fields
// One setup record plus the file records, numbered in 32 bits.
constexpr std::uint64_t kMaxEntries = 0xFFFFFFFFull - 1;

// Messages are joined piecewise: g++ 12 warns falsely (-Wrestrict) about
// chains of operator+ on strings when it inlines them.
std::string Text(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text.append(part);
  return text;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

class Walker {
 public:
  Walker(const PackTreeOptions& options, std::vector<PackEntry>* entries) : options_(options), entries_(entries) {}

  Status Walk(const fs::path& folder, const std::string& prefix) {
    std::error_code ec;
    std::vector<std::pair<std::string, fs::directory_entry>> children;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
      children.emplace_back(it->path().filename().string(), *it);
    if (ec) return Status::Error(Text({"cannot read folder '", folder.string(), "': ", ec.message()}));
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    for (const auto& [leaf, dirent] : children) {
      const fs::path& path = dirent.path();
      if (leaf.find('\\') != std::string::npos)
        return Status::Error(
            Text({"'", path.string(), "': a backslash in a name would be read as a folder separator"}));
      const fs::file_status linkStatus = dirent.symlink_status(ec);
      const fs::file_status status = dirent.status(ec);
      if (ec) return Status::Error(Text({"cannot examine '", path.string(), "': ", ec.message()}));
      PackEntry entry;
      entry.path = path;
      if (fs::is_directory(status)) {
        if (fs::is_symlink(linkStatus))
          return Status::Error(
              Text({"'", path.string(), "' is a link to a folder; links to folders are not followed"}));
        entry.isFolder = true;
        entry.name = prefix + leaf + "/";
      } else if (fs::is_regular_file(status)) {
        entry.name = prefix + leaf;
        entry.executable = options_.keepExecutable && (status.permissions() & fs::perms::owner_exec) != fs::perms::none;
        entry.size = dirent.file_size(ec);
        if (ec) return Status::Error(Text({"cannot examine '", path.string(), "': ", ec.message()}));
        if (entry.size > kMaxFileSize)
          return Status::Error(Text({"'", path.string(), "' is ", std::to_string(entry.size),
                                     " bytes; files of 4 GiB or more cannot be packed"}));
      } else {
        return Status::Error(Text({"'", path.string(), "' is neither a file nor a folder"}));
      }
      SFXKIT_TRY(CheckName(entry));
      if (!LocalModificationTime(path, &entry.time))
        return Status::Error(Text({"cannot read the modification time of '", path.string(), "'"}));
      if (entries_->size() >= kMaxEntries) return Status::Error(Text({"more entries than the payload can number"}));
      const bool isFolder = entry.isFolder;
      const std::string name = entry.name;
      entries_->push_back(std::move(entry));
      if (isFolder) SFXKIT_TRY(Walk(path, name));
    }
    return Status();
  }

 private:
  Status CheckName(const PackEntry& entry) {
    const std::string& name = entry.name;
    if (name.size() > kMaxNameBytes) {
      return Status::Error(Text({"'", entry.path.string(), "': its name in the payload ('", name, "') is ",
                                 std::to_string(name.size()), " bytes, more than 255"}));
    }
    if (!payload::IsSafeEntryName(name.data(), static_cast<std::uint32_t>(name.size()), options_.refuseDeviceNames))
      return Status::Error(Text({"'", entry.path.string(), "': the launcher does not accept the name '", name, "'"}));
    if (options_.caseInsensitiveNames) {
      const std::string key = Lower(name);
      const auto [it, fresh] = seen_.emplace(key, name);
      if (!fresh)
        return Status::Error(
            Text({"'", name, "' and '", it->second, "' differ only in letter case; on Windows they collide"}));
    }
    return Status();
  }

  const PackTreeOptions& options_;
  std::vector<PackEntry>* entries_;
  std::map<std::string, std::string> seen_;
};

}  // namespace

Status WalkPackTree(const fs::path& root, const PackTreeOptions& options, std::vector<PackEntry>* entries) {
  entries->clear();
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return Status::Error(Text({"'", root.string(), "' is not a folder"}));
  Walker walker(options, entries);
  return walker.Walk(root, "");
}

std::string NormaliseProgramName(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  while (name.rfind("./", 0) == 0) name.erase(0, 2);
  return name;
}

}  // namespace sfx::cli
