// Helpers shared by the compressor's tests: running Compress over bytes,
// zlib's raw inflate as a peer, and a varied set of inputs.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "services/codec/deflater.h"
#include "services/codec/inflater.h"
#include "services/core/memory_stream.h"

namespace sfx::test {

using Bytes = std::vector<std::uint8_t>;

// Compresses data through Compress into a memory block; on failure returns
// the Result through *result and an empty vector.
inline Bytes CompressBytes(const Bytes& data, std::uint32_t blockSize, Result* result = nullptr,
                           std::uint32_t* crc = nullptr, std::uint32_t* adler = nullptr) {
  Deflater* d = nullptr;
  Result r = Deflaters()->CreateDeflater(blockSize, &d);
  Bytes out;
  if (Succeeded(r)) {
    Stream* in = nullptr;
    r = MemoryStreams()->CreateMemoryStream(const_cast<std::uint8_t*>(data.data()),
                                            static_cast<std::uint32_t>(data.size()),
                                            static_cast<std::uint32_t>(data.size()), kMemoryStreamCallerOwns, &in);
    if (Succeeded(r)) {
      // Every piece carries its own code tables (at most about 600 bytes).
      out.resize(data.size() * 2 + 1024 + (data.size() / blockSize + 1) * 600);
      std::uint32_t total = 0;
      r = d->InitOutput(out.data(), static_cast<std::uint32_t>(out.size()));
      if (Succeeded(r)) r = d->Compress(in, 0, static_cast<std::uint32_t>(data.size()), crc, adler);
      if (Succeeded(r)) r = d->FinishOutput(&total);
      out.resize(Succeeded(r) ? total : 0);
      (void)in->Close();
    }
    (void)d->DestroyDeflater();
  }
  if (result != nullptr) *result = r;
  return out;
}

// zlib's raw inflate; false when zlib rejects the stream or it does not end
// exactly at the end of the input.
inline bool ZlibInflateRaw(const Bytes& compressed, Bytes* out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  out->clear();
  std::uint8_t chunk[16384];
  z.next_in = const_cast<Bytef*>(compressed.data());
  z.avail_in = static_cast<uInt>(compressed.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    out->insert(out->end(), chunk, chunk + (sizeof chunk - z.avail_out));
    if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
  }
  const bool ok = rc == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  return ok;
}

// The library's own decoder (32768-byte window, as the launcher uses it);
// false when it fails. *crc gets the complemented CRC-32 of the output.
inline bool InflaterDecode(const Bytes& compressed, Bytes* out, std::uint32_t* crc) {
  Inflater* inflater = nullptr;
  if (Failed(Inflaters()->CreateInflater(kInflateFullWindow, &inflater))) return false;
  Stream* sink = nullptr;
  bool ok = Succeeded(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &sink));
  std::uint32_t size = 0, reg = 0xFFFFFFFFu;
  if (ok) ok = Succeeded(inflater->InitInput(compressed.data(), static_cast<std::uint32_t>(compressed.size())));
  if (ok) ok = Succeeded(inflater->Extract(sink, &size, &reg, nullptr, nullptr));
  (void)inflater->DestroyInflater();
  if (sink != nullptr) {
    void* data = nullptr;
    std::uint32_t length = 0;
    (void)MemoryStreams()->GetMemoryBlock(sink, &data, &length, nullptr);
    if (ok) out->assign(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + length);
    (void)sink->Close();
  }
  *crc = ~reg;
  return ok && out->size() == size;
}

// A small deterministic generator, so every run sees the same inputs.
class Lcg {
 public:
  explicit Lcg(std::uint32_t seed) : state_(seed) {}
  std::uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }

 private:
  std::uint32_t state_;
};

struct NamedInput {
  std::string name;
  Bytes bytes;
};

// Inputs that exercise different parts of the compressor: no matches, long
// runs, text, skewed distributions that need length-limited codes, periodic
// data with every distance, and sizes around the piece boundaries.
inline std::vector<NamedInput> VariedInputs() {
  std::vector<NamedInput> v;
  Lcg rng(12345);
  auto random = [&](std::size_t n, std::uint32_t alphabet) {
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng.Next() % alphabet);
    return b;
  };
  v.push_back({"one byte", {0x41}});
  v.push_back({"two bytes", {0x00, 0xFF}});
  v.push_back({"three equal", {7, 7, 7}});
  v.push_back({"zeros 258", Bytes(258, 0)});
  v.push_back({"zeros 259", Bytes(259, 0)});
  v.push_back({"zeros 100000", Bytes(100000, 0)});
  v.push_back({"random 70000", random(70000, 256)});
  v.push_back({"random small alphabet", random(50000, 4)});
  v.push_back({"binary-ish", random(40000, 3)});
  std::string text;
  const char* words[] = {"the ", "quick ", "brown ", "fox ",   "jumps ",   "over ", "lazy ", "dog ",
                         "and ", "then ",  "runs ",  "away\n", "compress", "ion ",  "data ", "stream "};
  while (text.size() < 90000) text += words[rng.Next() % 16];
  v.push_back({"text", Bytes(text.begin(), text.end())});
  // Fibonacci-like counts: the deepest Huffman trees, codes cut at 15 bits.
  Bytes fib;
  std::uint32_t a = 1, b = 1;
  for (int sym = 0; sym < 24 && fib.size() < 60000; ++sym) {
    fib.insert(fib.end(), a, static_cast<std::uint8_t>(sym * 7 + 1));
    const std::uint32_t c = a + b;
    a = b;
    b = c;
  }
  // Shuffle so the runs do not turn into matches.
  for (std::size_t i = fib.size(); i > 1; --i) std::swap(fib[i - 1], fib[rng.Next() % i]);
  v.push_back({"fibonacci counts", fib});
  Bytes periodic;
  for (std::uint32_t period = 1; periodic.size() < 120000; period = period * 3 + 1) {
    Bytes unit = random(period, 256);
    for (int k = 0; k < 6; ++k) periodic.insert(periodic.end(), unit.begin(), unit.end());
  }
  v.push_back({"periodic", periodic});
  Bytes far = random(20000, 256);
  Bytes tail = far;
  far.resize(32767, 0x55);
  far.insert(far.end(), tail.begin(), tail.end());
  v.push_back({"far repeat", far});
  v.push_back({"boundary 32767", random(32767, 16)});
  v.push_back({"boundary 32768", random(32768, 16)});
  v.push_back({"boundary 32769", random(32769, 16)});
  return v;
}

}  // namespace sfx::test
