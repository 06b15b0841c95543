#include "util/text.h"

// wchar_t holds whole code points here, so a wide string is UTF-32.
static_assert(sizeof(wchar_t) == 4, "the native build expects a 32-bit wchar_t");

std::wstring utf8ToWide(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) out.push_back(static_cast<wchar_t>(decodeUtf8(utf8, pos)));
  return out;
}

std::string wideToUtf8(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (wchar_t c : wide) appendUtf8(out, static_cast<char32_t>(c));
  return out;
}
