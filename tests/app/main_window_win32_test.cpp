#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/main_window_win32.h"
#include "app/studio.h"

namespace {

class WindowProc : public ::testing::Test {
protected:
    void SetUp() override {
        saved = startupSeams();
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = mainWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuillhavenTestWindow";
        RegisterClassExW(&wc);
        hwnd = CreateWindowW(L"QuillhavenTestWindow", L"test", WS_OVERLAPPEDWINDOW, 100, 100, 1440, 900,
                             nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(hwnd, nullptr);
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    }
    void TearDown() override {
        gStudio = nullptr;
        DestroyWindow(hwnd);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        UnregisterClassW(L"QuillhavenTestWindow", GetModuleHandleW(nullptr));
        startupSeams() = saved;
    }
    // Hit test of a client point.
    LRESULT hit(int x, int y) {
        POINT pt{x, y};
        ClientToScreen(hwnd, &pt);
        return SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
    }
    HWND hwnd = nullptr;
    StartupSeams saved;
};

}  // namespace

TEST_F(WindowProc, ClientAreaCoversTheWholeWindow) {
    RECT w{}, c{};
    GetWindowRect(hwnd, &w);
    GetClientRect(hwnd, &c);
    EXPECT_EQ(c.right, w.right - w.left);
    EXPECT_EQ(c.bottom, w.bottom - w.top);
}

TEST_F(WindowProc, HitTestAnswersBordersCaptionAndClient) {
    RECT c{};
    GetClientRect(hwnd, &c);
    EXPECT_EQ(hit(1, 1), HTTOPLEFT);
    EXPECT_EQ(hit(c.right - 1, 2), HTTOPRIGHT);
    EXPECT_EQ(hit(2, c.bottom - 1), HTBOTTOMLEFT);
    EXPECT_EQ(hit(c.right - 3, c.bottom - 3), HTBOTTOMRIGHT);
    EXPECT_EQ(hit(2, 300), HTLEFT);
    EXPECT_EQ(hit(c.right - 1, 300), HTRIGHT);
    EXPECT_EQ(hit(500, 0), HTTOP);
    EXPECT_EQ(hit(500, c.bottom - 1), HTBOTTOM);
    EXPECT_EQ(hit(100, 30), HTCLIENT);  // no studio yet
    Studio studio(nullptr);
    studio.titleDragRects.push_back({0, 0, 260, 56});
    gStudio = &studio;
    EXPECT_EQ(hit(100, 30), HTCAPTION);
    EXPECT_EQ(hit(300, 30), HTCLIENT);  // a button in the title bar is a client click
    EXPECT_EQ(hit(100, 60), HTCLIENT);
}

TEST_F(WindowProc, MinimumSizeFollowsTheWindowDpi) {
    startupSeams().workArea = [](HWND) { return RECT{0, 0, 3840, 2100}; };
    startupSeams().windowDpi = [](HWND) -> UINT { return 144; };
    MINMAXINFO info{};
    EXPECT_EQ(SendMessageW(hwnd, WM_GETMINMAXINFO, 0, LPARAM(&info)), 0);
    EXPECT_EQ(info.ptMinTrackSize.x, 1680);
    EXPECT_EQ(info.ptMinTrackSize.y, 1050);
    startupSeams().windowDpi = [](HWND) -> UINT { return 96; };
    SendMessageW(hwnd, WM_GETMINMAXINFO, 0, LPARAM(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 1120);
    EXPECT_EQ(info.ptMinTrackSize.y, 700);
    // 144 DPI on a 1600 x 1000 monitor with a 40-pixel taskbar: the work area bounds it.
    startupSeams().windowDpi = [](HWND) -> UINT { return 144; };
    startupSeams().workArea = [](HWND) { return RECT{0, 0, 1600, 960}; };
    SendMessageW(hwnd, WM_GETMINMAXINFO, 0, LPARAM(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 1600);
    EXPECT_EQ(info.ptMinTrackSize.y, 960);
    // At 144 DPI the resize border is 9 pixels.
    startupSeams().windowDpi = [](HWND) -> UINT { return 144; };
    EXPECT_EQ(hit(8, 300), HTLEFT);
    EXPECT_EQ(hit(9, 300), HTCLIENT);
}

TEST_F(WindowProc, AltDoesNotOpenTheWindowMenu) {
    EXPECT_EQ(SendMessageW(hwnd, WM_SYSCOMMAND, SC_KEYMENU, 0), 0);
    EXPECT_EQ(SendMessageW(hwnd, WM_SYSCOMMAND, SC_KEYMENU | 0x5, ' '), 0);
}

TEST_F(WindowProc, SizeAndDpiMessagesAreRecordedForTheLoop) {
    gResizeWidth = gResizeHeight = 0;
    SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(1300, 800));
    EXPECT_EQ(gResizeWidth, 1300u);
    EXPECT_EQ(gResizeHeight, 800u);
    gResizeWidth = gResizeHeight = 0;
    SendMessageW(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(gResizeWidth, 0u);

    gDpiChanged = false;
    RECT suggested{50, 60, 50 + 1300, 60 + 800};
    EXPECT_EQ(SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(144, 144), LPARAM(&suggested)), 0);
    EXPECT_TRUE(gDpiChanged);
    EXPECT_FLOAT_EQ(gDpiScale, 1.5f);
    RECT w{};
    GetWindowRect(hwnd, &w);
    EXPECT_EQ(w.left, 50);
    EXPECT_EQ(w.right - w.left, 1300);
    gDpiChanged = false;
    gDpiScale = 1.0f;
    gResizeWidth = gResizeHeight = 0;
}

TEST(DeviceFailure, MessageCarriesTheCodeAndTheProcessEndsWithOne) {
    EXPECT_EQ(deviceFailureText(HRESULT(0x887A0004)), L"Direct3D 11 is not available 0x887A0004");
    EXPECT_EQ(deviceFailureText(HRESULT(0x80004005)), L"Direct3D 11 is not available 0x80004005");

    StartupSeams saved = startupSeams();
    std::wstring shown;
    int studiosSeen = -1;
    startupSeams().createDevice = [](HWND) { return HRESULT(0x887A0004); };
    startupSeams().showError = [&](HWND, const std::wstring& text) {
        shown = text;
        studiosSeen = Studio::liveInstances();
    };
    int code = runStudioProcess(GetModuleHandleW(nullptr));
    startupSeams() = saved;
    EXPECT_EQ(code, 1);
    EXPECT_EQ(shown, L"Direct3D 11 is not available 0x887A0004");
    EXPECT_EQ(studiosSeen, 0);
}

namespace {

std::wstring binaryDir() {
    wchar_t buf[1024];
    DWORD n = GetEnvironmentVariableW(L"QH_BINARY_DIR", buf, 1024);
    return n && n < 1024 ? std::wstring(buf, n) : L".";
}

}  // namespace

// The whole process on a real device: the window opens, frames are drawn, a
// close request shuts it down, and the studio is gone before COM is left.
TEST(StudioProcess, RunsClosesAndLeavesItsFilesInAProfileOutsideTheCodePage) {
    const std::wstring profile = binaryDir() + L"\\test-data\\studio\\\u041f\u0440\u043e\u0444\u0438\u043b\u044c \u540d\u524d";
    std::error_code ec;
    std::filesystem::remove_all(profile, ec);
    SetEnvironmentVariableW(L"QUILLHAVEN_PROFILE", profile.c_str());
    _wputenv_s(L"QUILLHAVEN_PROFILE", profile.c_str());

    // Earlier tests destroyed windows: drop their quit messages.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    StartupSeams saved = startupSeams();
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Clock::time_point firstFrame{}, lastFrame{};
    int frames = 0;
    int studiosAtComExit = -1;
    // A system at 144 DPI: the window is larger than the 1600 x 1000 screen unless cut to fit.
    startupSeams().systemDpi = [] { return UINT(144); };
    RECT window{};
    bool gamepadLibraryLoaded = false;
    startupSeams().afterPresent = [&] {
        lastFrame = Clock::now();
        if (++frames == 1) {
            firstFrame = lastFrame;
            GetWindowRect(FindWindowW(L"Quillhaven", nullptr), &window);
            for (const wchar_t* dll : {L"xinput1_4.dll", L"xinput1_3.dll", L"xinput9_1_0.dll"})
                gamepadLibraryLoaded = gamepadLibraryLoaded || GetModuleHandleW(dll) != nullptr;
        }
        if (frames == 301) PostMessageW(FindWindowW(L"Quillhaven", nullptr), WM_CLOSE, 0, 0);
    };
    startupSeams().leaveCom = [&] {
        studiosAtComExit = Studio::liveInstances();
        CoUninitialize();
    };
    int code = runStudioProcess(GetModuleHandleW(nullptr));
    startupSeams() = saved;
    SetEnvironmentVariableW(L"QUILLHAVEN_PROFILE", nullptr);
    _wputenv_s(L"QUILLHAVEN_PROFILE", L"");

    EXPECT_EQ(code, 0);
    EXPECT_EQ(studiosAtComExit, 0);
    // A gamepad library freed at shutdown while its device thread still ran crashed the exit.
    EXPECT_FALSE(gamepadLibraryLoaded);
    const RECT area = startupSeams().workArea(nullptr);
    EXPECT_GE(window.left, area.left);
    EXPECT_GE(window.top, area.top);
    EXPECT_LE(window.right, area.right);
    EXPECT_LE(window.bottom, area.bottom);
    EXPECT_GT(window.right - window.left, 1440);  // still scaled up as far as it fits
    EXPECT_GE(frames, 301);
    EXPECT_TRUE(std::filesystem::exists(profile + L"\\project.txt"));
    EXPECT_TRUE(std::filesystem::exists(profile + L"\\imgui.ini"));
    using ms = std::chrono::duration<double, std::milli>;
    std::printf("start to first presented frame: %.1f ms; idle frame: %.3f ms over %d frames\n",
                ms(firstFrame - start).count(), ms(lastFrame - firstFrame).count() / (frames - 1), frames - 1);
}
