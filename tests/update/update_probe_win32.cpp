// A stand-in program for the install test. With "update MANIFEST PROFILE" it
// checks, installs and relaunches itself as the studio does; started without
// arguments (the relaunch) it removes the ".old" file and writes a marker.
#include <windows.h>

#include <fstream>
#include <string>

#include "update/updater.h"
#include "util/folders.h"
#include "util/text.h"

int wmain(int argc, wchar_t** argv) {
    const std::wstring self = programFilePath();
    if (argc == 4 && std::wstring(argv[1]) == L"update") {
        Updater::Services now;
        now.firstCheckSeconds = 0;
        Updater updater(now);
        updater.check(wideToUtf8(argv[2]), joinPath(argv[3], L"update"));
        std::string message;
        if (!updater.install(message)) {
            std::ofstream(toFsPath(self + L".failed")) << message;
            return 1;
        }
        relaunchSelf();
        return 0;
    }
    removeOldExe();
    const bool oldGone = GetFileAttributesW((self + L".old").c_str()) == INVALID_FILE_ATTRIBUTES;
    std::ofstream(toFsPath(self + L".started")) << (oldGone ? "old removed" : "old still there");
    return 0;
}
