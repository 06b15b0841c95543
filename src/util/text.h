#pragma once
// Text conversion between the program's UTF-8 strings and the operating
// system's wide strings (UTF-16 on Windows; UTF-32 in the native build, where
// wchar_t is 32 bits), plus the small UTF-8 codec the JSON code shares.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Empty in, empty out; invalid input becomes U+FFFD, never an error.
std::wstring utf8ToWide(std::string_view utf8);
std::string wideToUtf8(std::wstring_view wide);

inline constexpr char32_t kReplacementChar = 0xFFFD;

// Decodes one code point of `s` at `pos` and moves `pos` past it. Ill-formed
// input (overlong forms, surrogates, values above U+10FFFF, stray or missing
// continuation bytes) gives U+FFFD and skips the longest ill-formed prefix,
// at least one byte. `pos` must be below s.size().
char32_t decodeUtf8(std::string_view s, std::size_t& pos);

// Appends `cp` as UTF-8; surrogates and values above U+10FFFF become U+FFFD.
void appendUtf8(std::string& out, char32_t cp);

// Appends the code point at `pos` of `s` to `out` as it stands when it is
// well-formed, else U+FFFD, and moves `pos` past it.
void copyUtf8Char(std::string& out, std::string_view s, std::size_t& pos);

bool isValidUtf8(std::string_view s);

// Appends the decimal digits of `value` (a text kept between frames grows no
// temporary string).
void appendInteger(std::string& out, int64_t value);
