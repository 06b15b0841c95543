#pragma once

// File access by UTF-8 path, the same on every platform (wide paths on
// Windows).

#include <cstdio>
#include <string>

namespace projectfile {

// fopen by UTF-8 path; mode as for fopen ("rb", "wb").
std::FILE* open(const std::string& utf8Path, const char* mode);

// Copies `from` over `to`, replacing an existing file.
bool copy(const std::string& from, const std::string& to);

// Moves `from` onto `to`, replacing an existing file, also across volumes.
bool replace(const std::string& from, const std::string& to);

}  // namespace projectfile
