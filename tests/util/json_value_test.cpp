#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "util/json.h"
#include "util/text.h"
#include "util_test_support.h"

namespace {

// Parses the whole text as one value.
bool parseAll(const std::string& text, JsonValue& out) {
  std::size_t pos = 0;
  return parseJsonValue(text, pos, out);
}

JsonValue parsed(const std::string& text) {
  JsonValue v;
  std::size_t pos = 0;
  EXPECT_TRUE(parseJsonValue(text, pos, v)) << text;
  return v;
}

bool fails(const std::string& text) {
  JsonValue v;
  return !parseAll(text, v);
}

std::string stringOf(const std::string& literal) {
  std::string out;
  std::size_t pos = 0;
  EXPECT_TRUE(parseJsonString(literal, pos, out)) << literal;
  EXPECT_EQ(pos, literal.size());
  return out;
}

TEST(JsonValue, ReadsEveryKind) {
  const JsonValue v = parsed(R"( {"n":null,"t":true,"f":false,"x":-12.5e-1,"s":"hi","a":[1,"2",[]],"o":{}} )");
  ASSERT_EQ(v.kind, JsonValue::Object);
  ASSERT_EQ(v.members.size(), 7u);
  EXPECT_EQ(v.member("n").kind, JsonValue::Null);
  EXPECT_TRUE(v.member("t").boolean);
  EXPECT_EQ(v.member("f").kind, JsonValue::Bool);
  EXPECT_FALSE(v.member("f").boolean);
  EXPECT_DOUBLE_EQ(v.member("x").number, -1.25);
  EXPECT_EQ(v.member("s").text, "hi");
  EXPECT_EQ(v.member("a").items.size(), 3u);
  EXPECT_EQ(v.member("a").item(1).text, "2");
  EXPECT_EQ(v.member("a").item(2).kind, JsonValue::Array);
  EXPECT_EQ(v.member("o").kind, JsonValue::Object);
  EXPECT_TRUE(v.member("o").members.empty());
}

TEST(JsonValue, ReadsOneValueAndStopsAfterIt) {
  std::size_t pos = 0;
  JsonValue v;
  const std::string text = "  42  ,";
  ASSERT_TRUE(parseJsonValue(text, pos, v));
  EXPECT_EQ(v.number, 42);
  EXPECT_EQ(pos, 4u);

  pos = 0;
  JsonValue w;
  ASSERT_TRUE(parseJsonValue("truex", pos, w));
  EXPECT_TRUE(w.boolean);
  EXPECT_EQ(pos, 4u);

  pos = 3;
  JsonValue inner;
  ASSERT_TRUE(parseJsonValue("ab [1] cd", pos, inner));
  EXPECT_EQ(inner.items.size(), 1u);
  EXPECT_EQ(pos, 6u);
}

TEST(JsonValue, MalformedStructureFails) {
  for (const char* text : {"", " ", "[1,]", R"({"a":1,})", R"({"a" 1})", R"({"a":1)", "[1", "[", "{", R"({"a")",
                           R"({1:2})", "[1 2]", R"("abc)", "nul", "tru", "fals", "[1,", R"({"a":1,)", "]", "}",
                           "-", R"("\)"}) {
    EXPECT_TRUE(fails(text)) << text;
  }
}

TEST(JsonValue, NumbersFollowTheJsonGrammar) {
  for (const char* text : {"+1", ".5", "inf", "-inf", "nan", "NaN", "Infinity", "-", "- 1", "\v1", "\f1"}) {
    EXPECT_TRUE(fails(text)) << text;
  }
  // The longest prefix that is a JSON number is read; what follows is left.
  struct Case {
    const char* text;
    double value;
    std::size_t end;
  };
  for (const Case& c : {Case{"0x10", 0, 1}, Case{"01", 0, 1}, Case{"1.", 1, 1}, Case{"1.e5", 1, 1},
                        Case{"1e", 1, 1}, Case{"1e+", 1, 1}, Case{"-0.5E+2", -50, 7}, Case{"1E-2", 0.01, 4},
                        Case{"123456789012345678", 123456789012345678.0, 18}, Case{"0.1", 0.1, 3}}) {
    std::size_t pos = 0;
    JsonValue v;
    ASSERT_TRUE(parseJsonValue(c.text, pos, v)) << c.text;
    EXPECT_EQ(v.kind, JsonValue::Number) << c.text;
    EXPECT_EQ(v.number, c.value) << c.text;
    EXPECT_EQ(pos, c.end) << c.text;
  }
  EXPECT_TRUE(std::signbit(parsed("-0").number));
  EXPECT_EQ(parsed("1e400").number, HUGE_VAL);
  EXPECT_EQ(parsed("-1e400").number, -HUGE_VAL);
  EXPECT_EQ(parsed("1e-400").number, 0.0);
  EXPECT_EQ(parsed("4.9406564584124654e-324").number, 4.9406564584124654e-324);
  EXPECT_EQ(parsed("[1,2]").items.size(), 2u);
}

