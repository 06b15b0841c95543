#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

#include "project/project_file.h"

namespace projectfile {

bool readAll(const std::string& utf8Path, std::string& out) {
    std::FILE* f = std::fopen(utf8Path.c_str(), "rb");
    if (!f) return false;
    std::setvbuf(f, nullptr, _IONBF, 0);
    // The file's size in one read straight into the string, then small reads
    // until the end in case it grew meanwhile.
    out.clear();
    struct stat st {};
    if (::fstat(::fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        out.resize(static_cast<size_t>(st.st_size));
        out.resize(std::fread(out.data(), 1, out.size(), f));
    }
    char buf[1 << 16];
    for (size_t n; !std::ferror(f) && (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
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

bool replace(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    // rename cannot cross file systems; copy and remove the source instead.
    std::error_code ec;
    if (errno != EXDEV ||
        !std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec) ||
        ec)
        return false;
    std::remove(from.c_str());
    return true;
}

}  // namespace projectfile
