#include "livedata/chat_on_top.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

namespace {

Project record(int x, int y, int w, int h) {
    Project p;
    p.chatOnTopX = x;
    p.chatOnTopY = y;
    p.chatOnTopWidth = w;
    p.chatOnTopHeight = h;
    return p;
}

TEST(ChatOnTopGeometry, PlacementFallsBackBesideTheWorkAreaWithoutOverflow) {
    const ChatOnTopRect work{0, 0, 1920, 1040};
    struct Case {
        Project p;
        bool onMonitor;
        ChatOnTopRect expected;
    };
    const Case cases[] = {
        {record(-1, -1, 360, 480), true, {1536, 96, 1896, 576}},
        {record(100, 50, 400, 600), true, {100, 50, 500, 650}},
        {record(5000, 50, 400, 600), false, {1496, 96, 1896, 696}},
        {record(-1, 7, 300, 300), true, {-1, 7, 299, 307}},
        {record(INT_MAX, INT_MAX, INT_MAX, INT_MAX), true, {INT_MAX, INT_MAX, INT_MAX, INT_MAX}},
        {record(-1, -1, INT_MAX, 0), true, {-2147481751, 96, 1896, 97}},
    };
    for (const Case& c : cases) {
        const ChatOnTopRect r = chatOnTopPlacement(c.p, c.onMonitor, work), &e = c.expected;
        EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom),
                  std::tie(e.left, e.top, e.right, e.bottom));
    }
}

// The window itself is tested under Wine at 96 DPI; here the scaled zones.
TEST(ChatOnTopGeometry, EdgeZonesAndMinimumSizeScaleWithDpi) {
    const ChatOnTopRect w{100, 200, 460, 680};
    EXPECT_EQ(chatOnTopZone(109, 400, w, 120), ChatOnTopZone::Left);
    EXPECT_EQ(chatOnTopZone(110, 400, w, 120), ChatOnTopZone::Caption);
    EXPECT_EQ(chatOnTopZone(450, 670, w, 120), ChatOnTopZone::BottomRight);
    EXPECT_EQ(chatOnTopZone(300, 209, w, 120), ChatOnTopZone::Top);
    int mw = 0, mh = 0;
    chatOnTopMinimumSize(120, mw, mh);
    EXPECT_EQ(mw, 275);
    EXPECT_EQ(mh, 200);
}

}  // namespace
