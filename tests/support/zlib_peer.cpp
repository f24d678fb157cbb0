#include "tests/support/zlib_peer.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace sfx::test {

std::vector<std::uint8_t> ZlibRawDeflate(const void* data, std::size_t size, int level, int memLevel, int strategy) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, memLevel, strategy), Z_OK);
  std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(size)) + 16);
  z.next_in = static_cast<Bytef*>(const_cast<void*>(data));
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace sfx::test
