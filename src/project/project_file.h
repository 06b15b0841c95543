#pragma once

// Whole-file access by UTF-8 path, the same on every platform (wide paths on
// Windows).

#include <string>
#include <string_view>

namespace projectfile {

// Reads the whole file into `out`. False when it cannot be opened or read.
bool readAll(const std::string& utf8Path, std::string& out);

// Creates or truncates the file and writes every byte. False on any failure;
// a partly written file may stay behind.
bool writeAll(const std::string& utf8Path, std::string_view bytes);

// Moves `from` onto `to`, replacing an existing file, also across volumes.
bool replace(const std::string& from, const std::string& to);

}  // namespace projectfile
