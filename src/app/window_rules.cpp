#include "app/window_rules.h"

#include "app/studio.h"

namespace {
WindowSize scaledToFit(unsigned dpi, int width, int height, WindowSize workArea) {
    WindowSize s{int(double(dpi) / 96.0 * width), int(double(dpi) / 96.0 * height)};
    if (workArea.width > 0 && s.width > workArea.width) s.width = workArea.width;
    if (workArea.height > 0 && s.height > workArea.height) s.height = workArea.height;
    return s;
}
}  // namespace

WindowSize initialWindowSize(unsigned dpi, WindowSize workArea) { return scaledToFit(dpi, 1440, 900, workArea); }
WindowSize minimumWindowSize(unsigned dpi, WindowSize workArea) { return scaledToFit(dpi, 1120, 700, workArea); }
int resizeBorderWidth(unsigned dpi) { return int(dpi * 6 / 96); }

WindowHit hitTestWindow(int x, int y, int right, int bottom, unsigned dpi, bool maximised,
                        const std::vector<TitleRect>* dragRects) {
    if (!maximised) {
        const int b = resizeBorderWidth(dpi);
        const bool top = y < b, low = y >= bottom - b, left = x < b, rightEdge = x >= right - b;
        if (top && left) return WindowHit::TopLeft;
        if (top && rightEdge) return WindowHit::TopRight;
        if (low && left) return WindowHit::BottomLeft;
        if (low && rightEdge) return WindowHit::BottomRight;
        if (left) return WindowHit::Left;
        if (rightEdge) return WindowHit::Right;
        if (top) return WindowHit::Top;
        if (low) return WindowHit::Bottom;
    }
    if (!dragRects) return WindowHit::Client;
    const float fx = float(x), fy = float(y);
    for (const TitleRect& r : *dragRects)
        if (fx >= r.left && fx < r.right && fy >= r.top && fy < r.bottom) return WindowHit::Caption;
    return WindowHit::Client;
}
