#pragma once
// The process entry's window, device and main loop (Windows only).

#include <windows.h>

#include <d3d11.h>

#include <functional>
#include <string>

class Studio;

extern ID3D11Device* gDevice;
extern ID3D11DeviceContext* gContext;
extern IDXGISwapChain* gSwapChain;
extern ID3D11RenderTargetView* gRenderTarget;
extern UINT gResizeWidth, gResizeHeight;
extern float gDpiScale;
extern bool gDpiChanged;
extern Studio* gStudio;

LRESULT CALLBACK mainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Points where start-up meets the platform, replaceable by tests.
struct StartupSeams {
    // DPI of a window (GetDpiForWindow).
    std::function<UINT(HWND)> windowDpi;
    // D3D11CreateDeviceAndSwapChain with the settings of the studio.
    std::function<HRESULT(HWND)> createDevice;
    // An error message box on the window.
    std::function<void(HWND, const std::wstring&)> showError;
    // Called after every presented frame.
    std::function<void()> afterPresent;
    // Leaves COM at the end of the process (CoUninitialize).
    std::function<void()> leaveCom;
    // DPI of the system, which sizes a new window (GetDpiForSystem).
    std::function<UINT()> systemDpi;
    // Work area of the monitor nearest the window; the primary monitor's for no window.
    std::function<RECT(HWND)> workArea;
};
StartupSeams& startupSeams();

// "Direct3D 11 is not available 0x887A0004"
std::wstring deviceFailureText(HRESULT hr);

// The whole life of the process: start-up, main loop, shutdown. Returns the exit code.
int runStudioProcess(HINSTANCE instance);
