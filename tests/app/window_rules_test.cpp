#include <gtest/gtest.h>

#include "app/studio.h"
#include "app/window_rules.h"

TEST(WindowRules, SizesFollowTheDpi) {
    EXPECT_EQ(initialWindowSize(96).width, 1440);
    EXPECT_EQ(initialWindowSize(96).height, 900);
    EXPECT_EQ(initialWindowSize(144).width, 2160);
    EXPECT_EQ(initialWindowSize(144).height, 1350);
    EXPECT_EQ(minimumWindowSize(144).width, 1680);
    EXPECT_EQ(minimumWindowSize(144).height, 1050);
    EXPECT_EQ(minimumWindowSize(120).width, 1400);
    EXPECT_EQ(minimumWindowSize(120).height, 875);
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
