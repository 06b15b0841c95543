#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>

#include "util/json.h"
#include "util/text.h"
#include "util_test_support.h"

namespace {

using Map = std::map<std::string, std::string>;

Map flat(const std::string& text, bool expectOk = true) {
  Map out;
  EXPECT_EQ(parseJsonObjectFlat(text, out), expectOk) << text;
  return out;
}

TEST(JsonFlat, ReadsMembersAsText) {
  EXPECT_EQ(flat(R"({"op":"scene.set","index":2})"), (Map{{"op", "scene.set"}, {"index", "2"}}));
  EXPECT_EQ(flat(R"({"on":true,"off":false,"none":null,"x":-1.5e3})"),
            (Map{{"on", "true"}, {"off", "false"}, {"none", "null"}, {"x", "-1.5e3"}}));
  EXPECT_EQ(flat(" \t\r\n\v\f{ \"a\" : \"b\" } \n"), (Map{{"a", "b"}}));
  EXPECT_EQ(flat("{}"), Map{});
  EXPECT_EQ(flat(R"({"a":1,})"), (Map{{"a", "1"}}));
  EXPECT_EQ(flat(R"({"a":1,"a":2})"), (Map{{"a", "2"}}));
}

TEST(JsonFlat, KeepsEarlierKeysOfTheMap) {
  Map out{{"keep", "x"}, {"a", "old"}};
  ASSERT_TRUE(parseJsonObjectFlat(R"({"a":"new"})", out));
  EXPECT_EQ(out, (Map{{"keep", "x"}, {"a", "new"}}));
}

TEST(JsonFlat, EscapesAreLiteralExceptNewlineTabReturn) {
  EXPECT_EQ(flat(R"({"s":"\u0041"})").at("s"), "u0041");
  EXPECT_EQ(flat(R"({"s":"a\"b\\c\/d\n\t\r"})").at("s"), "a\"b\\c/d\n\t\r");
  EXPECT_EQ(flat(R"({"k\"q":1})").count("k\"q"), 1u);
}

TEST(JsonFlat, NestedValuesAreSkippedWhole) {
  EXPECT_EQ(flat(R"({"a":{"x":[1,2,{"y":"},]"}],"z":{}},"b":3})"), (Map{{"a", ""}, {"b", "3"}}));
  EXPECT_EQ(flat(R"({"a":[],"b":[[[]]],"c":"d"})"), (Map{{"a", ""}, {"b", ""}, {"c", "d"}}));
}

TEST(JsonFlat, RawValueStopsAtWhiteSpace) {
  Map out = flat(R"({"a":12 34})", false);
  EXPECT_EQ(out.at("a"), "12");
}

TEST(JsonFlat, MalformedTextFails) {
  for (const char* text : {"", "   ", "[]", "{", R"({"a")", R"({"a":)", R"({"a" 1})", R"({a:1})", R"({"a":1)",
                           R"({"a":"x)", R"({"a":{"b":1})", R"({"a":[1,2})", R"({"a":"\)",
                           R"({"a":{"b" 1}})", R"({"a":{1:2}})"}) {
    Map out;
    EXPECT_FALSE(parseJsonObjectFlat(text, out)) << text;
  }
}

// A closer that does not match its opener used to be stepped over by nothing
// at all, so the skip never moved on.
TEST(JsonFlat, MismatchedCloserFailsInsteadOfHanging) {
  for (const char* text : {R"({"op":"x","a":[1})", R"({"a":[}]})", R"({"a":{"b":1]})", R"({"a":[[1]}})",
                           R"({"a":{"b":[}})"}) {
    Map out;
    EXPECT_FALSE(parseJsonObjectFlat(text, out)) << text;
  }
}

TEST(JsonFlat, DeepNestingFailsOnASmallStack) {
  const std::string deepOpen = R"({"a":)" + std::string(1 << 20, '[');
  std::string balanced = R"({"a":)" + std::string(100000, '[') + std::string(100000, ']') + R"(,"b":1})";
  bool openOk = true, balancedOk = false;
  Map balancedOut;
  runWithStack(64 * 1024, [&] {
    Map out;
    openOk = parseJsonObjectFlat(deepOpen, out);
    balancedOk = parseJsonObjectFlat(balanced, balancedOut);
  });
  EXPECT_FALSE(openOk);
  EXPECT_TRUE(balancedOk);
  EXPECT_EQ(balancedOut.at("b"), "1");
}

TEST(JsonQuote, EscapesQuotesBackslashesAndControls) {
  EXPECT_EQ(jsonQuote("\"\\\n\t\xC3\xA9"), "\"\\\"\\\\\\n\\u0009\xC3\xA9\"");
  EXPECT_EQ(jsonQuote("\r"), "\"\\u000d\"");
  EXPECT_EQ(jsonQuote(std::string("\0\x1f", 2)), "\"\\u0000\\u001f\"");
  EXPECT_EQ(jsonQuote(""), "\"\"");
  EXPECT_EQ(jsonQuote("/ \x7f"), "\"/ \x7f\"");
  EXPECT_EQ(jsonQuote("\xF0\x9F\x98\x80 \xEF\xBF\xBD"), "\"\xF0\x9F\x98\x80 \xEF\xBF\xBD\"");
}

TEST(JsonQuote, InvalidUtf8BecomesReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(jsonQuote("a\xFF" "b"), "\"a" + fffd + "b\"");
  EXPECT_EQ(jsonQuote("\xC3"), "\"" + fffd + "\"");           // truncated pair
  EXPECT_EQ(jsonQuote("\xC0\xAF"), "\"" + fffd + fffd + "\"");  // overlong "/"
  EXPECT_EQ(jsonQuote("\xED\xA0\x80"), "\"" + fffd + fffd + fffd + "\"");  // encoded surrogate
  EXPECT_EQ(jsonQuote("\xF4\x90\x80\x80"), "\"" + fffd + fffd + fffd + fffd + "\"");  // above U+10FFFF
  EXPECT_EQ(jsonQuote("\xE2\x82" "\""), "\"" + fffd + "\\\"\"");  // the quote is not swallowed
  EXPECT_TRUE(isValidUtf8(jsonQuote("\x80\xBF\xFE\xE0\x80")));
}

}  // namespace
