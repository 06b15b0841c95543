#include <gtest/gtest.h>

#include <string>

#include "app/toast.h"
#include "ui/headless_gui.h"

namespace {

struct ExplorerSpy {
    ExplorerSpy() {
        Toast::openInExplorer = [this](const std::wstring& p) {
            opened.push_back(p);
        };
    }
    ~ExplorerSpy() { Toast::openInExplorer = nullptr; }
    std::vector<std::wstring> opened;
};

// Runs frames until the GUI clock passes the given time.
void runUntil(HeadlessGui& gui, double t, const std::function<void()>& body) {
    while (ImGui::GetTime() < t) gui.bareFrame(body);
}

}  // namespace

TEST(Toast, BoxGeometryScalesWithTheUi) {
    ToastBox b = toastBox(100, 20, 500, 800, 1.5f);
    EXPECT_FLOAT_EQ(b.max.x - b.min.x, 100 + 54);
    EXPECT_FLOAT_EQ(b.max.y - b.min.y, 20 + 27);
    EXPECT_FLOAT_EQ(800 - b.min.y, 96);
    EXPECT_FLOAT_EQ((b.min.x + b.max.x) / 2, 500);
    EXPECT_FLOAT_EQ(b.textPos.x, b.min.x + 27);
    EXPECT_FLOAT_EQ(b.textPos.y, b.min.y + 13.5f);
}

TEST(Toast, FadesOverTheLastHalfSecond) {
    EXPECT_FLOAT_EQ(toastAlpha(4.0, 0.0), 1.0f);
    EXPECT_FLOAT_EQ(toastAlpha(4.0, 3.5), 1.0f);
    EXPECT_FLOAT_EQ(toastAlpha(4.0, 3.75), 0.5f);
    EXPECT_FLOAT_EQ(toastAlpha(4.0, 4.0), 0.0f);
    EXPECT_FLOAT_EQ(toastAlpha(4.0, 9.0), 0.0f);
}

TEST(Toast, NewNoticeReplacesTheOldForAFullFourSeconds) {
    HeadlessGui gui;
    Toast toast;
    gui.bareFrame([] {});
    double first = toast.show("Recording saved", L"C:\\a.mp4");
    double second = toast.show("Could not record: no encoder");
    EXPECT_EQ(toast.text, "Could not record: no encoder");
    EXPECT_TRUE(toast.folder.empty());
    EXPECT_DOUBLE_EQ(second, ImGui::GetTime() + 4.0);
    EXPECT_DOUBLE_EQ(first, second);

    int drawnFrames = 0;
    auto body = [&] {
        int before = ImGui::GetForegroundDrawList()->VtxBuffer.Size;
        toast.draw(640, 800);
        if (ImGui::GetForegroundDrawList()->VtxBuffer.Size > before) ++drawnFrames;
    };
    runUntil(gui, second - 0.25, body);
    EXPECT_NEAR(toastAlpha(toast.expiresAt, ImGui::GetTime()), 0.5f, 0.05f);
    EXPECT_GT(drawnFrames, 200);
    runUntil(gui, second + 0.1, body);
    int before = drawnFrames;
    gui.bareFrame(body);
    EXPECT_EQ(drawnFrames, before);  // expired: nothing drawn
}

TEST(Toast, OnlyANoticeWithAFileTakesClicks) {
    HeadlessGui gui;
    ExplorerSpy spy;
    Toast toast;
    auto body = [&] { toast.draw(640, 800); };
    gui.bareFrame([] {});
    toast.show("Nothing to open");
    ImVec2 inside(640, 800 - 64 + 5);
    gui.clickAt(inside, body, true);
    EXPECT_TRUE(spy.opened.empty());
    EXPECT_GT(toast.expiresAt, ImGui::GetTime());

    toast.show("Saved Show 2026-12-08.mp4", L"C:\\Videos\\Show.mp4");
    gui.clickAt(ImVec2(10, 10), body, true);  // a click elsewhere is ignored
    EXPECT_TRUE(spy.opened.empty());
    gui.clickAt(inside, body, true);
    ASSERT_EQ(spy.opened.size(), 1u);
    EXPECT_EQ(spy.opened[0], L"C:\\Videos\\Show.mp4");
    EXPECT_EQ(toast.expiresAt, 0.0);
}
