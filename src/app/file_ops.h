#pragma once
// Small file operations on UTF-8 paths used by the studio's start-up.

#include <string>

// True when anything (file, folder, link) exists at the path.
bool pathExists(const std::string& utf8Path);
