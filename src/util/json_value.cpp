#include <charconv>
#include <cstdlib>
#include <iterator>
#include <system_error>

#include "util/json.h"
#include "util/json_memory.h"
#include "util/text.h"

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Exactly four hexadecimal digits at `p`: no sign, blank or "0x" prefix.
bool readHex4(std::string_view t, std::size_t p, char32_t& v) {
  if (p + 4 > t.size()) return false;
  v = 0;
  for (std::size_t i = p; i < p + 4; ++i) {
    const int d = hexValue(t[i]);
    if (d < 0) return false;
    v = (v << 4) | static_cast<char32_t>(d);
  }
  return true;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The longest prefix at `p` that JSON's number grammar allows:
// -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?. Nothing else ("+1", ".5",
// "inf", "nan", "0x10") is a number.
bool parseNumber(std::string_view t, std::size_t& pos, double& out) {
  const std::size_t n = t.size();
  std::size_t p = pos;
  const bool negative = p < n && t[p] == '-';
  if (negative) ++p;
  if (p >= n || !isDigit(t[p])) return false;
  const std::size_t intStart = p;
  if (t[p] == '0') {
    ++p;
  } else {
    while (p < n && isDigit(t[p])) ++p;
  }
  bool integral = true;
  if (p + 1 < n && t[p] == '.' && isDigit(t[p + 1])) {
    integral = false;
    p += 2;
    while (p < n && isDigit(t[p])) ++p;
  }
  if (p < n && (t[p] == 'e' || t[p] == 'E')) {
    std::size_t q = p + 1;
    if (q < n && (t[q] == '+' || t[q] == '-')) ++q;
    if (q < n && isDigit(t[q])) {
      integral = false;
      p = q + 1;
      while (p < n && isDigit(t[p])) ++p;
    }
  }
  // Up to 15 digits an integer is exact in a double: the common case of
  // counts and identifiers needs no general conversion.
  if (integral && p - intStart <= 15) {
    std::int64_t v = 0;
    for (std::size_t i = intStart; i < p; ++i) v = v * 10 + (t[i] - '0');
    out = negative ? -static_cast<double>(v) : static_cast<double>(v);
    pos = p;
    return true;
  }
  const char* first = t.data() + pos;
  const char* last = t.data() + p;
  double v = 0;
  const auto res = std::from_chars(first, last, v);
  if (res.ec == std::errc::result_out_of_range) {
    // Overflow to infinity and underflow to zero, as strtod rounds them;
    // the text is known to be a plain decimal number by now.
    const std::string copy(first, last);
    v = std::strtod(copy.c_str(), nullptr);
  } else if (res.ec != std::errc() || res.ptr != last) {
    return false;
  }
  out = v;
  pos = p;
  return true;
}

// Appends a fresh element, growing the vector as it would grow itself
// (doubling) but counting the larger block first; null when it does not fit.
template <typename T>
T* appendCounted(std::vector<T>& v, JsonBudget& budget) {
  if (v.size() == v.capacity()) {
    const std::size_t had = v.capacity();
    const std::size_t grown = had == 0 ? 1 : 2 * had;
    // Both blocks are held while the elements move over.
    if (!budget.take(grown * sizeof(T))) return nullptr;
    v.reserve(grown);
    budget.giveBack(had * sizeof(T));
  }
  return &v.emplace_back();
}

// Moves a finished container's elements into a block of their exact number:
// doubling leaves up to half of a vector unused, which would count against
// every large page's budget for nothing. The move needs both blocks at once;
// when that does not fit, the vector stays as it is, already counted.
template <typename T>
void fitCounted(std::vector<T>& v, JsonBudget& budget) {
  const std::size_t had = v.capacity();
  if (had == v.size() || !budget.take(v.size() * sizeof(T))) return;
  v = std::vector<T>(std::make_move_iterator(v.begin()), std::make_move_iterator(v.end()));
  budget.giveBack(had * sizeof(T));
}

bool parseValue(std::string_view t, std::size_t& pos, JsonValue& out, int depth, JsonBudget& budget);

// Objects and arrays are read in functions of their own so that the frame
// that recursion repeats stays small.
bool parseObject(std::string_view t, std::size_t& pos, JsonValue& out, int depth, JsonBudget& budget) {
  const std::size_t n = t.size();
  out.kind = JsonValue::Object;
  ++pos;
  skipJsonSpace(t, pos);
  if (pos < n && t[pos] == '}') {
    ++pos;
    return true;
  }
  for (;;) {
    skipJsonSpace(t, pos);
    JsonMember* member = appendCounted(out.members, budget);
    if (!member || !parseJsonString(t, pos, member->key) || !budget.take(jsonHeapBytes(member->key))) return false;
    skipJsonSpace(t, pos);
    if (pos >= n || t[pos] != ':') return false;
    ++pos;
    if (!parseValue(t, pos, member->value, depth + 1, budget)) return false;
    skipJsonSpace(t, pos);
    if (pos >= n) return false;
    const char d = t[pos++];
    if (d == '}') {
      fitCounted(out.members, budget);
      return true;
    }
    if (d != ',' || pos >= n) return false;
  }
}

bool parseArray(std::string_view t, std::size_t& pos, JsonValue& out, int depth, JsonBudget& budget) {
  const std::size_t n = t.size();
  out.kind = JsonValue::Array;
  ++pos;
  skipJsonSpace(t, pos);
  if (pos >= n) return false;
  if (t[pos] == ']') {
    ++pos;
    return true;
  }
  for (;;) {
    JsonValue* item = appendCounted(out.items, budget);
    if (!item || !parseValue(t, pos, *item, depth + 1, budget)) return false;
    skipJsonSpace(t, pos);
    if (pos >= n) return false;
    const char d = t[pos++];
    if (d == ']') {
      fitCounted(out.items, budget);
      return true;
    }
    if (d != ',' || pos >= n) return false;
  }
}

bool startsWith(std::string_view t, std::size_t pos, std::string_view word) {
  return t.size() - pos >= word.size() && t.compare(pos, word.size(), word) == 0;
}

bool parseValue(std::string_view t, std::size_t& pos, JsonValue& out, int depth, JsonBudget& budget) {
  skipJsonSpace(t, pos);
  if (pos >= t.size()) return false;
  const char c = t[pos];
  if (c == '{' || c == '[') {
    if (depth >= kMaxJsonDepth) return false;
    return c == '{' ? parseObject(t, pos, out, depth, budget) : parseArray(t, pos, out, depth, budget);
  }
  if (c == '"') {
    out.kind = JsonValue::String;
    return parseJsonString(t, pos, out.text) && budget.take(jsonHeapBytes(out.text));
  }
  if (startsWith(t, pos, "true")) {
    out.kind = JsonValue::Bool;
    out.boolean = true;
    pos += 4;
    return true;
  }
  if (startsWith(t, pos, "false")) {
    out.kind = JsonValue::Bool;
    pos += 5;
    return true;
  }
  if (startsWith(t, pos, "null")) {
    pos += 4;
    return true;
  }
  if (!parseNumber(t, pos, out.number)) return false;
  out.kind = JsonValue::Number;
  return true;
}

}  // namespace

