#include "bench/corpus.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <zlib.h>

namespace sfx::bench {

std::string CorpusDirectory() {
  if (const char* env = std::getenv("SFX_BENCH_CORPUS")) return env;
  return std::string(SFX_SOURCE_DIR) + "/build/corpus";
}

const std::vector<CorpusFile>& Corpus() {
  static const std::vector<CorpusFile> files = [] {
    std::vector<CorpusFile> out;
    const std::filesystem::path dir = CorpusDirectory();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
      const std::string name = entry.path().filename().string();
      if (!entry.is_regular_file() || name == "MANIFEST" || name.ends_with(".sha256")) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      out.push_back({name, std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {})});
    }
    if (out.empty()) {
      std::fprintf(stderr, "benchmark corpus not found in %s; run scripts/bench-corpus\n", dir.c_str());
      std::exit(2);
    }
    std::sort(out.begin(), out.end(), [](const CorpusFile& a, const CorpusFile& b) { return a.name < b.name; });
    return out;
  }();
  return files;
}

const std::vector<unsigned char>& CorpusConcatenated() {
  static const std::vector<unsigned char> all = [] {
    std::vector<unsigned char> out;
    for (const auto& f : Corpus()) out.insert(out.end(), f.bytes.begin(), f.bytes.end());
    return out;
  }();
  return all;
}

std::vector<unsigned char> ZlibRawDeflate(const std::vector<unsigned char>& bytes, int level) {
  std::vector<unsigned char> out;
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  out.resize(deflateBound(&z, static_cast<uLong>(bytes.size())));
  z.next_in = const_cast<Bytef*>(bytes.data());
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace sfx::bench
