#pragma once
// A "Game or app" layer's source: graphics capture of one top-level window, found by its title,
// polled once per tick on the main thread. Also the rules of the window list offered to the user.

#include <d3d11.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/d3d11/source_texture.h"
#include "media/media.h"
#include "util/win32_missing.h"

// The objects of one open capture. `closed` is shared with the item's Closed handler, which may
// run on any thread and may outlive the capture.
struct WindowCapture {
    wgc::IGraphicsCaptureItem* item = nullptr;
    wgc::IDirect3D11CaptureFramePool* framePool = nullptr;
    wgc::IGraphicsCaptureSession* session = nullptr;
    wgc::IDirect3DDevice* captureDevice = nullptr;
    wgc::SizeInt32 size{};
    std::shared_ptr<std::atomic<bool>> closed = std::make_shared<std::atomic<bool>>(false);
    wgc::EventToken closedToken{};
    bool closedRegistered = false;
};

// Registers the handler that sets the capture's `closed` flag on the item's Closed event.
HRESULT watchWindowClosed(WindowCapture& capture);
// Revokes the Closed handler first, then closes the session and the pool and releases everything.
void dropWindowCapture(std::unique_ptr<WindowCapture>& capture);

class WindowSource : public ISource {
public:
    WindowSource(ID3D11Device* device, ID3D11DeviceContext* context, std::string title);
    ~WindowSource() override;

    void update() override;
    SourceFrame frame() override { return texture.frame(FrameOpaque, status); }

private:
    bool open();

    ID3D11Device* device;
    ID3D11DeviceContext* context;
    std::string title;
    std::string status;
    SourceTexture texture;
    std::unique_ptr<WindowCapture> capture;
    uint64_t nextAttempt = 0;
};

bool isCapturableWindow(HWND window);
std::string windowTitleUtf8(HWND window);
std::vector<std::string> listCapturableWindows();
// The window named by `title`: the first exact match, else the first whose title contains it.
HWND findCapturableWindow(const std::string& title);
