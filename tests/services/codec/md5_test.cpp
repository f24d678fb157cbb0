#include "services/codec/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace sfx {
namespace {

std::string Hex(const std::uint8_t* digest) {
  std::string s;
  char buf[3];
  for (std::uint32_t i = 0; i < kMd5DigestBytes; ++i) {
    std::snprintf(buf, sizeof(buf), "%02x", digest[i]);
    s += buf;
  }
  return s;
}

// Feeds the message in pieces ending at each of `cuts` (ascending) and then the rest.
std::string DigestInPieces(const std::string& message, const std::vector<std::size_t>& cuts) {
  Md5Context context;
  EXPECT_EQ(Md5s()->Md5Init(&context), kOk);
  std::size_t at = 0;
  for (std::size_t cut : cuts) {
    EXPECT_EQ(Md5s()->Md5Update(&context, message.data() + at, static_cast<std::uint32_t>(cut - at)), kOk);
    at = cut;
  }
  EXPECT_EQ(Md5s()->Md5Update(&context, message.data() + at, static_cast<std::uint32_t>(message.size() - at)), kOk);
  std::uint8_t digest[kMd5DigestBytes];
  EXPECT_EQ(Md5s()->Md5Final(&context, digest), kOk);
  return Hex(digest);
}

std::string Digest(const std::string& message) { return DigestInPieces(message, {}); }

// RFC 1321, appendix A.5. The 62- and 80-byte messages end with a padding
// that needs a second block.
const std::pair<const char*, const char*> kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5Test, Rfc1321SuiteWholeAndInEveryTwoAndThreePieceSplit) {
  for (const auto& [message, expected] : kRfc1321Suite) {
    const std::string m = message;
    EXPECT_EQ(Digest(m), expected) << m;
    for (std::size_t i = 0; i <= m.size(); ++i) {
      for (std::size_t j = i; j <= m.size(); ++j) ASSERT_EQ(DigestInPieces(m, {i, j}), expected) << m << " " << i << j;
    }
  }
}

TEST(Md5Test, LongMessagesAgreeWhateverThePieceSizes) {
  // A million "a" is the classic long vector; pieces that straddle block
  // boundaries, whole runs of blocks and empty pieces must all agree.
  const std::string million(1000000, 'a');
  EXPECT_EQ(Digest(million), "7707d6ae4e027c70eea2a935c2296f21");
  for (std::size_t piece : {1u, 3u, 63u, 64u, 65u, 127u, 4096u, 100003u}) {
    std::vector<std::size_t> cuts;
    for (std::size_t at = piece; at < million.size(); at += piece) {
      cuts.push_back(at);
      cuts.push_back(at);  // an empty piece between every two
    }
    EXPECT_EQ(DigestInPieces(million, cuts), "7707d6ae4e027c70eea2a935c2296f21") << piece;
  }
  // Lengths around the padding boundary (55 fits one final block, 56 needs two).
  std::string m;
  for (int i = 0; i < 200; ++i) m += static_cast<char>(i * 7 + 1);
  for (std::size_t n : {55u, 56u, 57u, 63u, 64u, 119u, 120u, 128u}) {
    const std::string prefix = m.substr(0, n);
    const std::string whole = Digest(prefix);
    for (std::size_t i = 0; i <= n; ++i) ASSERT_EQ(DigestInPieces(prefix, {i}), whole) << n << " " << i;
  }
}

TEST(Md5Test, BitCountCarriesIntoTheHighWord) {
  Md5Context context;
  ASSERT_EQ(Md5s()->Md5Init(&context), kOk);
  context.countLow = 0xFFFFFFF8u;  // as after 2^29 - 1 bytes
  const char byte = 'x';
  ASSERT_EQ(Md5s()->Md5Update(&context, &byte, 1), kOk);
  EXPECT_EQ(context.countLow, 0u);
  EXPECT_EQ(context.countHigh, 1u);
}

TEST(Md5Test, FinalWipesTheWholeContext) {
  Md5Context context;
  ASSERT_EQ(Md5s()->Md5Init(&context), kOk);
  ASSERT_EQ(Md5s()->Md5Update(&context, "secret message", 14), kOk);
  std::uint8_t digest[kMd5DigestBytes];
  ASSERT_EQ(Md5s()->Md5Final(&context, digest), kOk);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&context);
  for (std::size_t i = 0; i < sizeof(context); ++i) ASSERT_EQ(bytes[i], 0) << i;
  // Initialised again, the context gives the same digest.
  ASSERT_EQ(Md5s()->Md5Init(&context), kOk);
  ASSERT_EQ(Md5s()->Md5Update(&context, "secret message", 14), kOk);
  std::uint8_t again[kMd5DigestBytes];
  ASSERT_EQ(Md5s()->Md5Final(&context, again), kOk);
  EXPECT_EQ(Hex(digest), Hex(again));
}

}  // namespace
}  // namespace sfx
