#pragma once
// Opens a file for shared binary reading from a UTF-8 path; null when it
// cannot be opened.

#include <cstdio>
#include <string>

std::FILE* openLutFile(const std::string& utf8Path);
