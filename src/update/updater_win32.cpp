#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "update/updater.h"

namespace {
constexpr DWORD kPieceBytes = 65536;
constexpr int kOldFileAttempts = 20;
constexpr DWORD kOldFileRetryMs = 100;
}  // namespace

std::string sha256File(const std::wstring& path) {
    BCRYPT_ALG_HANDLE alg = nullptr;
    if (BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return {};
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::string hex;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE && BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) >= 0) {
        std::vector<unsigned char> piece(kPieceBytes);
        bool ok = true;
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(file, piece.data(), kPieceBytes, &got, nullptr)) {
                ok = false;
                break;
            }
            if (got == 0) break;
            if (BCryptHashData(hash, piece.data(), got, 0) < 0) {
                ok = false;
                break;
            }
        }
        unsigned char digest[32];
        if (ok && BCryptFinishHash(hash, digest, sizeof digest, 0) >= 0) {
            char two[3];
            for (unsigned char b : digest) {
                std::snprintf(two, sizeof two, "%02x", b);
                hex += two;
            }
        }
        BCryptDestroyHash(hash);
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    BCryptCloseAlgorithmProvider(alg, 0);
    return hex;
}

std::wstring programFilePath() {
    // Long-path-aware systems can give more than MAX_PATH: grow until it fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

unsigned long moveFileReplacing(const std::wstring& from, const std::wstring& to) {
    if (MoveFileExW(from.c_str(), to.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))
        return 0;
    return GetLastError();
}

unsigned long deleteFileIfPresent(const std::wstring& path) {
    if (DeleteFileW(path.c_str())) return 0;
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? 0 : e;
}

void removeOldExe() {
    const std::wstring path = programFilePath();
    if (path.empty()) return;
    // The previous process may still be closing and hold its file for a moment.
    for (int attempt = 0; attempt < kOldFileAttempts; ++attempt) {
        unsigned long e = deleteFileIfPresent(path + L".old");
        if (e != ERROR_ACCESS_DENIED && e != ERROR_SHARING_VIOLATION) return;
        Sleep(kOldFileRetryMs);
    }
}

void relaunchSelf() {
    std::wstring path = programFilePath();
    if (path.empty()) return;
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}
