// The shared benchmark corpus: about 77 MB of mixed files built from Debian
// packages by scripts/bench-corpus. Benchmarks find it through
// $SFX_BENCH_CORPUS (default: build/corpus under the source tree).
#pragma once

#include <string>
#include <vector>

namespace sfx::bench {

struct CorpusFile {
  std::string name;
  std::vector<unsigned char> bytes;
};

// The folder holding the corpus.
std::string CorpusDirectory();
// Every file of the corpus, in name order; exits with a message when the
// corpus is missing.
const std::vector<CorpusFile>& Corpus();
// All corpus files, one after another.
const std::vector<unsigned char>& CorpusConcatenated();

// `bytes` as raw DEFLATE made by zlib at `level` (the peer's own streams, which
// the decoder benchmarks decode).
std::vector<unsigned char> ZlibRawDeflate(const std::vector<unsigned char>& bytes, int level);

}  // namespace sfx::bench
