#include "app/main_window_win32.h"

#include <dwmapi.h>
#include <objbase.h>
#include <windowsx.h>

#include <cstdio>
#include <memory>

#include "app/frame_input.h"
#include "app/studio.h"
#include "app/window_rules.h"
#include "backends/imgui_impl_dx11.h"
#include "backends/imgui_impl_win32.h"
#include "imgui.h"
#include "ui/style.h"
#include "ui/theme.h"
#include "update/updater.h"
#include "util/folders.h"
#include "util/text.h"
#include "util/win32_missing.h"

extern IMGUI_IMPL_API LRESULT ImGui_ImplWin32_WndProcHandler(HWND, UINT, WPARAM, LPARAM);

ID3D11Device* gDevice = nullptr;
ID3D11DeviceContext* gContext = nullptr;
IDXGISwapChain* gSwapChain = nullptr;
ID3D11RenderTargetView* gRenderTarget = nullptr;
UINT gResizeWidth = 0, gResizeHeight = 0;
float gDpiScale = 1.0f;
bool gDpiChanged = false;
Studio* gStudio = nullptr;

namespace {

const wchar_t kClassName[] = L"Quillhaven";

HRESULT createDeviceAndSwapChain(HWND hwnd) {
    DXGI_SWAP_CHAIN_DESC sd{};
    sd.BufferDesc.Width = 0;
    sd.BufferDesc.Height = 0;
    sd.BufferDesc.RefreshRate = {0, 0};
    sd.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    sd.SampleDesc.Count = 1;
    sd.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    sd.BufferCount = 2;
    sd.OutputWindow = hwnd;
    sd.Windowed = TRUE;
    sd.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
    sd.Flags = 0;
    const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_0};
    D3D_FEATURE_LEVEL got{};
    return D3D11CreateDeviceAndSwapChain(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr,
                                         D3D11_CREATE_DEVICE_BGRA_SUPPORT, levels, 1, D3D11_SDK_VERSION,
                                         &sd, &gSwapChain, &gDevice, &got, &gContext);
}

void createRenderTarget() {
    ID3D11Texture2D* back = nullptr;
    if (SUCCEEDED(gSwapChain->GetBuffer(0, IID_PPV_ARGS(&back))) && back) {
        gDevice->CreateRenderTargetView(back, nullptr, &gRenderTarget);
        back->Release();
    }
}

void releaseRenderTarget() {
    if (gRenderTarget) {
        gRenderTarget->Release();
        gRenderTarget = nullptr;
    }
}

template <class T>
void release(T*& p) {
    if (p) {
        p->Release();
        p = nullptr;
    }
}

LRESULT hitTestResult(WindowHit hit) {
    switch (hit) {
    case WindowHit::Caption: return HTCAPTION;
    case WindowHit::Left: return HTLEFT;
    case WindowHit::Right: return HTRIGHT;
    case WindowHit::Top: return HTTOP;
    case WindowHit::Bottom: return HTBOTTOM;
    case WindowHit::TopLeft: return HTTOPLEFT;
    case WindowHit::TopRight: return HTTOPRIGHT;
    case WindowHit::BottomLeft: return HTBOTTOMLEFT;
    case WindowHit::BottomRight: return HTBOTTOMRIGHT;
    case WindowHit::Client: break;
    }
    return HTCLIENT;
}

// The GUI library reads its layout file by a UTF-8 name; kept for the process's life.
std::string gIniName;

}  // namespace

StartupSeams& startupSeams() {
    static StartupSeams seams{
        [](HWND hwnd) { return GetDpiForWindow(hwnd); },
        createDeviceAndSwapChain,
        [](HWND hwnd, const std::wstring& text) {
            MessageBoxW(hwnd, text.c_str(), L"Quillhaven", MB_OK | MB_ICONERROR);
        },
        nullptr,
        [] { CoUninitialize(); },
        [] { return GetDpiForSystem(); },
        [](HWND hwnd) {
            MONITORINFO info{};
            info.cbSize = sizeof info;
            GetMonitorInfoW(MonitorFromWindow(hwnd, hwnd ? MONITOR_DEFAULTTONEAREST : MONITOR_DEFAULTTOPRIMARY),
                            &info);
            return info.rcWork;
        },
    };
    return seams;
}

std::wstring deviceFailureText(HRESULT hr) {
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08X", unsigned(hr));
    return std::wstring(L"Direct3D 11 is not available ") + code;
}

namespace {
WindowSize workAreaSize(HWND hwnd) {
    const RECT r = startupSeams().workArea(hwnd);
    return {int(r.right - r.left), int(r.bottom - r.top)};
}
}  // namespace

