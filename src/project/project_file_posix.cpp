#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "project/project_file.h"

namespace projectfile {

std::FILE* open(const std::string& utf8Path, const char* mode) {
    return std::fopen(utf8Path.c_str(), mode);
}

bool copy(const std::string& from, const std::string& to) {
    std::error_code ec;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing,
                                      ec) &&
           !ec;
}

bool replace(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    // rename cannot cross file systems; copy and remove the source instead.
    if (errno != EXDEV || !copy(from, to)) return false;
    std::remove(from.c_str());
    return true;
}

}  // namespace projectfile
