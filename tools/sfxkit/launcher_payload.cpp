#include "tools/sfxkit/launcher_payload.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tools/sfxkit/pe_format.h"

namespace sfx::cli {

const char* TargetName(Target target) { return target == Target::kWindows ? "windows" : "posix"; }

Status LauncherPayload::Open(const std::string& path) {
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return Status::Error("cannot open '" + path + "': " + std::strerror(errno != 0 ? errno : EIO));
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return Status::Error("cannot read '" + path + "'");
  return OpenBytes(std::move(bytes));
}

Status LauncherPayload::OpenBytes(std::vector<std::uint8_t> bytes) {
  bytes_ = std::move(bytes);
  resources_.clear();
  image_.Close();
  if (bytes_.size() >= 2 && pe::LoadU16(bytes_.data()) == pe::kDosMagic) return OpenWindows();
  return OpenPosix();
}

Status LauncherPayload::OpenWindows() {
  target_ = Target::kWindows;
  pe::PeImage image;
  SFXKIT_TRY(image.Parse(bytes_));
  std::vector<pe::Resource> resources;
  SFXKIT_TRY(image.ReadResources(&resources));
  for (const pe::Resource& r : resources) {
    if (!(r.type == pe::ResourceKey::Id(pe::kRtRcData)) || !r.name.isString) continue;
    std::string name;
    for (char16_t c : r.name.text) name.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    // The system picks one language by the user's settings; a record that
    // differs between languages would make the payload depend on them.
    if (!resources_.emplace(name, r.data).second)
      return Status::Error("the resource table is damaged: record " + name + " is present in several languages");
  }
  if (resources_.empty()) return Status::Error("no payload: the executable has no raw-data resources (not packed?)");
  return Status();
}

Status LauncherPayload::OpenPosix() {
  target_ = Target::kPosix;
  const std::size_t start = payload::ImageStart(bytes_);
  if (start == bytes_.size())
    return Status::Error("no payload: the file does not end in a payload image (not a launcher, or truncated)");
  if (!image_.Open(bytes_.data() + start, bytes_.size() - start))
    return Status::Error("the payload image is damaged: its directory does not match its records");
  // A second image in front of this one means the payload was appended to a
  // launcher that already had one; the launcher would read only the last.
  if (payload::ImageStart(std::span<const std::uint8_t>(bytes_.data(), start)) != start)
    return Status::Error("the launcher carries more than one payload (appended twice?)");
  return Status();
}

bool LauncherPayload::Find(const char* name, std::span<const std::uint8_t>* record) const {
  if (target_ == Target::kWindows) {
    const auto it = resources_.find(name);
    if (it == resources_.end()) return false;
    *record = it->second;
    return true;
  }
  const std::uint8_t* data = nullptr;
  std::uint32_t size = 0;
  if (!image_.Find(name, &data, &size)) return false;
  *record = std::span<const std::uint8_t>(data, size);
  return true;
}

}  // namespace sfx::cli
