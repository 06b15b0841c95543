#include "media/d3d11/screen_source.h"

#include <windows.h>
#include <wrl/client.h>

#include <cstdio>

using Microsoft::WRL::ComPtr;

namespace {
constexpr uint64_t kRetryMs = 2000;
}

ScreenSource::ScreenSource(ID3D11Device* device, ID3D11DeviceContext* context, int outputIndex)
    : device(device), context(context), outputIndex(outputIndex) {}

ScreenSource::~ScreenSource() {
    if (duplication) duplication->Release();
}

HRESULT takeDesktopFrame(IDXGIOutputDuplication* duplication, ID3D11Device* device, ID3D11DeviceContext* context,
                         SourceTexture& texture) {
    DXGI_OUTDUPL_FRAME_INFO info{};
    ComPtr<IDXGIResource> resource;
    const HRESULT hr = duplication->AcquireNextFrame(0, &info, &resource);
    if (FAILED(hr)) return hr;
    // A frame that only moved or reshaped the pointer carries no present time: the desktop image
    // is the one already copied (or, just after opening, none yet), so it is not copied again.
    const bool imageChanged = info.LastPresentTime.QuadPart != 0;
    ComPtr<ID3D11Texture2D> desktop;
    if (imageChanged && resource && SUCCEEDED(resource.As(&desktop))) {
        D3D11_TEXTURE2D_DESC desc{};
        desktop->GetDesc(&desc);
        bool ready = texture.texture && texture.width == int(desc.Width) && texture.height == int(desc.Height);
        if (!ready) ready = uploadBgraTexture(texture, device, int(desc.Width), int(desc.Height), nullptr, 0, desc.Format);
        if (ready) context->CopyResource(texture.texture, desktop.Get());
    }
    duplication->ReleaseFrame();
    return hr;
}

void ScreenSource::update() {
    if (!duplication) {
        const uint64_t now = GetTickCount64();
        if (now < nextAttempt) return;
        nextAttempt = now + kRetryMs;
        ComPtr<IDXGIDevice> dxgiDevice;
        ComPtr<IDXGIAdapter> adapter;
        ComPtr<IDXGIOutput> output;
        ComPtr<IDXGIOutput1> output1;
        if (outputIndex < 0 || FAILED(device->QueryInterface(IID_PPV_ARGS(&dxgiDevice))) ||
            FAILED(dxgiDevice->GetAdapter(&adapter)) || FAILED(adapter->EnumOutputs(UINT(outputIndex), &output)) ||
            FAILED(output.As(&output1))) {
            status = "Display not found";
            return;
        }
        const HRESULT hr = output1->DuplicateOutput(device, &duplication);
        if (FAILED(hr)) {
            duplication = nullptr;
            char text[64];
            std::snprintf(text, sizeof text, "Screen capture unavailable 0x%08X", unsigned(hr));
            status = text;
            return;
        }
        status.clear();
    }
    const HRESULT hr = takeDesktopFrame(duplication, device, context, texture);
    if (FAILED(hr) && hr != DXGI_ERROR_WAIT_TIMEOUT) {
        // Lost on a mode change, a secure desktop or a full-screen switch: made again at the next
        // allowed attempt, and the last image stays meanwhile.
        duplication->Release();
        duplication = nullptr;
    }
}
