#include "media/cube_lut.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cstdio>
#include <memory>

#include "media/lut_file.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

const char* skipBlanks(const char* p, const char* end) {
  while (p < end && isBlank(*p)) ++p;
  return p;
}

// A C-style number reader: leading blanks and a plus sign are allowed,
// reading stops at the first character that cannot belong to the number.
template <typename T>
bool readNumber(const char*& p, const char* end, T& value) {
  const char* q = skipBlanks(p, end);
  if (q < end && *q == '+') ++q;
  auto [next, ec] = std::from_chars(q, end, value);
  if (ec != std::errc()) return false;
  p = next;
  return true;
}

// At most maxBytes of the line, never ending inside a UTF-8 sequence.
std::string excerpt(std::string_view line, std::size_t maxBytes) {
  if (line.size() <= maxBytes) return std::string(line);
  std::size_t n = maxBytes;
  while (n > 0 && (static_cast<unsigned char>(line[n]) & 0xC0) == 0x80) --n;
  return std::string(line.substr(0, n));
}

}  // namespace

bool CubeLutReader::fail(std::string text) {
  error_ = std::move(text);
  return false;
}

bool CubeLutReader::line(std::string_view text) {
  if (!error_.empty()) return false;
  const char* begin = text.data();
  const char* end = begin + text.size();
  const char* p = skipBlanks(begin, end);
  if (p == end || *p == '#') return true;

  const char* wordEnd = p;
  while (wordEnd < end && !isBlank(*wordEnd)) ++wordEnd;
  const std::string_view word(p, std::size_t(wordEnd - p));

  if (word == "TITLE") return true;
  if (word == "LUT_1D_SIZE") return fail("1D LUTs are not supported, use a 3D .cube");
  if (word == "LUT_3D_SIZE") {
    const char* q = wordEnd;
    int n = 0;
    if (!readNumber(q, end, n)) n = 0;
    if (n < 2 || n > kMaxSize) return fail("Unsupported LUT size");
    lut_.size = n;
    lut_.rgb.reserve(std::size_t(n) * n * n * 3);
    return true;
  }
  if (word == "DOMAIN_MIN" || word == "DOMAIN_MAX") {
    float* dst = word == "DOMAIN_MIN" ? lut_.domainMin : lut_.domainMax;
    const char* q = wordEnd;
    for (int i = 0; i < 3; ++i) {
      float v = 0;
      if (!readNumber(q, end, v)) break;
      dst[i] = v;
    }
    return true;
  }

  float v[3];
  const char* q = p;
  for (float& f : v) {
    if (!readNumber(q, end, f)) return fail("Unreadable line: " + excerpt(text, 40));
  }
  if (lut_.rgb.size() + 3 > maxValues_) return fail("Wrong number of entries");
  lut_.rgb.insert(lut_.rgb.end(), v, v + 3);
  return true;
}

bool CubeLutReader::finish(CubeLut& out, std::string& error) {
  if (error_.empty()) {
    const std::size_t n = std::size_t(lut_.size);
    if (n == 0) {
      error_ = "Missing LUT_3D_SIZE";
    } else if (lut_.rgb.size() != n * n * n * 3) {
      error_ = "Wrong number of entries";
    }
  }
  if (!error_.empty()) {
    error = error_;
    return false;
  }
  out = std::move(lut_);
  lut_ = CubeLut{};
  return true;
}

bool parseCubeLut(std::string_view text, CubeLut& out, std::string& error) {
  CubeLutReader reader;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t lf = text.find('\n', start);
    if (lf == std::string_view::npos) lf = text.size();
    if (!reader.line(text.substr(start, lf - start))) break;
    start = lf + 1;
  }
  return reader.finish(out, error);
}

bool loadCubeLut(const std::string& utf8Path, CubeLut& out, std::string& error) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(openLutFile(utf8Path), &std::fclose);
  if (!file) {
    error = "Could not open the LUT file";
    return false;
  }
  // A line longer than this carries nothing a table needs beyond its start;
  // the rest is dropped so that a file without line feeds cannot fill memory.
  constexpr std::size_t kLineLimit = 1 << 16;
  CubeLutReader reader;
  std::string pending;
  bool overlong = false;
  char chunk[1 << 16];
  bool ok = true;
  while (ok) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
    if (got == 0) break;
    std::size_t start = 0;
    while (ok && start < got) {
      const void* hit = std::memchr(chunk + start, '\n', got - start);
      const std::size_t stop = hit ? std::size_t(static_cast<const char*>(hit) - chunk) : got;
      if (!overlong) {
        pending.append(chunk + start, std::min(stop - start, kLineLimit - pending.size()));
        overlong = pending.size() >= kLineLimit;
      }
      if (!hit) break;
      ok = reader.line(pending);
      pending.clear();
      overlong = false;
      start = stop + 1;
    }
  }
  if (ok) reader.line(pending);
  return reader.finish(out, error);
}