TEST(JsonString, DecodesEscapes) {
  EXPECT_EQ(stringOf(R"("\b\f\n\r\t\"\\\/\q")"), "\b\f\n\r\t\"\\/q");
  EXPECT_EQ(stringOf(R"("\u00e9")"), "\xC3\xA9");
  EXPECT_EQ(stringOf(R"("\u00E9\u0041\u20AC")"), "\xC3\xA9" "A" "\xE2\x82\xAC");
  EXPECT_EQ(stringOf(R"("\ud83d\ude00")"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(stringOf(R"("\uDBFF\uDFFF")"), "\xF4\x8F\xBF\xBF");
  EXPECT_EQ(stringOf(std::string("\"a\x01\tb\"")), "a\x01\tb");  // raw controls pass
  EXPECT_EQ(stringOf("\"\xC3\xA9\xF0\x9F\x98\x80\""), "\xC3\xA9\xF0\x9F\x98\x80");
}

TEST(JsonString, BadUnicodeEscapesFail) {
  for (const char* text : {R"("\u00")", R"("\u00e")", R"("\u+0041")", R"("\u 041")", R"("\u0x41")", R"("\u-041")",
                           R"("\uzzzz")", R"("\ud83d\uzzzz")", "\"\\u", "\"\\"}) {
    std::string out;
    std::size_t pos = 0;
    EXPECT_FALSE(parseJsonString(text, pos, out)) << text;
  }
}

TEST(JsonString, LoneSurrogatesBecomeReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(stringOf(R"("\ud83d")"), fffd);
  EXPECT_EQ(stringOf(R"("\ude00")"), fffd);
  EXPECT_EQ(stringOf(R"("\ud83dx")"), fffd + "x");
  // A high surrogate followed by anything but a low one stays alone, and the
  // next escape is read on its own.
  EXPECT_EQ(stringOf(R"("\ud83d\u0041")"), fffd + "A");
  EXPECT_EQ(stringOf(R"("\ud83d\ud83d\ude00")"), fffd + "\xF0\x9F\x98\x80");
  EXPECT_EQ(stringOf(R"("\ude00\ud83d")"), fffd + fffd);
}

TEST(JsonString, RawInvalidUtf8BecomesReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(stringOf("\"a\xFF" "b\""), "a" + fffd + "b");
  EXPECT_EQ(stringOf("\"\xED\xA0\x80\""), fffd + fffd + fffd);
  EXPECT_EQ(stringOf("\"\xF4\x90\x80\x80\""), fffd + fffd + fffd + fffd);
  EXPECT_EQ(stringOf("\"\\\xC3\xA9\""), "\xC3\xA9");  // an escaped multi-byte character
  EXPECT_EQ(stringOf("\"\\\xC3\""), fffd);
  // A truncated sequence does not swallow the closing quote.
  EXPECT_EQ(stringOf("\"\xE2\x82\""), fffd);
}

TEST(JsonString, MustStartAtAQuote) {
  std::string out;
  std::size_t pos = 0;
  EXPECT_FALSE(parseJsonString(" \"a\"", pos, out));
  pos = 5;
  EXPECT_FALSE(parseJsonString("\"a\"", pos, out));
}

TEST(JsonValue, NestingIsLimited) {
  const int limit = kMaxJsonDepth;
  JsonValue v;
  EXPECT_TRUE(parseAll(std::string(limit, '[') + std::string(limit, ']'), v));
  EXPECT_TRUE(fails(std::string(limit + 1, '[') + std::string(limit + 1, ']')));
  std::string objects;
  for (int i = 0; i <= limit; ++i) objects += R"({"a":)";
  objects += "1";
  objects.append(limit + 1, '}');
  EXPECT_TRUE(fails(objects));

  bool hugeOk = true;
  const std::string huge(1 << 20, '[');
  // Room for the limit even in sanitised builds, whose frames are large;
  // reading a level per "[" without a limit would need hundreds of megabytes.
  runWithStack(2 * 1024 * 1024, [&] {
    JsonValue w;
    std::size_t pos = 0;
    hugeOk = parseJsonValue(huge, pos, w);
  });
  EXPECT_FALSE(hugeOk);
}

TEST(JsonValue, MemberLookups) {
  const JsonValue v = parsed(R"({"a":1,"a":2,"b":[10,20]})");
  EXPECT_EQ(v.members.size(), 3u);
  EXPECT_EQ(v.member("a").number, 1);
  EXPECT_EQ(v.member("A").kind, JsonValue::Null);
  EXPECT_EQ(v.member("b").item(1).number, 20);
  EXPECT_EQ(&v.member("b").item(-1), &jsonNull());
  EXPECT_EQ(&v.member("b").item(2), &jsonNull());
  EXPECT_EQ(&v.member("b").member("a"), &jsonNull());
  EXPECT_EQ(&parsed(R"("a")").member("a"), &jsonNull());
  EXPECT_EQ(v.member("missing").member("deeper").item(0).text, "");
  // A key with an embedded NUL is compared by its full length.
  const JsonValue z = parsed(R"({"a\u0000b":1})");
  EXPECT_EQ(&z.member("a"), &jsonNull());
  EXPECT_EQ(z.member(std::string_view("a\0b", 3)).number, 1);
}

TEST(JsonValue, FindIsDepthFirstInDocumentOrder) {
  const JsonValue v = parsed(R"({"outer":{"id":1},"id":2})");
  ASSERT_NE(v.find("id"), nullptr);
  EXPECT_EQ(v.find("id")->number, 1);
  // A member's key is checked before its value is searched.
  const JsonValue w = parsed(R"({"x":[{"k":"in array"}],"k":{"k":"inner"}})");
  EXPECT_EQ(w.find("k")->text, "in array");
  const JsonValue u = parsed(R"({"k":{"k":"inner"}})");
  EXPECT_EQ(u.find("k")->kind, JsonValue::Object);
  const JsonValue a = parsed(R"([[{"z":0}],{"id":"second"}])");
  EXPECT_EQ(a.find("id")->text, "second");
  EXPECT_EQ(a.find("nothing"), nullptr);
  EXPECT_EQ(parsed("3").find("id"), nullptr);
}

TEST(JsonValue, MovingKeepsTheSubtree) {
  JsonValue v = parsed(R"({"a":{"b":[1,2,3]}})");
  JsonValue moved = std::move(v.members[0].value);
  EXPECT_EQ(moved.member("b").items.size(), 3u);
}

}  // namespace
