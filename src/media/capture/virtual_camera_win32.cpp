#include <windows.h>

#include "media/capture/virtual_camera.h"
#include "util/text.h"
#include "util/win32_missing.h"

namespace {
// The class identifier under which our camera's media source is registered by its installer.
constexpr wchar_t kCameraSourceClsid[] = L"{5B1B2E6E-7C1F-4E8A-9D2E-3F6A1C0B7D41}";

class Win32VirtualCameraSystem : public VirtualCameraSystem {
public:
    ~Win32VirtualCameraSystem() override {
        unmapBlock();
        removeCamera();
        if (library) FreeLibrary(library);
    }

    bool hasVirtualCameraFunction() override {
        if (!library) library = LoadLibraryExW(L"mfsensorgroup.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (library && !create) {
            create = reinterpret_cast<MFCreateVirtualCameraFn>(
                reinterpret_cast<void*>(GetProcAddress(library, "MFCreateVirtualCamera")));
        }
        return create != nullptr;
    }

    bool isCameraInstalled() override {
        const std::wstring key = std::wstring(L"SOFTWARE\\Classes\\CLSID\\") + kCameraSourceClsid + L"\\InprocServer32";
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
        RegCloseKey(opened);
        return true;
    }

    int32_t createCamera() override {
        IMFVirtualCamera* made = nullptr;
        HRESULT hr = create(MFVirtualCameraType_SoftwareCameraSource, MFVirtualCameraLifetime_Session,
                            MFVirtualCameraAccess_CurrentUser, utf8ToWide(kVirtualCameraFriendlyName).c_str(),
                            kCameraSourceClsid, nullptr, 0, &made);
        if (SUCCEEDED(hr)) hr = made->Start(nullptr);
        if (FAILED(hr)) {
            if (made) {
                made->Shutdown();
                made->Release();
            }
            return int32_t(hr);
        }
        camera = made;
        return 0;
    }

    void removeCamera() override {
        if (!camera) return;
        camera->Remove();
        camera->Shutdown();
        camera->Release();
        camera = nullptr;
    }

    uint8_t* mapBlock() override {
        mapping = OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, utf8ToWide(kVirtualCameraMemoryName).c_str());
        if (!mapping) return nullptr;
        view = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kVirtualCameraBlockBytes);
        if (!view) {
            CloseHandle(mapping);
            mapping = nullptr;
        }
        return static_cast<uint8_t*>(view);
    }

    void unmapBlock() override {
        if (view) UnmapViewOfFile(view);
        if (mapping) CloseHandle(mapping);
        view = nullptr;
        mapping = nullptr;
    }

private:
    HMODULE library = nullptr;
    MFCreateVirtualCameraFn create = nullptr;
    IMFVirtualCamera* camera = nullptr;
    HANDLE mapping = nullptr;
    void* view = nullptr;
};
}  // namespace

std::unique_ptr<VirtualCameraSystem> platformVirtualCameraSystem() {
    return std::make_unique<Win32VirtualCameraSystem>();
}
