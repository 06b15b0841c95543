#include <windows.h>

#include <algorithm>
#include <string>

#include "project/project_file.h"
#include "util/text.h"

namespace projectfile {
namespace {

// Reads and writes go straight to the file handle in large blocks: the C
// runtime's stream functions are many times slower on a project of a few MB.
constexpr DWORD kBlock = 1u << 24;

}  // namespace

bool readAll(const std::string& utf8Path, std::string& out) {
    const std::wstring path = utf8ToWide(utf8Path);
    if (path.empty()) return false;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    // The file's size in one read straight into the string, then small reads
    // until the end in case it grew meanwhile.
    out.clear();
    bool ok = true;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(h, &size) && size.QuadPart > 0) {
        const DWORD want = static_cast<DWORD>(std::min<LONGLONG>(size.QuadPart, kBlock));
        out.resize(want);
        DWORD got = 0;
        ok = ReadFile(h, out.data(), want, &got, nullptr) != 0;
        out.resize(got);
    }
    char buf[1 << 16];
    while (ok) {
        DWORD got = 0;
        ok = ReadFile(h, buf, sizeof buf, &got, nullptr) != 0;
        if (got == 0) break;
        out.append(buf, got);
    }
    CloseHandle(h);
    return ok;
}

bool writeAll(const std::string& utf8Path, std::string_view bytes) {
    const std::wstring path = utf8ToWide(utf8Path);
    if (path.empty()) return false;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kBlock));
        DWORD wrote = 0;
        ok = WriteFile(h, bytes.data() + done, chunk, &wrote, nullptr) && wrote == chunk;
        done += wrote;
    }
    return CloseHandle(h) && ok;
}

bool replace(const std::string& from, const std::string& to) {
    const std::wstring src = utf8ToWide(from), dst = utf8ToWide(to);
    if (src.empty() || dst.empty()) return false;
    return MoveFileExW(src.c_str(), dst.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

}  // namespace projectfile
