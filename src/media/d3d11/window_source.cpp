#include "media/d3d11/window_source.h"

#include <dwmapi.h>
#include <roapi.h>
#include <winstring.h>
#include <wrl/client.h>

#include <cstdio>

#include "media/capture/winrt_activation.h"
#include "util/com_object.h"
#include "util/text.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr uint64_t kRetryMs = 2000;
constexpr int kPoolBuffers = 2;
constexpr int kTitleUnits = 256;
constexpr char kOwnWindowTitle[] = "Quillhaven";

class ClosedHandler final : public ComObject<wgc::IItemClosedHandler, wgc::IID_IItemClosedHandler, IID_IAgileObject> {
public:
    explicit ClosedHandler(std::shared_ptr<std::atomic<bool>> flag) : flag(std::move(flag)) {}
    HRESULT STDMETHODCALLTYPE Invoke(wgc::IGraphicsCaptureItem*, IInspectable*) override {
        flag->store(true);
        return S_OK;
    }

private:
    std::shared_ptr<std::atomic<bool>> flag;
};

template <typename T>
void releaseAndNull(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

template <typename T>
void closeObject(T* p) {
    ComPtr<wgc::IClosable> closable;
    if (p && SUCCEEDED(p->QueryInterface(wgc::IID_IClosable, reinterpret_cast<void**>(closable.GetAddressOf())))) {
        closable->Close();
    }
}

std::string systemMessage(HRESULT hr) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, DWORD(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", n);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ' ||
                                message.back() == L'.')) {
        message.pop_back();
    }
    if (message.empty()) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", unsigned(hr));
        return code;
    }
    return wideToUtf8(message);
}

HRESULT wrapDevice(ID3D11Device* device, wgc::IDirect3DDevice** out) {
    HMODULE d3d11 = GetModuleHandleW(L"d3d11.dll");
    auto create = d3d11 ? reinterpret_cast<wgc::CreateDirect3D11DeviceFromDXGIDeviceFn>(
                              reinterpret_cast<void*>(GetProcAddress(d3d11, "CreateDirect3D11DeviceFromDXGIDevice")))
                        : nullptr;
    if (!create) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    ComPtr<IDXGIDevice> dxgiDevice;
    HRESULT hr = device->QueryInterface(IID_PPV_ARGS(&dxgiDevice));
    ComPtr<IInspectable> inspectable;
    if (SUCCEEDED(hr)) hr = create(dxgiDevice.Get(), &inspectable);
    if (SUCCEEDED(hr)) hr = inspectable->QueryInterface(wgc::IID_IDirect3DDevice, reinterpret_cast<void**>(out));
    return hr;
}

struct FindState {
    const std::string* title;
    HWND exact = nullptr;
    HWND partial = nullptr;
};

BOOL CALLBACK findWindow(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<FindState*>(param);
    if (!isCapturableWindow(window)) return TRUE;
    const std::string title = windowTitleUtf8(window);
    if (title == *state->title) {
        state->exact = window;
        return FALSE;
    }
    if (!state->partial && title.find(*state->title) != std::string::npos) state->partial = window;
    return TRUE;
}

BOOL CALLBACK collectWindow(HWND window, LPARAM param) {
    auto* names = reinterpret_cast<std::vector<std::string>*>(param);
    if (!isCapturableWindow(window)) return TRUE;
    std::string title = windowTitleUtf8(window);
    if (title != kOwnWindowTitle) names->push_back(std::move(title));
    return TRUE;
}

}  // namespace

bool isCapturableWindow(HWND window) {
    if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER)) return false;
    if (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) return false;
    DWORD cloaked = 0;
    if (SUCCEEDED(DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof cloaked)) && cloaked) return false;
    return GetWindowTextLengthW(window) > 0;
}

std::string windowTitleUtf8(HWND window) {
    wchar_t title[kTitleUnits] = {};
    const int length = GetWindowTextW(window, title, kTitleUnits);
    return wideToUtf8(std::wstring(title, length > 0 ? size_t(length) : 0));
}

std::vector<std::string> listCapturableWindows() {
    std::vector<std::string> names;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&names));
    return names;
}

HWND findCapturableWindow(const std::string& title) {
    FindState state{&title};
    EnumWindows(findWindow, reinterpret_cast<LPARAM>(&state));
    return state.exact ? state.exact : state.partial;
}

HRESULT watchWindowClosed(WindowCapture& capture) {
    auto* handler = new ClosedHandler(capture.closed);
    const HRESULT hr = capture.item->add_Closed(handler, &capture.closedToken);
    handler->Release();
    capture.closedRegistered = SUCCEEDED(hr);
    return hr;
}

void dropWindowCapture(std::unique_ptr<WindowCapture>& capture) {
    if (!capture) return;
    WindowCapture& c = *capture;
    // The handler goes first, so that the item can no longer call into a capture being torn down.
    if (c.closedRegistered && c.item) c.item->remove_Closed(c.closedToken);
    c.closedRegistered = false;
    closeObject(c.session);
    closeObject(c.framePool);
    releaseAndNull(c.session);
    releaseAndNull(c.framePool);
    releaseAndNull(c.item);
    releaseAndNull(c.captureDevice);
    capture.reset();
}

