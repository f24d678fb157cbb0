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
ParameterCursor ParametersAt(const std::string& text) {
  return ParameterCursor{text.data(), static_cast<std::uint32_t>(text.size()), nullptr, 0, nullptr, 0};
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
TEST(ListParsers, ParameterWithoutValueStopsAtTheNextDelimiter) {
  const std::string lost = "a;x, b";
  TextCursor c = At(lost);
  ASSERT_EQ(Strings()->NextListItem(&c, nullptr), kOk);
  EXPECT_EQ(Token(c), "a");
  ASSERT_EQ(Strings()->NextListItem(&c, nullptr), kOk);
  EXPECT_EQ(Token(c), "b");
  EXPECT_EQ(Strings()->NextListItem(&c, nullptr), kStringEnd);

  const std::string text = ";x;y=1";
  ParameterCursor p = ParametersAt(text);
  ASSERT_EQ(Strings()->NextParameter(&p), kOk);
  EXPECT_EQ(Name(p), "x");
  EXPECT_EQ(p.valueLength, 0u);
  EXPECT_EQ(std::string(p.next, p.remaining), ";y=1");
  ASSERT_EQ(Strings()->NextParameter(&p), kOk);
  EXPECT_EQ(Name(p), "y");
  EXPECT_EQ(Value(p), "1");
  EXPECT_EQ(Strings()->NextParameter(&p), kStringEnd);
  EXPECT_EQ(p.remaining, 0u);
}

// An '=' followed (after white space) by ';' or ',' has an empty value; the
// delimiter stays for the next call.
TEST(ListParsers, EmptyValueLeavesTheDelimiter) {
  const std::string items = "a;x=, b";
  TextCursor c = At(items);
  ASSERT_EQ(Strings()->NextListItem(&c, nullptr), kOk);
  EXPECT_EQ(Token(c), "a");
  ASSERT_EQ(Strings()->NextListItem(&c, nullptr), kOk);
  EXPECT_EQ(Token(c), "b");

  struct Case {
    const char* text;
    bool nameValue;     // NextNameValue, else NextParameter
    const char* pairs;  // name=value pairs found, space-separated
  };
  const Case cases[] = {
      {";x=;y=1", false, "x= y=1"}, {";x= ;y=1", false, "x= y=1"},
      {";x=, b", false, "x="},  // the ',' ends the item's parameters
      {"a=, b=2", true, "a= b=2"},  {"a= ;b=2", true, "a= b=2"},
      {"a=1, b=", true, "a=1 b="},
  };
  for (const Case& k : cases) {
    ParameterCursor p = ParametersAt(k.text);
    std::string got;
    for (int i = 0; i < 10; ++i) {
      if ((k.nameValue ? Strings()->NextNameValue(&p) : Strings()->NextParameter(&p)) != kOk) break;
      if (!got.empty()) got.push_back(' ');
      got.append(Name(p)).append("=").append(Value(p));
    }
    EXPECT_EQ(got, k.pairs) << k.text;
  }
}

TEST(ListParsers, ParameterEdges) {
  const std::string spaced = "; a b=c";  // the '=' is looked for across other bytes
  ParameterCursor p = ParametersAt(spaced);
  ASSERT_EQ(Strings()->NextParameter(&p), kOk);
  EXPECT_EQ(Name(p), "a");
  EXPECT_EQ(Value(p), "c");
  const std::string last = ";flag";
  p = ParametersAt(last);
  ASSERT_EQ(Strings()->NextParameter(&p), kOk);
  EXPECT_EQ(Name(p), "flag");
  EXPECT_EQ(p.remaining, 0u);
  const std::string empty = ";v= ";
  p = ParametersAt(empty);
  ASSERT_EQ(Strings()->NextParameter(&p), kOk);
  EXPECT_EQ(Name(p), "v");
  EXPECT_EQ(p.valueLength, 0u);
  EXPECT_EQ(p.remaining, 0u);
  const std::string open = ";v=\"abc";  // an unterminated quote takes the rest
  p = ParametersAt(open);
  ASSERT_EQ(Strings()->NextParameter(&p), kOk);
  EXPECT_EQ(Value(p), "\"abc");
  p = ParametersAt("no delimiters");
  EXPECT_EQ(Strings()->NextParameter(&p), kStringEnd);
  EXPECT_EQ(p.remaining, 0u);
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

TEST(ListParsers, NameValuePairs) {
  const std::string text = "a=1, b, c=\"x\"";
  ParameterCursor p = ParametersAt(text);
  ASSERT_EQ(Strings()->NextNameValue(&p), kOk);
  EXPECT_EQ(Name(p), "a");
  EXPECT_EQ(Value(p), "1");
  ASSERT_EQ(Strings()->NextNameValue(&p), kOk);
  EXPECT_EQ(Name(p), "b");
  EXPECT_EQ(p.valueLength, 0u);
  ASSERT_EQ(Strings()->NextNameValue(&p), kOk);
  EXPECT_EQ(Name(p), "c");
  EXPECT_EQ(Value(p), "\"x\"");
  EXPECT_EQ(Strings()->NextNameValue(&p), kStringEnd);
  EXPECT_EQ(p.remaining, 0u);
  const std::string tail = "k; last";
  p = ParametersAt(tail);
  ASSERT_EQ(Strings()->NextNameValue(&p), kOk);
  ASSERT_EQ(Strings()->NextNameValue(&p), kOk);
  EXPECT_EQ(Name(p), "last");
  EXPECT_EQ(p.remaining, 0u);
  const std::string blank = "k = ";
  p = ParametersAt(blank);
  ASSERT_EQ(Strings()->NextNameValue(&p), kOk);
  EXPECT_EQ(p.valueLength, 0u);
}

TEST(ListParsers, Attributes) {
  const std::string text = "path=/my dir ; secure";
  ParameterCursor p = ParametersAt(text);
  ASSERT_EQ(Strings()->NextAttribute(&p, 0), kOk);
  EXPECT_EQ(Name(p), "path");
  EXPECT_EQ(Value(p), "/my dir");
  ASSERT_EQ(Strings()->NextAttribute(&p, 0), kOk);
  EXPECT_EQ(Name(p), "secure");
  EXPECT_EQ(p.valueLength, 0u);
  EXPECT_EQ(Strings()->NextAttribute(&p, 0), kStringEnd);

  const std::string commas = "a=x, y";
  p = ParametersAt(commas);
  ASSERT_EQ(Strings()->NextAttribute(&p, 1), kOk);
  EXPECT_EQ(Value(p), "x");
  p = ParametersAt(commas);
  ASSERT_EQ(Strings()->NextAttribute(&p, 0), kOk);
  EXPECT_EQ(Value(p), "x, y");  // without the flag a comma is part of the value

  const std::string quoted = "n=\"a;b\";m";
  p = ParametersAt(quoted);
  ASSERT_EQ(Strings()->NextAttribute(&p, 0), kOk);
  EXPECT_EQ(Value(p), "\"a;b\"");
  ASSERT_EQ(Strings()->NextAttribute(&p, 0), kOk);
  EXPECT_EQ(Name(p), "m");
  p = ParametersAt("n= ");
  ASSERT_EQ(Strings()->NextAttribute(&p, 0), kOk);
  EXPECT_EQ(p.valueLength, 0u);
  EXPECT_EQ(p.remaining, 0u);
}

}  // namespace
}  // namespace sfx
