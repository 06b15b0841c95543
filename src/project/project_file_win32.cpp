#include <windows.h>

#include <cstdio>
#include <string>

#include "project/project_file.h"

namespace projectfile {
namespace {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

}  // namespace

std::FILE* open(const std::string& utf8Path, const char* mode) {
    const std::wstring path = widen(utf8Path);
    const std::wstring wmode = widen(mode);
    if (path.empty() || wmode.empty()) return nullptr;
    return _wfopen(path.c_str(), wmode.c_str());
}

bool copy(const std::string& from, const std::string& to) {
    const std::wstring src = widen(from), dst = widen(to);
    if (src.empty() || dst.empty()) return false;
    return CopyFileW(src.c_str(), dst.c_str(), FALSE) != 0;
}

bool replace(const std::string& from, const std::string& to) {
    const std::wstring src = widen(from), dst = widen(to);
    if (src.empty() || dst.empty()) return false;
    return MoveFileExW(src.c_str(), dst.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

}  // namespace projectfile
