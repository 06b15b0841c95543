#include "livedata/chat_on_top.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kDefaultRightMargin = 24;
constexpr int kDefaultTop = 96;
constexpr int kMinTrackWidth = 220;
constexpr int kMinTrackHeight = 160;
constexpr int kEdgeZone = 8;
constexpr double kCornerRadius = 10;
constexpr double kOpacity = 0.84;

int clampToInt(int64_t v) {
    return int(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

ChatOnTopRect chatOnTopPlacement(const Project& record, bool recordOnMonitor, const ChatOnTopRect& workArea) {
    const int64_t w = std::max(record.chatOnTopWidth, 1);
    const int64_t h = std::max(record.chatOnTopHeight, 1);
    int64_t x = record.chatOnTopX;
    int64_t y = record.chatOnTopY;
    if ((x == -1 && y == -1) || !recordOnMonitor) {
        x = int64_t(workArea.right) - w - kDefaultRightMargin;
        y = int64_t(workArea.top) + kDefaultTop;
    }
    const int left = clampToInt(x);
    const int top = clampToInt(y);
    return {left, top, clampToInt(left + w), clampToInt(top + h)};
}

ChatOnTopZone chatOnTopZone(int x, int y, const ChatOnTopRect& r, int dpi) {
    const int64_t b = int64_t(dpi) * kEdgeZone / 96;
    const bool top = y < r.top + b;
    const bool bottom = y >= r.bottom - b;
    const bool left = x < r.left + b;
    const bool right = x >= r.right - b;
    if (top && left) return ChatOnTopZone::TopLeft;
    if (top && right) return ChatOnTopZone::TopRight;
    if (left) return bottom ? ChatOnTopZone::BottomLeft : ChatOnTopZone::Left;
    if (right) return bottom ? ChatOnTopZone::BottomRight : ChatOnTopZone::Right;
    if (top) return ChatOnTopZone::Top;
    if (bottom) return ChatOnTopZone::Bottom;
    return ChatOnTopZone::Caption;
}

void chatOnTopMinimumSize(int dpi, int& width, int& height) {
    width = int(double(dpi) / 96.0 * kMinTrackWidth);
    height = int(double(dpi) / 96.0 * kMinTrackHeight);
}

void chatOnTopFinishPixels(uint8_t* bgra, int width, int height, double scale) {
    const double r = kCornerRadius * scale;
    for (int t = 0; t < height; ++t) {
        const double dy = std::max({r - (t + 0.5), 0.0, (t + 0.5) - (height - r)});
        for (int i = 0; i < width; ++i) {
            const double dx = std::max({r - (i + 0.5), 0.0, (i + 0.5) - (width - r)});
            double coverage = 1;
            if (dx > 0 && dy > 0) coverage = std::clamp(r - std::sqrt(dx * dx + dy * dy) + 0.5, 0.0, 1.0);
            const double a = coverage * kOpacity;
            uint8_t* p = bgra + (std::size_t(t) * std::size_t(width) + std::size_t(i)) * 4;
            p[0] = uint8_t(p[0] * a);
            p[1] = uint8_t(p[1] * a);
            p[2] = uint8_t(p[2] * a);
            p[3] = uint8_t(a * 255);
        }
    }
}

bool sameChatLines(const std::vector<ChatEntry>& a, const std::vector<ChatEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const ChatEntry& x, const ChatEntry& y) {
        return x.author == y.author && x.text == y.text && x.channel == y.channel;
    });
}
