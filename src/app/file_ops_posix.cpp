#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "app/file_ops.h"

bool pathExists(const std::string& utf8Path) {
    struct stat st;
    return lstat(utf8Path.c_str(), &st) == 0;
}

bool moveFileReplacing(const std::string& fromUtf8, const std::string& toUtf8) {
    if (std::rename(fromUtf8.c_str(), toUtf8.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    std::error_code ec;
    std::filesystem::copy_file(fromUtf8, toUtf8, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return false;
    return std::filesystem::remove(fromUtf8, ec);
}

