#include <gtest/gtest.h>

#include "app/studio.h"
#include "app/window_rules.h"

TEST(WindowRules, SizesFollowTheDpiWithinTheWorkArea) {
    const WindowSize unknown{}, large{3840, 2100}, small{1600, 960};
    struct Case {
        unsigned dpi;
        WindowSize area, initial, minimum;
    };
    for (const Case& c : {Case{96, unknown, {1440, 900}, {1120, 700}},
                          Case{144, unknown, {2160, 1350}, {1680, 1050}},
                          Case{144, large, {2160, 1350}, {1680, 1050}},
                          Case{120, large, {1800, 1125}, {1400, 875}},
                          // 144 DPI on a 1600 x 1000 screen with its taskbar: nothing off screen.
                          Case{144, small, {1600, 960}, {1600, 960}},
                          Case{96, small, {1440, 900}, {1120, 700}}}) {
        SCOPED_TRACE(c.dpi);
        EXPECT_EQ(initialWindowSize(c.dpi, c.area).width, c.initial.width);
        EXPECT_EQ(initialWindowSize(c.dpi, c.area).height, c.initial.height);
        EXPECT_EQ(minimumWindowSize(c.dpi, c.area).width, c.minimum.width);
        EXPECT_EQ(minimumWindowSize(c.dpi, c.area).height, c.minimum.height);
    }
    EXPECT_EQ(resizeBorderWidth(96), 6);
    EXPECT_EQ(resizeBorderWidth(144), 9);
    EXPECT_EQ(resizeBorderWidth(120), 7);
}

TEST(WindowRules, BordersThenDragRectanglesThenClient) {
    std::vector<TitleRect> rects{{0, 0, 260, 56}};
    const int W = 1440, H = 900;
    auto hit = [&](int x, int y, bool maximised = false, const std::vector<TitleRect>* r = nullptr) {
        return hitTestWindow(x, y, W, H, 96, maximised, r);
    };
    EXPECT_EQ(hit(0, 0), WindowHit::TopLeft);
    EXPECT_EQ(hit(5, 5), WindowHit::TopLeft);
    EXPECT_EQ(hit(W - 6, 0), WindowHit::TopRight);
    EXPECT_EQ(hit(0, H - 1), WindowHit::BottomLeft);
    EXPECT_EQ(hit(W - 1, H - 6), WindowHit::BottomRight);
    EXPECT_EQ(hit(3, 400), WindowHit::Left);
    EXPECT_EQ(hit(W - 2, 400), WindowHit::Right);
    EXPECT_EQ(hit(700, 2), WindowHit::Top);
    EXPECT_EQ(hit(700, H - 3), WindowHit::Bottom);
    EXPECT_EQ(hit(6, 6, false, &rects), WindowHit::Caption);
    EXPECT_EQ(hit(259, 55, false, &rects), WindowHit::Caption);
    EXPECT_EQ(hit(260, 30, false, &rects), WindowHit::Client);  // right edge is outside
    EXPECT_EQ(hit(100, 56, false, &rects), WindowHit::Client);
    EXPECT_EQ(hit(100, 30), WindowHit::Client);                  // no studio yet
    // Maximised: no resize borders; the drag area still answers.
    EXPECT_EQ(hit(0, 0, true, &rects), WindowHit::Caption);
    EXPECT_EQ(hit(W - 1, H - 1, true, &rects), WindowHit::Client);
}
