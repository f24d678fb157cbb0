// zlib as a peer compressor for tests: raw DEFLATE (no wrapper) of a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sfx::test {

// Compresses with deflateInit2(level, window bits -15, memLevel, strategy);
// a failure is reported as a test failure.
std::vector<std::uint8_t> ZlibRawDeflate(const void* data, std::size_t size, int level, int memLevel, int strategy);

}  // namespace sfx::test
