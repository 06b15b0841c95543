#include <windows.h>
#include <bcrypt.h>
#include <winhttp.h>

#include <cstdio>
#include <string>
#include <vector>

#include "update/updater.h"
#include "util/text.h"

namespace {
const wchar_t* const kUserAgent = L"Quillhaven-Updater";
constexpr int kResolveTimeoutMs = 10000;
constexpr int kConnectTimeoutMs = 10000;
constexpr int kSendTimeoutMs = 15000;
constexpr int kReceiveTimeoutMs = 15000;
constexpr DWORD kPieceBytes = 65536;
constexpr DWORD kMaxHostChars = 256;
constexpr DWORD kMaxPathChars = 2048;
constexpr int kOldFileAttempts = 20;
constexpr DWORD kOldFileRetryMs = 100;

struct InternetHandle {
    HINTERNET h = nullptr;
    ~InternetHandle() {
        if (h) WinHttpCloseHandle(h);
    }
};

// Writes pieces to a file opened for raw bytes, shared so readers can look.
struct OutputFile {
    HANDLE h = INVALID_HANDLE_VALUE;
    bool failed = false;
    ~OutputFile() { close(); }
    bool close() {
        if (h != INVALID_HANDLE_VALUE && !CloseHandle(h)) failed = true;
        h = INVALID_HANDLE_VALUE;
        return !failed;
    }
};
}  // namespace

bool httpsGet(const std::string& url, int64_t cap, std::string* text, const std::wstring& filePath,
              const std::atomic<bool>& cancel) {
    std::wstring wide = utf8ToWide(url);
    wchar_t host[kMaxHostChars + 1] = {};
    wchar_t path[kMaxPathChars + 1] = {};
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = kMaxHostChars;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = kMaxPathChars;
    parts.dwSchemeLength = DWORD(-1);
    parts.dwExtraInfoLength = DWORD(-1);
    if (!WinHttpCrackUrl(wide.c_str(), DWORD(wide.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    // The query belongs to the request path.
    std::wstring object(path, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo && parts.dwExtraInfoLength)
        object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    InternetHandle session, connection, request;
    session.h = WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session.h) {
        // Systems before Windows 8.1 lack the automatic proxy setting.
        session.h = WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0);
        if (!session.h) return false;
    }
    WinHttpSetTimeouts(session.h, kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs);
    connection.h = WinHttpConnect(session.h, host, parts.nPort, 0);
    if (!connection.h) return false;
    request.h = WinHttpOpenRequest(connection.h, L"GET", object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                   WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE);
    if (!request.h) return false;
    if (!WinHttpSendRequest(request.h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
        return false;
    if (!WinHttpReceiveResponse(request.h, nullptr)) return false;

    DWORD status = 0, size = sizeof status;
    if (!WinHttpQueryHeaders(request.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX) ||
        status != 200)
        return false;
    // A declared length over the cap is refused before anything is written.
    wchar_t lengthText[32] = {};
    size = sizeof lengthText;
    if (WinHttpQueryHeaders(request.h, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, lengthText,
                            &size, WINHTTP_NO_HEADER_INDEX) &&
        _wcstoui64(lengthText, nullptr, 10) > uint64_t(cap))
        return false;

    OutputFile file;
    if (!filePath.empty()) {
        file.h = CreateFileW(filePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file.h == INVALID_HANDLE_VALUE) return false;
    } else if (text) {
        text->clear();
    }

    std::vector<char> piece(kPieceBytes);
    int64_t total = 0;
    if (cancel) return false;
    for (;;) {
        DWORD got = 0;
        if (!WinHttpReadData(request.h, piece.data(), kPieceBytes, &got)) return false;
        if (got == 0) break;
        if (int64_t(got) > cap - total) return false;
        total += got;
        if (file.h != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            if (!WriteFile(file.h, piece.data(), got, &written, nullptr) || written != got) return false;
        } else if (text) {
            text->append(piece.data(), got);
        }
        if (cancel) return false;
    }
    return file.close();
}

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
