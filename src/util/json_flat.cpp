#include "util/json.h"
#include "util/json_memory.h"
#include "util/text.h"

namespace {

using FlatMap = std::map<std::string, std::string>;

// An entry's node: the key and value beside the tree's three links and colour.
constexpr std::size_t kFlatNodeBytes = sizeof(FlatMap::value_type) + 4 * sizeof(void*);

bool isFlatSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void skipFlatSpace(std::string_view t, std::size_t& p) {
  while (p < t.size() && isFlatSpace(t[p])) ++p;
}

// At a double quote. Only \n, \t and \r mean something; any other escaped
// byte stands for itself, so \u00e9 reads as the letters u00e9.
bool readFlatString(std::string_view t, std::size_t& p, std::string* out) {
  ++p;
  while (p < t.size()) {
    const char c = t[p++];
    if (c == '"') return true;
    if (c == '\\') {
      if (p >= t.size()) return false;
      const char e = t[p++];
      if (out) out->push_back(e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e);
    } else if (out) {
      out->push_back(c);
    }
  }
  return false;
}

void skipRawValue(std::string_view t, std::size_t& p) {
  while (p < t.size() && t[p] != ',' && t[p] != '}' && t[p] != ']') ++p;
}

// Skips one member value that may nest. Iterative with an explicit stack of
// expected closers, so neither deep nesting nor a mismatched closer (which a
// raw value cannot step over) can exhaust the stack or stall the scan.
// Called at the opening "{" or "[".
bool skipNestedValue(std::string_view t, std::size_t& p) {
  std::string closers(1, t[p] == '{' ? '}' : ']');
  ++p;
  for (;;) {
    // At the start of a member or element of the innermost open container.
    skipFlatSpace(t, p);
    if (p >= t.size()) return false;
    const char c = t[p];
    if (c == closers.back()) {
      ++p;
      closers.pop_back();
      if (closers.empty()) return true;
    } else if (c == '}' || c == ']') {
      return false;
    } else {
      if (closers.back() == '}') {
        if (c != '"' || !readFlatString(t, p, nullptr)) return false;
        skipFlatSpace(t, p);
        if (p >= t.size() || t[p] != ':') return false;
        ++p;
      }
      skipFlatSpace(t, p);
      if (p >= t.size()) return false;
      const char v = t[p];
      if (v == '{' || v == '[') {
        closers.push_back(v == '{' ? '}' : ']');
        ++p;
        continue;
      }
      if (v == '"') {
        if (!readFlatString(t, p, nullptr)) return false;
      } else {
        skipRawValue(t, p);
      }
    }
    skipFlatSpace(t, p);
    if (p < t.size() && t[p] == ',') ++p;
  }
}

// Printable ASCII other than the quote and the backslash stands as it is.
bool isPlainJsonByte(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  return b >= 0x20 && b < 0x80 && c != '"' && c != '\\';
}

}  // namespace

bool parseJsonObjectFlat(std::string_view t, FlatMap& out) {
  JsonBudget budget(t.size(), kJsonFlatMemoryFactor);
  std::size_t p = 0;
  skipFlatSpace(t, p);
  if (p >= t.size() || t[p] != '{') return false;
  ++p;
  for (;;) {
    skipFlatSpace(t, p);
    if (p >= t.size()) return false;
    if (t[p] == '}') return true;
    if (t[p] != '"') return false;
    std::string key;
    if (!readFlatString(t, p, &key)) return false;
    skipFlatSpace(t, p);
    if (p >= t.size() || t[p] != ':') return false;
    ++p;
    skipFlatSpace(t, p);
    std::string value;
    if (p < t.size() && t[p] == '"') {
      if (!readFlatString(t, p, &value)) return false;
    } else if (p < t.size() && (t[p] == '{' || t[p] == '[')) {
      if (!skipNestedValue(t, p)) return false;
    } else {
      const std::size_t start = p;
      while (p < t.size() && t[p] != ',' && t[p] != '}' && !isFlatSpace(t[p])) ++p;
      value.assign(t.substr(start, p - start));
    }
    // Counted before it is stored, so a refused text never holds more.
    const auto at = out.lower_bound(key);
    const bool fresh = at == out.end() || out.key_comp()(key, at->first);
    if (!fresh) budget.giveBack(jsonHeapBytes(at->second));
    if (!budget.take(jsonHeapBytes(value) + (fresh ? kFlatNodeBytes + jsonHeapBytes(key) : 0))) return false;
    if (fresh) {
      out.emplace_hint(at, std::move(key), std::move(value));
    } else {
      at->second = std::move(value);
    }
    skipFlatSpace(t, p);
    if (p >= t.size()) return false;
    if (t[p] != ',') return t[p] == '}';
    ++p;
  }
}

std::string jsonQuote(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  appendJsonQuote(out, s);
  return out;
}

void appendJsonQuote(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  std::size_t i = 0;
  while (i < s.size()) {
    // Bytes that need no escape go in whole runs.
    std::size_t plain = i;
    while (plain < s.size() && isPlainJsonByte(s[plain])) ++plain;
    out.append(s.data() + i, plain - i);
    i = plain;
    if (i == s.size()) break;
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b >= 0x80) {
      copyUtf8Char(out, s, i);
      continue;
    }
    ++i;
    if (b == '"' || b == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(b));
    } else if (b == '\n') {
      out += "\\n";
    } else {
      out += "\\u00";
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 15]);
    }
  }
  out.push_back('"');
}
