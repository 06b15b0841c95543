// The chat-on-top window under Wine: placement, hit zones, no activation,
// the record following the user's moves, and what it draws, both as an image
// and as the X screen shows it.
#include "livedata/chat_on_top.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "compose/png_file.h"
#include "util/text.h"

namespace {

const std::vector<ChatEntry> kLines = {
    {"Ann", "first message, long enough to wrap onto a second line in this narrow window", 0, 1},
    {"Bo", "second", 1, 2},
    {"A viewer whose display name is far too long for the window", "third", 2, 3},
};

std::string artifactsDir() {
    const char* bin = std::getenv("QH_BINARY_DIR");
    const std::string dir = std::string(bin ? bin : ".") + "\\..\\artifacts\\livedata\\";
    std::filesystem::create_directories(dir);
    return dir;
}

// Takes the part `r` of the X screen the window is shown on with
// ImageMagick's import, which Wine starts as the Unix program it is, into a
// PNG named `name` among the artifacts; waits for the file with a generous
// deadline, handling the window's messages meanwhile.
bool takeScreenshot(const RECT& r, const std::string& name) {
    std::string dir = artifactsDir();
    if (dir.rfind("Z:", 0) != 0) return false;
    dir.erase(0, 2);
    std::replace(dir.begin(), dir.end(), '\\', '/');
    const std::string file = dir + name, part = file + ".part.png";
    std::filesystem::remove("Z:" + file);
    char crop[64];
    std::snprintf(crop, sizeof crop, "%ldx%ld+%ld+%ld", r.right - r.left, r.bottom - r.top, r.left, r.top);
    std::wstring command = utf8ToWide("sh -c \"/usr/bin/import -window root -crop " + std::string(crop) + " +repage " +
                                      part + " && /bin/mv " + part + " " + file + "\"");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
    const DWORD deadline = GetTickCount() + 60000;
    while (!std::filesystem::exists("Z:" + file)) {
        if (int(GetTickCount() - deadline) > 0) return false;
        for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&msg);
        Sleep(20);
    }
    return true;
}

TEST(ChatOnTopWindow, OpensBesideTheWorkAreaNeverActivatesAndTheRecordFollowsMoves) {
    Project record;
    record.chatOnTopShown = true;
    std::unique_ptr<ChatOnTopWindow> window;
    ChatOnTopWindow::update(window, record, kLines);
    ASSERT_TRUE(window);
    HWND h = static_cast<HWND>(window->hwnd);
    RECT work{}, r{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(h, &r);
    EXPECT_EQ(std::vector<LONG>({r.left, r.top, r.right, r.bottom}),
              std::vector<LONG>({work.right - 360 - 24, work.top + 96, work.right - 24, work.top + 96 + 480}));
    EXPECT_EQ(record.chatOnTopX, r.left);
    EXPECT_EQ(record.chatOnTopY, r.top);
    EXPECT_EQ(std::pair(window->drawnWidth, window->drawnHeight), std::pair(360, 480));
    const LONG_PTR ex = GetWindowLongPtrW(h, GWL_EXSTYLE);
    for (LONG_PTR bit : {LONG_PTR(WS_EX_NOACTIVATE), LONG_PTR(WS_EX_LAYERED), LONG_PTR(WS_EX_TOOLWINDOW),
                         LONG_PTR(WS_EX_TOPMOST)}) EXPECT_TRUE(ex & bit);
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_NE(GetForegroundWindow(), h);
    EXPECT_NE(GetActiveWindow(), h);
    EXPECT_EQ(SendMessageW(h, WM_MOUSEACTIVATE, 0, MAKELPARAM(HTCAPTION, WM_LBUTTONDOWN)), MA_NOACTIVATE);
    EXPECT_TRUE(takeScreenshot(r, "chat_on_top_screen.png"));

    // At 96 DPI the edges are 8 pixels deep; the rest drags the window.
    struct Hit {
        int x, y;
        LRESULT code;
    };
    const Hit hits[] = {
        {r.left, r.top, HTTOPLEFT},          {r.right - 1, r.top, HTTOPRIGHT},
        {r.left + 3, r.bottom - 3, HTBOTTOMLEFT}, {r.right - 8, r.bottom - 8, HTBOTTOMRIGHT},
        {r.left + 7, r.top + 100, HTLEFT},   {r.right - 2, r.top + 100, HTRIGHT},
        {r.left + 100, r.top + 7, HTTOP},    {r.left + 100, r.bottom - 1, HTBOTTOM},
        {r.left + 8, r.top + 8, HTCAPTION},  {r.left + 180, r.top + 240, HTCAPTION},
    };
    for (const Hit& hit : hits)
        EXPECT_EQ(SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(hit.x, hit.y)), hit.code) << hit.x << "," << hit.y;

    EXPECT_EQ(SendMessageW(h, WM_CLOSE, 0, 0), 0);
    for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&msg);
    EXPECT_TRUE(IsWindow(h));

    record.chatOnTopShown = false;
    ChatOnTopWindow::update(window, record, kLines);
    EXPECT_FALSE(window);
    EXPECT_FALSE(IsWindow(h));

    // Shown again at a place on a monitor that is gone; the record follows the user's moves.
    record.chatOnTopShown = true;
    record.chatOnTopX = 200000;
    record.chatOnTopY = 40;
    record.chatOnTopWidth = 300;
    record.chatOnTopHeight = 400;
    ChatOnTopWindow::update(window, record, kLines);
    ASSERT_TRUE(window);
    h = static_cast<HWND>(window->hwnd);
    EXPECT_EQ(record.chatOnTopX, work.right - 300 - 24);

    SetWindowPos(h, nullptr, 50, 60, 400, 500, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(window->drawnWidth, 400);  // a new size is drawn at once
    ChatOnTopWindow::update(window, record, kLines);
    EXPECT_EQ(std::vector<int>({record.chatOnTopX, record.chatOnTopY, record.chatOnTopWidth, record.chatOnTopHeight}),
              std::vector<int>({50, 60, 400, 500}));

    // The minimum tracking size holds for programs too.
    SetWindowPos(h, nullptr, 70, 80, 90, 90, SWP_NOZORDER | SWP_NOACTIVATE);
    ChatOnTopWindow::update(window, record, kLines);
    EXPECT_EQ(std::vector<int>({record.chatOnTopX, record.chatOnTopY, record.chatOnTopWidth, record.chatOnTopHeight}),
              std::vector<int>({70, 80, 220, 160}));
    EXPECT_EQ(window->drawnWidth, 220);

    // Resized behind the window's back (a resize it sees is drawn at once), a
    // render is told by the drawn size taking up the window's new size.
    SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    SetWindowPos(h, nullptr, 0, 0, 240, 170, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window.get()));
    std::vector<ChatEntry> renumbered = kLines;
    for (ChatEntry& e : renumbered) e.seq += 100;
    ChatOnTopWindow::update(window, record, renumbered);
    EXPECT_EQ(window->drawnWidth, 220) << "only the sequence numbers changed: not drawn again";
    renumbered[1].text = "edited";
    ChatOnTopWindow::update(window, record, renumbered);
    EXPECT_EQ(std::pair(window->drawnWidth, window->drawnHeight), std::pair(240, 170));
    ChatOnTopWindow::destroy(window);
    EXPECT_FALSE(IsWindow(h));
}

