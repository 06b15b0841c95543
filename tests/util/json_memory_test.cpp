// Both readers refuse a text whose parse would take more than its bound (eight
// times its size for a message, sixteen for a page), whatever its shape, and
// still read ordinary texts of the same size.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "util/json.h"
#include "util/json_shapes.h"

namespace {

constexpr std::size_t kMiB = 1 << 20;

// `item` repeated as the elements of an array of about `bytes`.
std::string arrayOf(const std::string& item, std::size_t bytes) {
  std::string out = "[" + item;
  while (out.size() + item.size() + 2 <= bytes) out += "," + item;
  return out + "]";
}

bool flatParses(const std::string& text) {
  std::map<std::string, std::string> out;
  return parseJsonObjectFlat(text, out);
}

bool treeParses(const std::string& text) {
  JsonValue out;
  std::size_t pos = 0;
  return parseJsonValue(text, pos, out) && pos == text.size();
}

TEST(JsonMemory, CostlyShapesAreRefusedAndOrdinaryTextsOfTheSameSizeRead) {
  struct Case {
    const char* name;
    bool (*parse)(const std::string&);
    std::string text;
    bool parses;
  };
  const Case cases[] = {
      {"flat: short unique keys", flatParses, shortKeyObject(kMiB), false},
      {"flat: one long string", flatParses, R"({"op":"x","s":")" + std::string(kMiB, 's') + "\"}", true},
      {"tree: wide array of 0", treeParses, zeroArray(kMiB), false},
      {"tree: empty objects", treeParses, arrayOf("{}", kMiB), false},
      {"tree: short unique keys", treeParses, shortKeyObject(kMiB), false},
      {"tree: long strings", treeParses, arrayOf('"' + std::string(1000, 's') + '"', kMiB), true},
      // About seven times its text held, the densest that pages get.
      {"tree: thumbnails", treeParses,
       arrayOf(R"({"url":"https://yt3.ggpht.com/em1234=w24-h24-c-k-nd","width":24,"height":24})", kMiB), true},
      // Small texts of any shape are read: their nodes count against the floor.
      {"tree: small wide array", treeParses, zeroArray(400), true},
      {"flat: small object of short keys", flatParses, shortKeyObject(400), true},
  };
  for (const Case& c : cases) EXPECT_EQ(c.parse(c.text), c.parses) << c.name << ", " << c.text.size() << " bytes";
}

}  // namespace
