// A stand-in program for the install test. With "update MANIFEST PROFILE" it
// checks, installs and relaunches itself as the studio does, holding its own
// ".old" file (as a process that is still closing does) until the relaunched
// one has seen it; a fifth word "lose-new-file" deletes the download first, so
// that the install must fail and put the program back, "alter-new-file"
// appends a byte to it, so that the install must refuse it, "alter-locked-new-file"
// also makes it read-only, so that it cannot be deleted, "hold-new-file" holds
// it open, sharing nothing, during the install, and "write-while-installing"
// appends a byte to it while the install moves the program aside. A failed
// install exits with 1, or with 2 when the update is still ready. Started without
// arguments (the relaunch) it writes what it found at ".old" to ".seen"
// ("SHA256 held" or "SHA256 free"), removes the ".old" file and writes
// ".started" ("old removed" or "old still there").
#include <windows.h>

#include <fstream>
#include <string>

#include "support/wait_for.h"
#include "update/updater.h"
#include "util/folders.h"
#include "util/text.h"

namespace {
bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Whole or not at all: the test reads the marker as soon as it exists.
void writeMarker(const std::wstring& path, const std::string& text) {
    std::ofstream(toFsPath(path + L".tmp"), std::ios::binary) << text;
    MoveFileExW((path + L".tmp").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

int update(const std::wstring& self, const std::wstring& manifestUrl, const std::wstring& profile,
           const std::wstring& change) {
    Updater::Services now;
    now.firstCheckSeconds = 0;
    Updater updater(now);
    const std::wstring updateFolder = joinPath(profile, L"update");
    updater.check(wideToUtf8(manifestUrl), updateFolder);
    const std::wstring newExe = joinPath(updateFolder, L"Quillhaven.new.exe");
    auto append = [&] { std::ofstream(toFsPath(newExe), std::ios::binary | std::ios::app) << '!'; };
    if (change == L"lose-new-file") DeleteFileW(newExe.c_str());
    if (change == L"alter-new-file" || change == L"alter-locked-new-file") append();
    if (change == L"alter-locked-new-file") SetFileAttributesW(newExe.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE reader = change == L"hold-new-file" ? CreateFileW(newExe.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                                             FILE_ATTRIBUTE_NORMAL, nullptr)
                                               : INVALID_HANDLE_VALUE;
    InstallStep step = [&](const std::wstring& from, const std::wstring&) {
        if (change == L"write-while-installing" && from == self) append();
        return 0ul;
    };
    std::string message;
    const bool installed = updater.install(message, step);
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
    if (!installed) {
        writeMarker(self + L".failed", message);
        std::string version;
        return updater.readyVersion(version) ? 2 : 1;
    }
    // Readable, as a running program's file is, but not deletable.
    HANDLE old = CreateFileW((self + L".old").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    relaunchSelf();
    const bool seen = waitFor([&] { return exists(self + L".seen"); });
    if (old != INVALID_HANDLE_VALUE) CloseHandle(old);
    if (!seen) writeMarker(self + L".failed", "The relaunched program did not start.");
    return seen ? 0 : 1;
}

int relaunched(const std::wstring& self) {
    const std::wstring old = self + L".old";
    HANDLE probe = CreateFileW(old.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool held = probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    writeMarker(self + L".seen", sha256File(old) + (held ? " held" : " free"));
    removeOldExe();
    writeMarker(self + L".started", exists(old) ? "old still there" : "old removed");
    return 0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring self = programFilePath();
    if ((argc == 4 || argc == 5) && std::wstring(argv[1]) == L"update")
        return update(self, argv[2], argv[3], argc == 5 ? argv[4] : L"");
    return relaunched(self);
}
