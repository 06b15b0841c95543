#include <windows.h>

#include <string>

#include "update/updater.h"

namespace {
std::wstring programPath() {
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n == 0 || n >= path.size()) return {};
    path.resize(n);
    return path;
}
}  // namespace

void removeOldExe() {
    std::wstring path = programPath();
    if (!path.empty()) DeleteFileW((path + L".old").c_str());
}

void relaunchSelf() {
    std::wstring path = programPath();
    if (path.empty()) return;
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}
