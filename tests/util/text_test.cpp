#include <gtest/gtest.h>

#include <string>

#include "util/text.h"

namespace {

TEST(TextConversion, RoundTripsEveryPlane) {
  const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
  const std::wstring wide = utf8ToWide(utf8);
  EXPECT_EQ(wide, L"a\u00E9\u20AC\U0001F600z");
  if (sizeof(wchar_t) == 2) {
    ASSERT_EQ(wide.size(), 6u);  // the emoji is a surrogate pair
    EXPECT_EQ(static_cast<unsigned>(wide[3]), 0xD83Du);
    EXPECT_EQ(static_cast<unsigned>(wide[4]), 0xDE00u);
  }
  EXPECT_EQ(wideToUtf8(wide), utf8);
  EXPECT_EQ(utf8ToWide(""), L"");
  EXPECT_EQ(wideToUtf8(L""), "");
  EXPECT_EQ(utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(TextConversion, InvalidInputBecomesReplacementCharacters) {
  EXPECT_EQ(utf8ToWide("a\xFF" "b"), L"a\uFFFDb");
  EXPECT_EQ(utf8ToWide("\xC3"), L"\uFFFD");
  std::wstring loneSurrogate = L"x";
  loneSurrogate.push_back(static_cast<wchar_t>(0xD800));
  EXPECT_EQ(wideToUtf8(loneSurrogate), "x\xEF\xBF\xBD");
}

TEST(Utf8Codec, DecodesAndRejectsLikeUnicodeSays) {
  const auto decodeAll = [](const std::string& s) {
    std::u32string out;
    std::size_t pos = 0;
    while (pos < s.size()) out.push_back(decodeUtf8(s, pos));
    return out;
  };
  EXPECT_EQ(decodeAll("\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"),
            (std::u32string{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0x10000, 0x10FFFF}));
  // One U+FFFD per maximal ill-formed prefix.
  EXPECT_EQ(decodeAll("\xE0\x80\x80"), (std::u32string{0xFFFD, 0xFFFD, 0xFFFD}));
  EXPECT_EQ(decodeAll("\xE2\x82" "A"), (std::u32string{0xFFFD, 'A'}));
  EXPECT_EQ(decodeAll("\xF0\x9F\x98"), (std::u32string{0xFFFD}));
  EXPECT_EQ(decodeAll("\xC1\xBF"), (std::u32string{0xFFFD, 0xFFFD}));
  EXPECT_EQ(decodeAll("\xF5\x80"), (std::u32string{0xFFFD, 0xFFFD}));

  EXPECT_TRUE(isValidUtf8("plain \xEF\xBF\xBD \xF0\x9F\x98\x80"));
  EXPECT_FALSE(isValidUtf8("\xED\xBF\xBF"));
  EXPECT_FALSE(isValidUtf8("\xEF\xBF"));

  std::string out;
  appendUtf8(out, 0xDC00);
  appendUtf8(out, 0x110000);
  appendUtf8(out, 0x1F600);
  EXPECT_EQ(out, "\xEF\xBF\xBD\xEF\xBF\xBD\xF0\x9F\x98\x80");
}

}  // namespace