LRESULT CALLBACK mainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (ImGui::GetCurrentContext() && ImGui_ImplWin32_WndProcHandler(hwnd, msg, wParam, lParam))
        return 1;
    switch (msg) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) {
            gResizeWidth = LOWORD(lParam);
            gResizeHeight = HIWORD(lParam);
        }
        return 0;
    case WM_GETMINMAXINFO: {
        WindowSize min = minimumWindowSize(startupSeams().windowDpi(hwnd), workAreaSize(hwnd));
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize.x = min.width;
        info->ptMinTrackSize.y = min.height;
        return 0;
    }
    case WM_NCCALCSIZE:
        if (wParam == 0) break;
        if (IsZoomed(hwnd)) {
            UINT dpi = startupSeams().windowDpi(hwnd);
            int f = GetSystemMetricsForDpi(SM_CXFRAME, dpi) + GetSystemMetricsForDpi(SM_CXPADDEDBORDER, dpi);
            RECT& r = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0];
            r.left += f;
            r.top += f;
            r.right -= f;
            r.bottom -= f;
        }
        return 0;
    case WM_NCHITTEST: {
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ScreenToClient(hwnd, &pt);
        RECT r{};
        GetClientRect(hwnd, &r);
        WindowHit hit = hitTestWindow(pt.x, pt.y, r.right, r.bottom, startupSeams().windowDpi(hwnd),
                                      IsZoomed(hwnd) != 0, gStudio ? &gStudio->titleDragRects : nullptr);
        return hitTestResult(hit);
    }
    case WM_NCACTIVATE:
        return DefWindowProcW(hwnd, msg, wParam, -1);
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;
        break;
    case WM_DPICHANGED: {
        gDpiChanged = true;
        gDpiScale = HIWORD(wParam) / 96.0f;
        const RECT* r = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

int runStudioProcess(HINSTANCE instance) {
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const bool comReady = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_CLASSDC;
    wc.lpfnWndProc = mainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
    const RECT area = startupSeams().workArea(nullptr);
    const unsigned systemDpi = startupSeams().systemDpi();
    const WindowSize size = initialWindowSize(systemDpi, workAreaSize(nullptr));
    const WindowSize wanted = initialWindowSize(systemDpi, {});
    // A window cut to the work area fills it; one that fits goes where new windows go.
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
    if (size.width < wanted.width || size.height < wanted.height) {
        x = area.left + (area.right - area.left - size.width) / 2;
        y = area.top + (area.bottom - area.top - size.height) / 2;
    }
    HWND hwnd = CreateWindowW(kClassName, L"Quillhaven", WS_OVERLAPPEDWINDOW, x, y, size.width, size.height,
                              nullptr, nullptr, instance, nullptr);
    gDpiScale = startupSeams().windowDpi(hwnd) / 96.0f;
    DWORD corner = DWMWCP_ROUND;
    DwmSetWindowAttribute(hwnd, DWMWA_WINDOW_CORNER_PREFERENCE, &corner, sizeof corner);
    MARGINS margins{0, 0, 1, 0};
    DwmExtendFrameIntoClientArea(hwnd, &margins);
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);

    HRESULT hr = startupSeams().createDevice(hwnd);
    if (FAILED(hr)) {
        startupSeams().showError(hwnd, deviceFailureText(hr));
        DestroyWindow(hwnd);
        UnregisterClassW(kClassName, instance);
        if (comReady) startupSeams().leaveCom();
        return 1;
    }
    createRenderTarget();

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    gIniName = wideToUtf8(joinPath(profileFolder(), L"imgui.ini"));
    ImGui::GetIO().IniFilename = gIniName.c_str();
    applyStyle(gDpiScale);
    ImGui_ImplWin32_Init(hwnd);
    ImGui_ImplDX11_Init(gDevice, gContext);

    auto studio = std::make_unique<Studio>(createMediaKit(gDevice, gContext), hwnd);
    if (!studio->startUp()) {
        startupSeams().showError(nullptr, L"Could not set up the GPU canvas.");
        studio.reset();
        return 1;
    }
    gStudio = studio.get();
    ShowWindow(hwnd, SW_SHOWDEFAULT);
    UpdateWindow(hwnd);

    for (bool done = false; !done;) {
        takeFrameMessages([&done](bool withInput) {
            MSG msg;
            const UINT besidesInput = PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE | PM_QS_PAINT;
            if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | (withInput ? 0 : besidesInput))) return false;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            if (msg.message == WM_QUIT) done = true;
            return true;
        });
        if (done) break;
        studio->tick();
        if (IsIconic(hwnd)) {
            Sleep(5);
            continue;
        }
        if (gResizeWidth != 0) {
            releaseRenderTarget();
            gSwapChain->ResizeBuffers(0, gResizeWidth, gResizeHeight, DXGI_FORMAT_UNKNOWN, 0);
            gResizeWidth = gResizeHeight = 0;
            createRenderTarget();
        }
        if (takeTextScaleChanged() || gDpiChanged) {
            gDpiChanged = false;
            applyStyle(gDpiScale);
            ImGui_ImplDX11_InvalidateDeviceObjects();
        }
        ImGui_ImplDX11_NewFrame();
        ImGui_ImplWin32_NewFrame();
        ImGui::NewFrame();
        studio->drawFrame();
        ImGui::Render();
        ImVec4 clear = ImGui::ColorConvertU32ToFloat4(palette().windowBg);
        const float rgba[4] = {clear.x, clear.y, clear.z, 1.0f};
        gContext->OMSetRenderTargets(1, &gRenderTarget, nullptr);
        gContext->ClearRenderTargetView(gRenderTarget, rgba);
        ImGui_ImplDX11_RenderDrawData(ImGui::GetDrawData());
        gSwapChain->Present(1, 0);
        if (startupSeams().afterPresent) startupSeams().afterPresent();
    }

    gStudio = nullptr;
    studio->shutdown();
    ImGui_ImplDX11_Shutdown();
    ImGui_ImplWin32_Shutdown();
    ImGui::DestroyContext();
    releaseRenderTarget();
    release(gSwapChain);
    release(gContext);
    release(gDevice);
    // The studio's media objects are COM objects: release them while COM is still up.
    const bool relaunch = studio->updatePending;
    studio.reset();
    if (comReady) startupSeams().leaveCom();
    UnregisterClassW(kClassName, instance);
    if (relaunch) relaunchSelf();
    return 0;
}
