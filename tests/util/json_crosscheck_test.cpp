// Cross-checks the JSON code against Debian's python3 json module, a reader
// and writer that none of us wrote.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "util/folders.h"
#include "util/json.h"
#include "util/text.h"
#include "util_test_support.h"

namespace {

const char* const kPython = "/usr/bin/python3";

class JsonCrossCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access(kPython, X_OK), 0) << kPython << " is missing; scripts/setup installs it";
    script_ = wideToUtf8(environmentVariable(L"QH_SOURCE_DIR")) + "/tests/util/json_crosscheck.py";
    ASSERT_EQ(access(script_.c_str(), R_OK), 0) << script_;
  }

  std::string file(const std::string& name) { return wideToUtf8(folder_) + "/" + name; }

  void runPython(const std::string& args) {
    const std::string command = std::string(kPython) + " '" + script_ + "' " + args;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  static std::vector<std::string> lines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
  }

  // Random valid UTF-8: every plane, controls included, no surrogates.
  static std::vector<std::string> randomTexts(std::uint64_t seed, int count) {
    std::mt19937_64 rng(seed);
    const char32_t ranges[][2] = {{0x20, 0x7E}, {0x00, 0x1F}, {0x7F, 0x7FF}, {0x800, 0xD7FF},
                                  {0xE000, 0xFFFF}, {0x10000, 0x10FFFF}, {'"', '"'}, {'\\', '\\'}};
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
      std::string s;
      const int n = static_cast<int>(rng() % 24);
      for (int k = 0; k < n; ++k) {
        const auto& r = ranges[rng() % std::size(ranges)];
        appendUtf8(s, r[0] + static_cast<char32_t>(rng() % (r[1] - r[0] + 1)));
      }
      out.push_back(s);
    }
    return out;
  }

  static std::string fromHex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
  }

  std::wstring folder_ = freshTestFolder(L"json-crosscheck");
  std::string script_;
};

TEST_F(JsonCrossCheck, PythonReadsWhatJsonQuoteWrites) {
  const std::vector<std::string> texts = randomTexts(1, 5000);
  {
    std::ofstream out(file("quote-in.txt"), std::ios::binary);
    for (const std::string& s : texts) out << toHex(s) << "\t" << toHex(jsonQuote(s)) << "\n";
  }
  runPython("quote '" + file("quote-in.txt") + "' '" + file("quote-out.txt") + "'");
  const std::vector<std::string> results = lines(file("quote-out.txt"));
  ASSERT_EQ(results.size(), texts.size());
  int bad = 0;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (results[i] != "ok" && ++bad <= 5) ADD_FAILURE() << "text " << toHex(texts[i]) << " read back as " << results[i];
  }
  EXPECT_EQ(bad, 0);
}

TEST_F(JsonCrossCheck, WeReadWhatPythonDumpsWithAsciiEscapes) {
  const std::vector<std::string> texts = randomTexts(2, 5000);
  {
    std::ofstream out(file("dumps-in.txt"), std::ios::binary);
    for (const std::string& s : texts) out << toHex(s) << "\n";
  }
  runPython("dumps '" + file("dumps-in.txt") + "' '" + file("dumps-out.txt") + "'");
  const std::vector<std::string> dumped = lines(file("dumps-out.txt"));
  ASSERT_EQ(dumped.size(), texts.size());
  int bad = 0;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    JsonValue v;
    std::size_t pos = 0;
    const bool ok = parseJsonValue(dumped[i], pos, v) && pos == dumped[i].size() && v.kind == JsonValue::String &&
                    v.text == texts[i];
    if (!ok && ++bad <= 5) ADD_FAILURE() << "python wrote " << dumped[i] << " for " << toHex(texts[i]);
  }
  EXPECT_EQ(bad, 0);
}

TEST_F(JsonCrossCheck, RandomPythonDocumentsGiveTheSameTree) {
  const int count = 3000;
  runPython("docs 7 " + std::to_string(count) + " '" + file("docs.txt") + "'");
  const std::vector<std::string> all = lines(file("docs.txt"));
  int docs = 0, bad = 0;
  for (std::size_t i = 0; i < all.size();) {
    const std::string text = fromHex(all[i++]);
    std::string expected;
    while (i < all.size() && all[i] != "END") expected += all[i++] + "\n";
    ++i;
    ++docs;
    JsonValue v;
    std::size_t pos = 0;
    const bool parsed = parseJsonValue(text, pos, v);
    const bool ok = parsed && pos == text.size() && treeTokens(v) == expected;
    if (!ok && ++bad <= 5) ADD_FAILURE() << "document " << text;
  }
  EXPECT_EQ(docs, count);
  EXPECT_EQ(bad, 0);
}

}  // namespace
