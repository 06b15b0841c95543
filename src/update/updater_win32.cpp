#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "update/updater.h"

namespace {
constexpr int kOldFileAttempts = 20;
constexpr DWORD kOldFileRetryMs = 100;
}  // namespace

const unsigned long kNotSameDevice = ERROR_NOT_SAME_DEVICE;

struct Sha256::State {
    BCRYPT_ALG_HANDLE alg = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    NTSTATUS status = 0;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.status = BCryptOpenAlgorithmProvider(&s.alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (s.status >= 0) s.status = BCryptCreateHash(s.alg, &s.hash, nullptr, 0, nullptr, 0, 0);
}

Sha256::~Sha256() {
    if (state_->hash) BCryptDestroyHash(state_->hash);
    if (state_->alg) BCryptCloseAlgorithmProvider(state_->alg, 0);
}

void Sha256::add(const unsigned char* data, std::size_t size) {
    // The callers' pieces are far below ULONG's range.
    if (state_->status >= 0)
        state_->status = BCryptHashData(state_->hash, const_cast<PUCHAR>(data), ULONG(size), 0);
}

unsigned long Sha256::finish(unsigned char (&digest)[32]) {
    if (state_->status >= 0) state_->status = BCryptFinishHash(state_->hash, digest, sizeof digest, 0);
    return state_->status >= 0 ? 0 : static_cast<unsigned long>(state_->status);
}

unsigned long HeldFile::open(const std::wstring& path, bool toInstall) {
    close();
    // Shared with readers only: no writer, and no rename or delete, until it is closed.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | (toInstall ? DELETE : 0), FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return 0;
}

unsigned long HeldFile::read(unsigned char* data, std::size_t size, std::size_t& got) {
    DWORD n = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), data, DWORD(std::min<std::size_t>(size, MAXDWORD)), &n,
                  nullptr))
        return GetLastError();
    got = n;
    return 0;
}

unsigned long HeldFile::rewind() {
    return SetFilePointerEx(reinterpret_cast<HANDLE>(handle_), LARGE_INTEGER{}, nullptr, FILE_BEGIN) ? 0
                                                                                                   : GetLastError();
}

unsigned long HeldFile::renameTo(const std::wstring& to) {
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + (to.size() + 1) * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = DWORD(to.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, to.c_str(), (to.size() + 1) * sizeof(wchar_t));
    if (!SetFileInformationByHandle(reinterpret_cast<HANDLE>(handle_), FileRenameInfo, info, DWORD(buffer.size())))
        return GetLastError();
    return 0;
}

void HeldFile::close() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

NewFile::~NewFile() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

unsigned long NewFile::create(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return 0;
}

unsigned long NewFile::write(const unsigned char* data, std::size_t size) {
    DWORD n = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(handle_), data, DWORD(size), &n, nullptr)) return GetLastError();
    return n == size ? 0 : ERROR_WRITE_FAULT;
}

unsigned long NewFile::finish() {
    HANDLE h = reinterpret_cast<HANDLE>(std::exchange(handle_, -1));
    const unsigned long e = FlushFileBuffers(h) ? 0 : GetLastError();
    return CloseHandle(h) || e ? e : GetLastError();
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