TEST(ChatOnTopWindow, DrawsRoundedTranslucentChatWithAuthorColours) {
    std::vector<uint8_t> px;
    ASSERT_TRUE(renderChatOnTopImage(360, 480, 96, kLines, px));
    ASSERT_EQ(px.size(), 360u * 480u * 4u);
    writeBgraPng(artifactsDir() + "chat_on_top.png", px.data(), 360, 480, 360 * 4);
    const auto at = [&](int x, int y) { return &px[(std::size_t(y) * 360 + std::size_t(x)) * 4]; };
    for (const auto& [x, y] : {std::pair{0, 0}, {359, 0}, {0, 479}, {359, 479}}) EXPECT_EQ(at(x, y)[3], 0);
    // The background, premultiplied at 84 %.
    EXPECT_EQ(std::vector<uint8_t>(at(180, 200), at(180, 200) + 4), std::vector<uint8_t>({21, 18, 18, 214}));
    // Each author's colour (0xBBGGRR) appears, the newest line lowest.
    const uint32_t colours[3] = {0x0040CCFF, 0x00FFC860, 0x00A078FF};
    const auto shows = [](const uint8_t* p, uint32_t colour) {
        for (int i = 0; i < 3; ++i)
            if (std::abs(p[2 - i] - int((colour >> (8 * i)) & 0xFF) * 214 / 255) >= 12) return false;
        return true;
    };
    int lowest[3] = {-1, -1, -1};
    for (int y = 30; y < 480; ++y)
        for (int x = 0; x < 360; ++x)
            for (int c = 0; c < 3; ++c)
                if (shows(at(x, y), colours[c])) lowest[c] = y;
    EXPECT_GT(lowest[0], 0);
    EXPECT_GT(lowest[1], lowest[0]);
    EXPECT_GT(lowest[2], lowest[1]);
    EXPECT_FALSE(renderChatOnTopImage(0, 480, 96, kLines, px));
    EXPECT_FALSE(renderChatOnTopImage(100000, 100000, 96, kLines, px)) << "a bitmap that large cannot be made";
}

}  // namespace
