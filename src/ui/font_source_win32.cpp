#include <windows.h>

#include <string>

#include "ui/style.h"
#include "util/text.h"

FontSource platformFontSource() {
    FontSource s;
    s.resource = [](int id, int& size) -> const void* {
        size = 0;
        HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
        if (!res) return nullptr;
        HGLOBAL handle = LoadResource(nullptr, res);
        if (!handle) return nullptr;
        size = int(SizeofResource(nullptr, res));
        return LockResource(handle);
    };
    s.systemFontFile = [](const char* fileName) -> std::string {
        wchar_t dir[MAX_PATH];
        UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return {};
        std::wstring path = std::wstring(dir) + L"\\Fonts\\" + utf8ToWide(fileName);
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
        return wideToUtf8(path);
    };
    return s;
}
