#include "json_fuzz.h"

#include <chrono>
#include <map>
#include <random>

#include "util/json.h"
#include "util/text.h"
#include "util_test_support.h"

namespace {

class Generator {
 public:
  explicit Generator(std::uint64_t seed) : rng_(seed) {}

  std::string input() {
    switch (pick(8)) {
      case 0:
        return randomBytes(pick(64));
      case 1:
        return jsonish(pick(200));
      case 2:
        return deep();
      case 3:
        return flatObject();
      default: {
        std::string doc = value(0);
        const int mutations = static_cast<int>(pick(4));
        for (int i = 0; i < mutations; ++i) mutate(doc);
        return doc;
      }
    }
  }

 private:
  std::uint64_t pick(std::uint64_t n) { return n == 0 ? 0 : rng_() % n; }

  std::string randomBytes(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(pick(256)));
    return s;
  }

  // Bytes drawn from JSON's own alphabet, so that structure is hit often.
  std::string jsonish(std::size_t n) {
    static const char* const kPieces[] = {"{", "}", "[", "]", ",", ":", "\"", "\\", "\\u", "\\ud83d", "\\ude00",
                                          "0", "-", "1e", ".", "9", "true", "false", "null", " ", "\n", "a",
                                          "\xC3", "\xA9", "\xF0\x9F", "\xFF", "\\\"", "e+", "E-", "\t", "\v"};
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += kPieces[pick(std::size(kPieces))];
    return s;
  }

  std::string deep() {
    const std::size_t depth = 200 + pick(400);
    std::string s = pick(2) ? "{\"a\":" : "";
    for (std::size_t i = 0; i < depth; ++i) s.append(pick(3) ? "[" : "{\"k\":");
    if (pick(2)) s += "1";
    for (std::size_t i = 0; i < depth / (1 + pick(3)); ++i) s += pick(2) ? "]" : "}";
    return s;
  }

  std::string str() {
    static const char* const kPieces[] = {"a", "Z", " ", "\\n", "\\t", "\\\"", "\\\\", "\\/", "\\u00e9", "\\u0000",
                                          "\\ud83d\\ude00", "\\ud800", "\\udfff", "\xC3\xA9", "\xE2\x82\xAC",
                                          "\xF0\x9F\x98\x80", "\x01", ",", "}", "]"};
    std::string s = "\"";
    const std::size_t n = pick(12);
    for (std::size_t i = 0; i < n; ++i) s += kPieces[pick(std::size(kPieces))];
    return s + "\"";
  }

  std::string number() {
    static const char* const kNumbers[] = {"0", "-0", "1", "-17", "3.25", "1e10", "-2.5E-3", "123456789012345678901",
                                           "1e308", "1e400", "4.9e-324", "0.1", "9007199254740993", "7e-400"};
    return kNumbers[pick(std::size(kNumbers))];
  }

  std::string value(int depth) {
    const std::uint64_t k = depth > 6 ? pick(5) : pick(7);
    switch (k) {
      case 0: return "null";
      case 1: return pick(2) ? "true" : "false";
      case 2: return number();
      case 3:
      case 4: return str();
      case 5: {
        std::string s = "[";
        const std::size_t n = pick(5);
        for (std::size_t i = 0; i < n; ++i) {
          if (i) s += ",";
          s += space();
          s += value(depth + 1);
          s += space();
        }
        return s + "]";
      }
      default: {
        std::string s = "{";
        const std::size_t n = pick(5);
        for (std::size_t i = 0; i < n; ++i) {
          if (i) s += ",";
          s += space();
          s += str();
          s += space();
          s += ":";
          s += value(depth + 1);
        }
        return s + "}";
      }
    }
  }

  std::string space() {
    static const char* const kSpaces[] = {"", "", "", " ", "\n", "\t ", "\r\n"};
    return kSpaces[pick(std::size(kSpaces))];
  }

  std::string flatObject() {
    std::string s = "{";
    const std::size_t n = pick(6);
    for (std::size_t i = 0; i < n; ++i) {
      if (i) s += ",";
      s += str();
      s += ":";
      s += pick(3) == 0 ? value(4) : pick(2) ? str() : number();
    }
    return s + "}";
  }

  void mutate(std::string& s) {
    if (s.empty()) {
      s = jsonish(4);
      return;
    }
    const std::size_t at = pick(s.size());
    switch (pick(5)) {
      case 0: s.erase(at, 1 + pick(4)); break;
      case 1: s.insert(at, jsonish(1 + pick(3))); break;
      case 2: s[at] = static_cast<char>(pick(256)); break;
      case 3: s.resize(at); break;
      default: s.insert(at, s.substr(pick(s.size()), pick(16))); break;
    }
  }

  std::mt19937_64 rng_;
};

int depthOf(const JsonValue& v) {
  int d = 0;
  for (const JsonValue& i : v.items) d = std::max(d, depthOf(i));
  for (const JsonMember& m : v.members) d = std::max(d, depthOf(m.value));
  return d + (v.kind == JsonValue::Array || v.kind == JsonValue::Object ? 1 : 0);
}

bool allTextValid(const JsonValue& v) {
  if (!isValidUtf8(v.text)) return false;
  for (const JsonValue& i : v.items) {
    if (!allTextValid(i)) return false;
  }
  for (const JsonMember& m : v.members) {
    if (!isValidUtf8(m.key) || !allTextValid(m.value)) return false;
  }
  return true;
}

// One input through every reader; an empty result means every check held.
std::string check(const std::string& input, JsonFuzzResult& result) {
  JsonValue tree;
  std::size_t pos = 0;
  if (parseJsonValue(input, pos, tree)) {
    ++result.treesAccepted;
    if (pos > input.size()) return "position past the end";
    if (!allTextValid(tree)) return "tree holds invalid UTF-8";
    if (depthOf(tree) > kMaxJsonDepth) return "tree nests deeper than the limit";
    const std::string written = writeJson(tree);
    JsonValue again;
    std::size_t pos2 = 0;
    if (!parseJsonValue(written, pos2, again) || pos2 != written.size()) return "written tree does not read back";
    if (treeTokens(again) != treeTokens(tree)) return "written tree reads back different";
  }

  std::map<std::string, std::string> flat;
  if (parseJsonObjectFlat(input, flat)) ++result.flatAccepted;

  const std::string quoted = jsonQuote(input);
  if (!isValidUtf8(quoted)) return "jsonQuote gave invalid UTF-8";
  std::string back;
  std::size_t qpos = 0;
  if (!parseJsonString(quoted, qpos, back) || qpos != quoted.size()) return "jsonQuote output does not read back";
  if (isValidUtf8(input) && back != input) return "jsonQuote round trip changed valid text";
  if (!isValidUtf8(back)) return "jsonQuote round trip gave invalid UTF-8";
  return {};
}

}  // namespace

JsonFuzzResult runJsonFuzz(std::uint64_t seed, std::uint64_t count, double seconds) {
  Generator gen(seed);
  JsonFuzzResult result;
  const auto start = std::chrono::steady_clock::now();
  while (result.inputs < count) {
    if (seconds > 0 && (result.inputs & 255) == 0 &&
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > seconds) {
      break;
    }
    const std::string input = gen.input();
    ++result.inputs;
    std::string failure = check(input, result);
    if (!failure.empty()) {
      result.failure = std::move(failure);
      result.failingInput = input;
      break;
    }
  }
  return result;
}
