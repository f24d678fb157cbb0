// Packs a folder into a launcher payload image with the payload writer and
// zlib as the compressor, the way a ZIP tool stores its members: DEFLATE at
// the given level, stored when that does not make the file smaller.
//
//   pack_tree FOLDER OUTPUT LEVEL PROGRAM [ARGUMENTS]
//
// PROGRAM must be a file inside FOLDER. Used by the launcher benchmark.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "payload/writer.h"
#include "services/core/file_stream.h"
#include "services/core/file_system.h"
#include "services/core/service.h"

namespace fs = std::filesystem;

namespace {

sfx::DateTimeRecord LocalTime(const fs::path& path) {
  const auto system = std::chrono::file_clock::to_sys(fs::last_write_time(path));
  const std::time_t seconds = std::chrono::system_clock::to_time_t(system);
  const std::tm t = *std::localtime(&seconds);
  return sfx::DateTimeRecord{static_cast<std::uint16_t>(t.tm_year + 1900),
                             static_cast<std::uint8_t>(t.tm_mon + 1),
                             static_cast<std::uint8_t>(t.tm_mday),
                             static_cast<std::uint8_t>(t.tm_hour),
                             static_cast<std::uint8_t>(t.tm_min),
                             static_cast<std::uint8_t>(t.tm_sec < 60 ? t.tm_sec : 59),
                             0};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: pack_tree FOLDER OUTPUT LEVEL PROGRAM [ARGUMENTS]\n");
    return 2;
  }
  (void)sfx::RegisterCoreServices();
  (void)sfx::RegisterCodecServices();
  const fs::path root = argv[1];
  const int level = std::atoi(argv[3]);
  std::vector<fs::path> entries;
  for (const auto& e : fs::recursive_directory_iterator(root)) entries.push_back(e.path());
  std::sort(entries.begin(), entries.end());  // a folder sorts before what it holds

  sfx::Stream* out = nullptr;
  std::string output = argv[2];
  if (sfx::Failed(sfx::FileSystem()->Open(output.data(), 0, 2, &out))) {
    std::fprintf(stderr, "pack_tree: cannot create %s\n", argv[2]);
    return 1;
  }
  sfx::payload::PayloadWriter writer;
  bool ok = writer.Start(out, sfx::payload::PayloadFormat::kAppendedImage) == sfx::kOk &&
            writer.SetSetup("benchmark", argv[4], argc > 5 ? argv[5] : "") == sfx::kOk;
  std::vector<std::uint8_t> content, packed;
  for (const fs::path& p : entries) {
    if (!ok) break;
    const std::string name = fs::relative(p, root).generic_string();
    if (fs::is_directory(p)) {
      ok = writer.AddFolder(name.c_str(), LocalTime(p)) == sfx::kOk;
      continue;
    }
    std::ifstream in(p, std::ios::binary);
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    packed.resize(deflateBound(&z, static_cast<uLong>(content.size())) + 16);
    z.next_in = content.data();
    z.avail_in = static_cast<uInt>(content.size());
    z.next_out = packed.data();
    z.avail_out = static_cast<uInt>(packed.size());
    deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    const auto crc = static_cast<std::uint32_t>(crc32(0, content.data(), static_cast<uInt>(content.size())));
    const auto size = static_cast<std::uint32_t>(content.size());
    if (packed.size() < content.size()) {
      ok = writer.AddFile(name.c_str(), LocalTime(p), 0, size, crc, packed.data(),
                          static_cast<std::uint32_t>(packed.size())) == sfx::kOk;
    } else {
      ok = writer.AddFile(name.c_str(), LocalTime(p), 1, size, crc, content.data(), size) == sfx::kOk;
    }
  }
  ok = ok && writer.Finish() == sfx::kOk;
  ok = out->Close() == sfx::kOk && ok;
  if (!ok) {
    std::fprintf(stderr, "pack_tree: writing %s failed\n", argv[2]);
    return 1;
  }
  std::printf("%u records\n", writer.fileCount());
  return 0;
}
