#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "project/project_file.h"

namespace projectfile {

bool readAll(const std::string& utf8Path, std::string& out) {
    std::FILE* f = std::fopen(utf8Path.c_str(), "rb");
    if (!f) return false;
    std::setvbuf(f, nullptr, _IONBF, 0);
    out.clear();
    size_t used = 0;
    for (size_t block = 1 << 20;; block *= 2) {
        out.resize(used + block);
        const size_t n = std::fread(out.data() + used, 1, block, f);
        used += n;
        if (n < block) break;
    }
    out.resize(used);
    const bool failed = std::ferror(f) != 0;  // a folder opens but cannot be read
    std::fclose(f);
    return !failed;
}

bool writeAll(const std::string& utf8Path, std::string_view bytes) {
    std::FILE* f = std::fopen(utf8Path.c_str(), "wb");
    if (!f) return false;
    std::setvbuf(f, nullptr, _IONBF, 0);
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = !std::ferror(f) && ok;
    return std::fclose(f) == 0 && ok;
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
