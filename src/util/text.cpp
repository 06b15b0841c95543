#include "util/text.h"

#include <charconv>

char32_t decodeUtf8(std::string_view s, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(pos);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  int need = 0;
  char32_t cp = 0;
  // Bounds of the second byte rule out overlong forms, surrogates and code
  // points above U+10FFFF in one place.
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    ++pos;
    return kReplacementChar;
  }
  std::size_t i = pos + 1;
  for (int k = 0; k < need; ++k, ++i) {
    if (i >= s.size()) {
      pos = i;
      return kReplacementChar;
    }
    const unsigned char b = byte(i);
    const unsigned char min = k == 0 ? lo : 0x80;
    const unsigned char max = k == 0 ? hi : 0xBF;
    if (b < min || b > max) {
      pos = i;  // the offending byte starts the next decode
      return kReplacementChar;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  pos = i;
  return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacementChar;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

namespace {

// Whether a decode that gave U+FFFD read a genuine U+FFFD (EF BF BD): no
// ill-formed sequence is three bytes long and starts with EF.
bool decodedGenuineReplacement(std::string_view s, std::size_t start, std::size_t end) {
  return end - start == 3 && static_cast<unsigned char>(s[start]) == 0xEF;
}

}  // namespace

void copyUtf8Char(std::string& out, std::string_view s, std::size_t& pos) {
  const std::size_t start = pos;
  if (decodeUtf8(s, pos) == kReplacementChar && !decodedGenuineReplacement(s, start, pos)) {
    out += "\xEF\xBF\xBD";
  } else {
    out.append(s.substr(start, pos - start));
  }
}

bool isValidUtf8(std::string_view s) {
  std::size_t pos = 0;
  while (pos < s.size()) {
    const std::size_t start = pos;
    if (decodeUtf8(s, pos) == kReplacementChar && !decodedGenuineReplacement(s, start, pos)) return false;
  }
  return true;
}

void appendInteger(std::string& out, int64_t value) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}
