#include "services/codec/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "services/core/memory_stream.h"

namespace sfx {
namespace {

// An independent encoder, a character at a time from the 24-bit group.
std::string ReferenceEncode(const std::string& data) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < data.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, data.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) group = group << 8 | (k < n ? static_cast<std::uint8_t>(data[i + k]) : 0);
    for (std::size_t k = 0; k < 4; ++k) out += k <= n ? alphabet[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

std::string Encode(const std::string& data) {
  std::uint32_t length = 0;
  EXPECT_EQ(Base64s()->GetEncodedLength(static_cast<std::uint32_t>(data.size()), &length), kOk);
  std::string text(length + 1, '#');
  EXPECT_EQ(Base64s()->EncodeBase64(data.data(), static_cast<std::uint32_t>(data.size()), text.data()), kOk);
  EXPECT_EQ(text.back(), '#') << "wrote past its length";
  text.pop_back();
  return text;
}

std::string Decode(const std::string& text) {
  std::uint32_t bound = 0;
  EXPECT_EQ(Base64s()->GetDecodedLength(static_cast<std::uint32_t>(text.size()), &bound), kOk);
  std::string out(bound + 1, '#');
  std::uint32_t n = 0xDEAD;
  EXPECT_EQ(Base64s()->DecodeBase64(text.data(), static_cast<std::uint32_t>(text.size()), out.data(), &n), kOk);
  EXPECT_LE(n, bound);
  EXPECT_EQ(out[bound], '#') << "wrote past the bound";
  out.resize(n);
  return out;
}

TEST(Base64Test, Rfc4648VectorsAndEveryLengthAgainstAReference) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"abc", "YWJj"},
  };
  for (const auto& [data, text] : vectors) {
    EXPECT_EQ(Encode(data), text);
    EXPECT_EQ(Decode(text), data);
  }
  std::mt19937 rng(7);
  for (std::size_t n = 0; n < 300; ++n) {
    std::string data(n, '\0');
    for (auto& c : data) c = static_cast<char>(rng());
    const std::string text = Encode(data);
    ASSERT_EQ(text, ReferenceEncode(data)) << n;
    ASSERT_EQ(Decode(text), data) << n;
  }
  // Every byte value in every position of a group.
  std::string all;
  for (int i = 0; i < 256 * 3; ++i) all += static_cast<char>(i / 3 + (i % 3) * 85);
  EXPECT_EQ(Decode(Encode(all)), all);
}

TEST(Base64Test, DecodingStopsAtTheFirstCharacterOutsideTheAlphabet) {
  const std::pair<std::string, std::string> cases[] = {
      {"YQ==", "a"},      // padding ends it
      {"YQ==YWJj", "a"},  // nothing after the padding counts
      {"Y", ""},          // one character gives nothing
      {"YW", "a"},        // two give one byte, three give two
      {"YWJ", "ab"},
      {"YWJjZA", "abcd"},
      {"YWJj ZGVm", "abc"},   // white space is outside the alphabet too
      {"YWJjZ\nGVm", "abc"},  // a group cut short by a stray character
      {"YW-J", "a"},
      {std::string("YW\0J", 4), "a"},
      {"\xC0\xFF", ""},
  };
  for (const auto& [text, data] : cases) EXPECT_EQ(Decode(text), data) << text;
}

TEST(Base64Test, LengthsThatWouldWrapFailInsteadOfReportingTooLittle) {
  struct Case {
    bool encode;
    std::uint32_t length;
    Result result;
    std::uint32_t out;
  };
  const Case cases[] = {
      {true, 3221225469u, kOk, 4294967292u},  // the largest that fits
      {true, 3221225470u, kFail, 0},         {true, 0xFFFFFFFFu, kFail, 0},  {false, 0xFFFFFFFCu, kOk, 3221225469u},
      {false, 0xFFFFFFFDu, kFail, 0},        {false, 0xFFFFFFFFu, kFail, 0},
  };
  for (const Case& c : cases) {
    std::uint32_t out = 0;
    const Result r =
        c.encode ? Base64s()->GetEncodedLength(c.length, &out) : Base64s()->GetDecodedLength(c.length, &out);
    EXPECT_EQ(r, c.result) << c.length;
    EXPECT_EQ(out, c.out) << c.length;
  }
  // The encoder refuses such a length before touching the text.
  char text = '#';
  EXPECT_EQ(Base64s()->EncodeBase64("", 3221225470u, &text), kFail);
  EXPECT_EQ(text, '#');
}

// ---- streams ----

