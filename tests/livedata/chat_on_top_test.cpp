#include "livedata/chat_on_top.h"

#include <gtest/gtest.h>

#include <climits>

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
        const ChatOnTopRect r = chatOnTopPlacement(c.p, c.onMonitor, work);
        EXPECT_EQ(r.left, c.expected.left);
        EXPECT_EQ(r.top, c.expected.top);
        EXPECT_EQ(r.right, c.expected.right);
        EXPECT_EQ(r.bottom, c.expected.bottom);
    }
}

TEST(ChatOnTopGeometry, EdgesResizeAndTheRestDrags) {
    const ChatOnTopRect w{100, 200, 460, 680};
    struct Case {
        int x, y, dpi;
        ChatOnTopZone zone;
    };
    const Case cases[] = {
        {100, 200, 96, ChatOnTopZone::TopLeft},     {459, 200, 96, ChatOnTopZone::TopRight},
        {100, 679, 96, ChatOnTopZone::BottomLeft},  {459, 679, 96, ChatOnTopZone::BottomRight},
        {107, 400, 96, ChatOnTopZone::Left},        {108, 400, 96, ChatOnTopZone::Caption},
        {452, 400, 96, ChatOnTopZone::Right},       {300, 207, 96, ChatOnTopZone::Top},
        {300, 672, 96, ChatOnTopZone::Bottom},      {300, 400, 96, ChatOnTopZone::Caption},
        {109, 400, 120, ChatOnTopZone::Left},       {110, 400, 120, ChatOnTopZone::Caption},
    };
    for (const Case& c : cases) EXPECT_EQ(chatOnTopZone(c.x, c.y, w, c.dpi), c.zone) << c.x << "," << c.y;
    int mw = 0, mh = 0;
    chatOnTopMinimumSize(120, mw, mh);
    EXPECT_EQ(mw, 275);
    EXPECT_EQ(mh, 200);
}

TEST(ChatOnTopGeometry, CornersAreClearAndTheRestIsPremultipliedTranslucent) {
    const int w = 40, h = 30;
    std::vector<uint8_t> px(std::size_t(w) * h * 4);
    for (std::size_t i = 0; i < px.size(); i += 4) {
        px[i] = 26;
        px[i + 1] = 22;
        px[i + 2] = 200;
    }
    chatOnTopFinishPixels(px.data(), w, h, 1.0);
    const auto at = [&](int x, int y) { return &px[(std::size_t(y) * w + std::size_t(x)) * 4]; };
    for (const auto& [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}) EXPECT_EQ(at(x, y)[3], 0);
    EXPECT_EQ(at(20, 15)[3], 214);
    EXPECT_EQ(at(20, 15)[0], 21);
    EXPECT_EQ(at(20, 15)[2], 168);
    EXPECT_EQ(at(20, 0)[3], 214);  // edges are straight between the corners
    EXPECT_EQ(int(at(2, 3)[3]), 123);  // the rounded edge is antialiased

    std::vector<ChatEntry> a = {{"A", "x", 0, 1}}, b = {{"A", "x", 0, 99}}, c = {{"A", "x", 1, 1}};
    EXPECT_TRUE(sameChatLines(a, b));
    EXPECT_FALSE(sameChatLines(a, c));
    EXPECT_FALSE(sameChatLines(a, {}));
}

}  // namespace
