#pragma once
// Small file operations on UTF-8 paths used by the studio's start-up.

#include <string>

// True when anything (file, folder, link) exists at the path.
bool pathExists(const std::string& utf8Path);
// Moves a file, replacing the target and copying across volumes when needed.
bool moveFileReplacing(const std::string& fromUtf8, const std::string& toUtf8);