WindowSource::WindowSource(ID3D11Device* device, ID3D11DeviceContext* context, std::string title)
    : device(device), context(context), title(std::move(title)) {}

WindowSource::~WindowSource() { dropWindowCapture(capture); }

bool WindowSource::open() {
    if (title.empty()) {
        status = "Choose a window";
        return false;
    }
    HWND window = findCapturableWindow(title);
    if (!window) {
        status = "Window not found: " + title;
        return false;
    }
    auto made = std::make_unique<WindowCapture>();
    ComPtr<wgc::IGraphicsCaptureItemInterop> interop;
    ComPtr<wgc::IDirect3D11CaptureFramePoolStatics2> pools;
    HRESULT hr = wrapDevice(device, &made->captureDevice);
    if (SUCCEEDED(hr)) hr = activationFactory(wgc::kGraphicsCaptureItemClass, wgc::IID_IGraphicsCaptureItemInterop, interop.GetAddressOf());
    if (SUCCEEDED(hr)) hr = interop->CreateForWindow(window, wgc::IID_IGraphicsCaptureItem, reinterpret_cast<void**>(&made->item));
    if (SUCCEEDED(hr)) hr = made->item->get_Size(&made->size);
    if (SUCCEEDED(hr)) hr = activationFactory(wgc::kCaptureFramePoolClass, wgc::IID_IDirect3D11CaptureFramePoolStatics2, pools.GetAddressOf());
    if (SUCCEEDED(hr)) {
        hr = pools->CreateFreeThreaded(made->captureDevice, wgc::kPixelFormatB8G8R8A8, kPoolBuffers, made->size,
                                       &made->framePool);
    }
    if (SUCCEEDED(hr)) hr = made->framePool->CreateCaptureSession(made->item, &made->session);
    if (SUCCEEDED(hr)) {
        // Older systems lack these two switches; capture works without them.
        ComPtr<wgc::IGraphicsCaptureSession2> cursor;
        ComPtr<wgc::IGraphicsCaptureSession3> border;
        if (SUCCEEDED(made->session->QueryInterface(wgc::IID_IGraphicsCaptureSession2, reinterpret_cast<void**>(cursor.GetAddressOf())))) {
            cursor->put_IsCursorCaptureEnabled(true);
        }
        if (SUCCEEDED(made->session->QueryInterface(wgc::IID_IGraphicsCaptureSession3, reinterpret_cast<void**>(border.GetAddressOf())))) {
            border->put_IsBorderRequired(false);
        }
        hr = watchWindowClosed(*made);
    }
    if (SUCCEEDED(hr)) hr = made->session->StartCapture();
    if (FAILED(hr)) {
        dropWindowCapture(made);
        status = "Window capture unavailable: " + systemMessage(hr);
        return false;
    }
    dropWindowCapture(capture);
    capture = std::move(made);
    status.clear();
    return true;
}

void WindowSource::update() {
    if (capture && capture->closed->load()) {
        dropWindowCapture(capture);
        status = "Window closed \xE2\x80\x94 waiting for it to reopen";
    }
    if (!capture) {
        const uint64_t now = GetTickCount64();
        if (now < nextAttempt) return;
        nextAttempt = now + kRetryMs;
        if (!open()) return;
    }
    ComPtr<wgc::IDirect3D11CaptureFrame> frame;
    HRESULT hr = capture->framePool->TryGetNextFrame(&frame);
    if (SUCCEEDED(hr) && !frame) return;  // no new frame: the last picture stays
    wgc::SizeInt32 content{};
    if (SUCCEEDED(hr)) hr = frame->get_ContentSize(&content);
    if (SUCCEEDED(hr) && (content.Width != capture->size.Width || content.Height != capture->size.Height)) {
        capture->size = content;
        hr = capture->framePool->Recreate(capture->captureDevice, wgc::kPixelFormatB8G8R8A8, kPoolBuffers, content);
    }
    ComPtr<wgc::IDirect3DSurface> surface;
    ComPtr<wgc::IDirect3DDxgiInterfaceAccess> access;
    ComPtr<ID3D11Texture2D> source;
    if (SUCCEEDED(hr)) hr = frame->get_Surface(&surface);
    if (SUCCEEDED(hr)) hr = surface->QueryInterface(wgc::IID_IDirect3DDxgiInterfaceAccess, reinterpret_cast<void**>(access.GetAddressOf()));
    if (SUCCEEDED(hr)) hr = access->GetInterface(IID_PPV_ARGS(&source));
    if (FAILED(hr)) {
        dropWindowCapture(capture);  // reopened at the next allowed attempt; the status stays
        return;
    }
    D3D11_TEXTURE2D_DESC desc{};
    source->GetDesc(&desc);
    const int w = std::min<int>(content.Width, int(desc.Width));
    const int h = std::min<int>(content.Height, int(desc.Height));
    if (w <= 0 || h <= 0) return;
    if (!texture.texture || texture.width != w || texture.height != h) {
        // When the texture for the new size cannot be made this frame's copy is skipped.
        if (!uploadBgraTexture(texture, device, w, h, nullptr, 0, desc.Format)) return;
    }
    const D3D11_BOX box{0, 0, 0, UINT(w), UINT(h), 1};
    context->CopySubresourceRegion(texture.texture, 0, 0, 0, 0, source.Get(), 0, &box);
}