void skipJsonSpace(std::string_view t, std::size_t& pos) {
  while (pos < t.size() && (t[pos] == ' ' || t[pos] == '\n' || t[pos] == '\r' || t[pos] == '\t')) ++pos;
}

bool parseJsonString(std::string_view t, std::size_t& pos, std::string& out) {
  const std::size_t n = t.size();
  if (pos >= n || t[pos] != '"') return false;
  out.clear();
  std::size_t p = pos + 1;
  for (;;) {
    const std::size_t run = p;
    while (p < n) {
      const unsigned char b = static_cast<unsigned char>(t[p]);
      if (b == '"' || b == '\\' || b >= 0x80) break;
      ++p;
    }
    out.append(t.data() + run, p - run);
    if (p >= n) return false;
    const char c = t[p];
    if (c == '"') {
      pos = p + 1;
      return true;
    }
    if (c != '\\') {
      // Raw bytes from the document are checked, so that whatever it holds
      // the text handed on is valid UTF-8.
      copyUtf8Char(out, t, p);
      continue;
    }
    if (p + 1 >= n) return false;
    const char e = t[p + 1];
    p += 2;
    switch (e) {
      case 'b': out.push_back('\b'); break;
      case 'f': out.push_back('\f'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case 'u': {
        char32_t unit = 0;
        if (!readHex4(t, p, unit)) return false;
        p += 4;
        char32_t cp = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          // Only a low surrogate completes the pair; anything else leaves the
          // high one alone and is read on its own.
          char32_t low = 0;
          if (p + 6 <= n && t[p] == '\\' && t[p + 1] == 'u' && readHex4(t, p + 2, low) && low >= 0xDC00 &&
              low <= 0xDFFF) {
            cp = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            p += 6;
          } else {
            cp = kReplacementChar;
          }
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
          cp = kReplacementChar;
        }
        appendUtf8(out, cp);
        break;
      }
      default:
        // An escaped byte stands for itself; a lead byte of a multi-byte
        // sequence goes through the raw path so that it is checked whole.
        if (static_cast<unsigned char>(e) >= 0x80) {
          --p;
        } else {
          out.push_back(e);
        }
        break;
    }
  }
}

bool parseJsonValue(std::string_view text, std::size_t& pos, JsonValue& out) {
  JsonBudget budget(text.size(), kJsonTreeMemoryFactor);
  return parseValue(text, pos, out, 0, budget);
}

const JsonValue& jsonNull() {
  static const JsonValue kNull;
  return kNull;
}

const JsonValue& JsonValue::member(std::string_view key) const {
  for (const JsonMember& m : members) {
    if (m.key == key) return m.value;
  }
  return jsonNull();
}

const JsonValue& JsonValue::item(std::int64_t i) const {
  if (i < 0 || static_cast<std::uint64_t>(i) >= items.size()) return jsonNull();
  return items[static_cast<std::size_t>(i)];
}

const JsonValue* JsonValue::find(std::string_view key) const {
  for (const JsonMember& m : members) {
    if (m.key == key) return &m.value;
    if (const JsonValue* hit = m.value.find(key)) return hit;
  }
  for (const JsonValue& v : items) {
    if (const JsonValue* hit = v.find(key)) return hit;
  }
  return nullptr;
}