class Base64StreamTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (input_ != nullptr) (void)input_->Close();
    if (output_ != nullptr) (void)output_->Close();
  }
  void SetInput(const std::string& bytes) {
    if (input_ != nullptr) (void)input_->Close();
    ASSERT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &input_), kOk);
    ASSERT_EQ(input_->WriteAt(0, bytes.data(), static_cast<std::uint32_t>(bytes.size()), nullptr), kOk);
    if (output_ != nullptr) (void)output_->Close();
    ASSERT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &output_), kOk);
  }
  std::string Output() {
    void* data = nullptr;
    std::uint32_t size = 0;
    EXPECT_EQ(MemoryStreams()->GetMemoryBlock(output_, &data, &size, nullptr), kOk);
    return std::string(static_cast<const char*>(data), size);
  }
  std::string EncodeStream(const std::string& bytes, std::uint32_t lineLength, std::uint32_t* written) {
    SetInput(bytes);
    EXPECT_EQ(Base64s()->EncodeBase64Stream(input_, 0, 0xFFFFFFFFu, output_, 0, lineLength, written), kOk);
    return Output();
  }
  std::string DecodeStream(const std::string& text, std::uint32_t* written) {
    SetInput(text);
    EXPECT_EQ(Base64s()->DecodeBase64Stream(input_, 0, 0xFFFFFFFFu, output_, 0, written), kOk);
    return Output();
  }

  Stream* input_ = nullptr;
  Stream* output_ = nullptr;
};

// The text with a CR LF after every `line` characters and after the last line.
std::string Broken(const std::string& text, std::size_t line) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += line) out += text.substr(i, line) + "\r\n";
  return out;
}

TEST_F(Base64StreamTest, LineBreaksCountAcrossChunksAndEndTheLastLineOnce) {
  std::mt19937 rng(11);
  std::string data(2000, '\0');
  for (auto& c : data) c = static_cast<char>(rng());
  struct Case {
    std::size_t bytes;
    std::uint32_t line;
  };
  // 57 bytes are exactly one 76-character line; 384 bytes one full chunk of
  // 512 characters; lines of 1, 7 and 500 characters cross chunk ends.
  const Case cases[] = {{57, 76},  {60, 76},  {0, 76},     {1, 76},   {384, 512}, {385, 512}, {768, 76},
                        {1000, 1}, {1000, 7}, {2000, 500}, {2000, 0}, {384, 0},   {3, 4},     {3, 5}};
  for (const Case& c : cases) {
    const std::string bytes = data.substr(0, c.bytes);
    const std::string text = ReferenceEncode(bytes);
    const std::string expected = c.line == 0 ? text : Broken(text, c.line);
    std::uint32_t written = 0xDEAD;
    EXPECT_EQ(EncodeStream(bytes, c.line, &written), expected) << c.bytes << " " << c.line;
    EXPECT_EQ(written, expected.size()) << c.bytes << " " << c.line;
  }
  std::uint32_t written = 0;
  EXPECT_EQ(EncodeStream(data.substr(0, 57), 76, &written).size(), 78u);
  EXPECT_EQ(EncodeStream(data.substr(0, 60), 76, &written).size(), 84u);
}

TEST_F(Base64StreamTest, RangesAreClampedAndPlacedAtTheirPositions) {
  SetInput("xxabcxx");
  std::uint32_t written = 0;
  ASSERT_EQ(Base64s()->EncodeBase64Stream(input_, 2, 3, output_, 4, 0, &written), kOk);
  EXPECT_EQ(written, 4u);
  EXPECT_EQ(Output(), std::string(4, '\0') + "YWJj");
  // Beyond the end: nothing, and success.
  for (std::uint32_t position : {7u, 8u, 0xFFFFFFFFu}) {
    written = 0xDEAD;
    EXPECT_EQ(Base64s()->EncodeBase64Stream(input_, position, 10, output_, 0, 76, &written), kOk);
    EXPECT_EQ(written, 0u);
    written = 0xDEAD;
    EXPECT_EQ(Base64s()->DecodeBase64Stream(input_, position, 10, output_, 0, &written), kOk);
    EXPECT_EQ(written, 0u);
  }
  // A length past the end is cut to the input.
  SetInput("YWJjZGVm");
  ASSERT_EQ(Base64s()->DecodeBase64Stream(input_, 4, 100, output_, 1, &written), kOk);
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(Output(), std::string(1, '\0') + "def");
}

TEST_F(Base64StreamTest, DecodingSkipsWhiteSpaceAnywhereAndRestartsEachGroup) {
  std::mt19937 rng(5);
  std::string data(5000, '\0');
  for (auto& c : data) c = static_cast<char>(rng());
  const std::string text = ReferenceEncode(data);
  std::uint32_t written = 0;
  EXPECT_EQ(DecodeStream(Broken(text, 76), &written), data);
  EXPECT_EQ(written, data.size());
  std::string spaced;
  for (char c : text) {
    spaced += c;
    if (rng() % 3 == 0) spaced += " \t\r\n"[rng() % 4];
  }
  EXPECT_EQ(DecodeStream(spaced, &written), data);

  // A stray character ends its own group of 512 characters only: the 512
  // characters of text hold 384 bytes, of which those after the stray are lost.
  const std::string first = text.substr(0, 512);
  const std::string rest = text.substr(512, 512);
  std::string broken = first;
  broken[100] = '*';
  const std::string decoded = DecodeStream(broken + rest, &written);
  EXPECT_EQ(decoded, data.substr(0, 75) + data.substr(384, 384));
  // Padding inside the text acts the same way.
  const std::string padded = ReferenceEncode("ab") + text.substr(0, 508) + rest;  // 512 + 512
  EXPECT_EQ(DecodeStream(padded, &written), "ab" + data.substr(384, 384));
}

}  // namespace
}  // namespace sfx
