#include <windows.h>

#include <ctime>

#include "app/recording_platform.h"

namespace {

struct Identity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
};

// Folders open only with backup semantics; nothing is read or written through the handle.
bool identityOf(const std::wstring& path, Identity& id) {
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info = {};
    const BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok) return false;
    id.volume = info.dwVolumeSerialNumber;
    id.indexHigh = info.nFileIndexHigh;
    id.indexLow = info.nFileIndexLow;
    return true;
}

}  // namespace

bool sameFileSystemEntry(const std::wstring& a, const std::wstring& b) {
    Identity ia;
    Identity ib;
    if (!identityOf(a, ia) || !identityOf(b, ib)) return false;
    return ia.volume == ib.volume && ia.indexHigh == ib.indexHigh && ia.indexLow == ib.indexLow;
}

bool availableDiskBytes(const std::wstring& folder, uint64_t& bytes) {
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return false;
    bytes = available.QuadPart;
    return true;
}

std::tm localCalendarNow() {
    const std::time_t t = std::time(nullptr);
    std::tm out = {};
    localtime_s(&out, &t);
    return out;
}
