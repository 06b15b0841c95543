#include <sys/stat.h>
#include <sys/statvfs.h>

#include <ctime>

#include "app/recording_platform.h"
#include "util/text.h"

bool sameFileSystemEntry(const std::wstring& a, const std::wstring& b) {
    struct stat sa;
    struct stat sb;
    if (stat(wideToUtf8(a).c_str(), &sa) != 0 || stat(wideToUtf8(b).c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool availableDiskBytes(const std::wstring& folder, uint64_t& bytes) {
    struct statvfs fs;
    if (statvfs(wideToUtf8(folder).c_str(), &fs) != 0) return false;
    bytes = static_cast<uint64_t>(fs.f_bavail) * static_cast<uint64_t>(fs.f_frsize);
    return true;
}

std::tm localCalendarNow() {
    const std::time_t t = std::time(nullptr);
    std::tm out = {};
    localtime_r(&t, &out);
    return out;
}
