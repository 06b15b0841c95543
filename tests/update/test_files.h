#pragma once
// Whole files for the updater's tests.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "util/folders.h"

inline void writeFile(const std::wstring& path, const std::string& bytes) {
    std::ofstream(toFsPath(path), std::ios::binary) << bytes;
}

inline std::string readFile(const std::wstring& path) {
    std::ifstream in(toFsPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool exists(const std::wstring& path) { return std::filesystem::exists(toFsPath(path)); }

// An empty folder at `path`, whatever was there before.
inline void freshFolder(const std::wstring& path) {
    std::error_code ec;
    std::filesystem::remove_all(toFsPath(path), ec);
    std::filesystem::create_directories(toFsPath(path), ec);
}
