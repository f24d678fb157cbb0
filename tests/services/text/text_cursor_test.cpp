#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "services/text/string_service.h"

namespace sfx {
namespace {

TextCursor At(const std::string& text) {
  return TextCursor{text.data(), static_cast<std::uint32_t>(text.size()), nullptr, 0};
}
// Literals live for the whole program; a temporary string would not.
TextCursor At(const char* literal) {
  return TextCursor{literal, static_cast<std::uint32_t>(std::strlen(literal)), nullptr, 0};
}
ParameterCursor ParametersAt(const char* literal) {
  return ParameterCursor{literal, static_cast<std::uint32_t>(std::strlen(literal)), nullptr, 0, nullptr, 0};
}
std::string Token(const TextCursor& c) { return std::string(c.tokenStart, c.tokenLength); }
std::string Rest(const TextCursor& c) { return std::string(c.next, c.remaining); }
std::string Name(const ParameterCursor& c) { return std::string(c.nameStart, c.nameLength); }
std::string Value(const ParameterCursor& c) {
  return c.valueLength == 0 ? std::string() : std::string(c.valueStart, c.valueLength);
}

// ---- single-step scanners ----

TEST(Scanners, WhiteSpace) {
  const std::string text = "  \t x";
  TextCursor c = At(text);
  ASSERT_EQ(Strings()->SkipWhitespace(&c), kOk);
  EXPECT_EQ(Rest(c), "x");
  EXPECT_EQ(c.tokenLength, 4u);
  EXPECT_EQ(c.tokenStart, text.data());

  const std::string padded = "  a b  ";
  c = At(padded);
  ASSERT_EQ(Strings()->TrimWhitespace(&c), kOk);
  EXPECT_EQ(Token(c), "a b");
  EXPECT_EQ(Rest(c), padded);  // the cursor does not move
  const std::string blank = " \r\n ";
  c = At(blank);
  ASSERT_EQ(Strings()->TrimWhitespace(&c), kOk);
  EXPECT_EQ(c.tokenLength, 0u);
  EXPECT_EQ(c.tokenStart, blank.data() + blank.size());
}

TEST(Scanners, Numbers) {
  const std::string text = " 42abc";
  TextCursor c = At(text);
  std::uint32_t v = 0;
  ASSERT_EQ(Strings()->ScanUnsigned(&c, &v), kOk);
  EXPECT_EQ(v, 42u);
  EXPECT_EQ(Token(c), "42");
  EXPECT_EQ(Rest(c), "abc");
  const std::string nines = "99999999999";
  c = At(nines);
  ASSERT_EQ(Strings()->ScanUnsigned(&c, &v), kOk);
  EXPECT_EQ(v, static_cast<std::uint32_t>(99999999999ull));  // wraps, no failure
  const std::string hex = "\tfF10g";
  c = At(hex);
  ASSERT_EQ(Strings()->ScanHex(&c, &v), kOk);
  EXPECT_EQ(v, 0xFF10u);
  EXPECT_EQ(Rest(c), "g");
  c = At("xyz");
  v = 7;
  ASSERT_EQ(Strings()->ScanUnsigned(&c, &v), kOk);
  EXPECT_EQ(v, 0u);
  EXPECT_EQ(c.tokenLength, 0u);
  ASSERT_EQ(Strings()->ScanHex(&c, nullptr), kOk);  // the value out is optional
}

TEST(Scanners, ToCharAndToAnyOf) {
  const std::string text = "abc";
  TextCursor c = At(text);
  EXPECT_EQ(Strings()->ScanToChar(&c, '='), kStringNotFound);
  EXPECT_EQ(c.remaining, 0u);
  EXPECT_EQ(Token(c), "abc");
  const std::string pair = "key=value";
  c = At(pair);
  EXPECT_EQ(Strings()->ScanToChar(&c, 0x100 | '='), kStringFound);  // only the low byte counts
  EXPECT_EQ(Token(c), "key");
  EXPECT_EQ(Rest(c), "=value");
  c = At(pair);
  EXPECT_EQ(Strings()->ScanToAnyOf(&c, "lu", 2), kStringFound);
  EXPECT_EQ(Rest(c), "lue");
  c = At("");
  EXPECT_EQ(Strings()->ScanToChar(&c, 'x'), kStringNotFound);
}

TEST(Scanners, Tokens) {
  const std::string text = " ,;text/html";
  TextCursor c = At(text);
  ASSERT_EQ(Strings()->ScanToken(&c), kOk);
  EXPECT_EQ(Token(c), "text");
  EXPECT_EQ(Rest(c), "/html");
  c = At(" \x80\x01;");
  ASSERT_EQ(Strings()->ScanToken(&c), kOk);
  EXPECT_EQ(c.tokenLength, 0u);
  EXPECT_EQ(c.remaining, 0u);
}

TEST(Scanners, QuotedStrings) {
  const std::string text = "\"a\\\"b\" r";
  TextCursor c = At(text);
  ASSERT_EQ(Strings()->ScanQuoted(&c), kOk);
  EXPECT_EQ(Token(c), "\"a\\\"b\"");  // raw, quotes and backslash included
  EXPECT_EQ(Rest(c), " r");

  const std::string open = "\"abc";
  c = At(open);
  EXPECT_EQ(Strings()->ScanQuoted(&c), kStringUnterminatedQuote);
  EXPECT_EQ(c.remaining, 0u);
  EXPECT_EQ(Token(c), open);

  const std::string tail = "abc\" x";  // the opening quote is already behind the cursor
  c = At(tail);
  ASSERT_EQ(Strings()->ScanQuoted(&c), kOk);
  EXPECT_EQ(Token(c), "abc");
  EXPECT_EQ(Rest(c), " x");

  c = At("\"ab\\");
  EXPECT_EQ(Strings()->ScanQuoted(&c), kStringUnterminatedQuote);  // a backslash as the last byte
  c = At("");
  EXPECT_EQ(Strings()->ScanQuoted(&c), kStringUnterminatedQuote);
}

// ---- list parsers ----

TEST(ListParsers, ItemWithParameters) {
  const std::string text = "text; charset=\"x y\"; q=0.5, next";
  TextCursor c = At(text);
  ParameterCursor p{};
  ASSERT_EQ(Strings()->NextListItem(&c, &p), kOk);
  EXPECT_EQ(Token(c), "text");
  EXPECT_EQ(Name(p), "charset");
  EXPECT_EQ(Value(p), "\"x y\"");
  ASSERT_EQ(Strings()->NextParameter(&p), kOk);
  EXPECT_EQ(Name(p), "q");
  EXPECT_EQ(Value(p), "0.5");
  EXPECT_EQ(Strings()->NextParameter(&p), kStringEnd);
  EXPECT_EQ(std::string(p.next, p.remaining), " next");
}

TEST(ListParsers, ItemsWithoutAParameterCursor) {
  const std::string text = "a;x=1;y=2, b";
  TextCursor c = At(text);
  ASSERT_EQ(Strings()->NextListItem(&c, nullptr), kOk);
  EXPECT_EQ(Token(c), "a");
  EXPECT_EQ(Rest(c), " b");
  ASSERT_EQ(Strings()->NextListItem(&c, nullptr), kOk);
  EXPECT_EQ(Token(c), "b");
  EXPECT_EQ(Strings()->NextListItem(&c, nullptr), kStringEnd);
}

// A parameter without value ends at the next ';' or ',', which stays for the
// next call: neither the next parameter nor the next item is swallowed.
TEST(ListParsers, ItemWithoutValueParameterKeepsTheNextItem) {
  const std::string lost = "a;x, b";
  TextCursor c = At(lost);
  ASSERT_EQ(Strings()->NextListItem(&c, nullptr), kOk);
  EXPECT_EQ(Token(c), "a");
  ASSERT_EQ(Strings()->NextListItem(&c, nullptr), kOk);
  EXPECT_EQ(Token(c), "b");
  EXPECT_EQ(Strings()->NextListItem(&c, nullptr), kStringEnd);
  const std::string items = "a;x=, b";  // an empty value leaves the delimiter too
  c = At(items);
  ASSERT_EQ(Strings()->NextListItem(&c, nullptr), kOk);
  ASSERT_EQ(Strings()->NextListItem(&c, nullptr), kOk);
  EXPECT_EQ(Token(c), "b");
}

// Each parser run to its end over one text: the name=value pairs it gave
// (a missing value prints as empty) and, where given, what was left after
// the last call.
TEST(ListParsers, ParametersNameValuePairsAndAttributes) {
  enum Parser { kParameter, kNameValue, kAttribute, kAttributeToComma };
  struct Case {
    const char* text;
    Parser parser;
    const char* pairs;
    const char* rest;  // null: not checked
  };
  const Case cases[] = {
      {";x;y=1", kParameter, "x= y=1", ""},
      {";x=;y=1", kParameter, "x= y=1", ""},
      {";x= ;y=1", kParameter, "x= y=1", ""},
      {";x=, b", kParameter, "x=", nullptr},  // the ',' ends the item's parameters
      {"; a b=c", kParameter, "a=c", ""},     // the '=' is looked for across other bytes
      {";flag", kParameter, "flag=", ""},
      {";v= ", kParameter, "v=", ""},
      {";v=\"abc", kParameter, "v=\"abc", ""},  // an unterminated quote takes the rest
      {"no delimiters", kParameter, "", ""},
      {"a=, b=2", kNameValue, "a= b=2", nullptr},
      {"a= ;b=2", kNameValue, "a= b=2", nullptr},
      {"a=1, b=", kNameValue, "a=1 b=", nullptr},
      {"a=1, b, c=\"x\"", kNameValue, "a=1 b= c=\"x\"", ""},
      {"k; last", kNameValue, "k= last=", ""},
      {"k = ", kNameValue, "k=", nullptr},
      {"path=/my dir ; secure", kAttribute, "path=/my dir secure=", nullptr},
      {"a=x, y", kAttribute, "a=x, y", nullptr},  // without the flag a comma is part of the value
      {"a=x, y", kAttributeToComma, "a=x y=", nullptr},
      {"n=\"a;b\";m", kAttribute, "n=\"a;b\" m=", nullptr},
      {"n= ", kAttribute, "n=", ""},
  };
  for (const Case& k : cases) {
    ParameterCursor p = ParametersAt(k.text);
    std::string got;
    for (int i = 0; i < 10; ++i) {
      const Result r = k.parser == kParameter   ? Strings()->NextParameter(&p)
                       : k.parser == kNameValue ? Strings()->NextNameValue(&p)
                                                : Strings()->NextAttribute(&p, k.parser == kAttributeToComma);
      if (r != kOk) {
        EXPECT_EQ(r, kStringEnd) << k.text;
        break;
      }
      if (!got.empty()) got.push_back(' ');
      got.append(Name(p)).append("=").append(Value(p));
    }
    EXPECT_EQ(got, k.pairs) << k.text;
    if (k.rest != nullptr) {
      EXPECT_EQ(std::string(p.next, p.remaining), k.rest) << k.text;
    }
  }
}

TEST(ListParsers, SkippingIsBounded) {
  std::string text = "a";
  for (int i = 0; i < 5000; ++i) text += ";p";
  text += ", b";
  TextCursor c = At(text);
  ASSERT_EQ(Strings()->NextListItem(&c, nullptr), kOk);
  // After 4096 parameters the skipping stops inside the item's parameters.
  EXPECT_EQ(c.remaining, 904u * 2 + 3);
}

}  // namespace
}  // namespace sfx
