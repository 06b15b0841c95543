#pragma once
// The one status notice at the bottom of the studio window.

#include <functional>
#include <string>

#include "imgui.h"

struct ToastBox {
    ImVec2 min, max;  // the pill
    ImVec2 textPos;
};

// Box of a notice whose text measures tw x th, anchored at (x, y), at UI scale s.
ToastBox toastBox(float tw, float th, float x, float y, float s);
// Opacity at GUI time now: full until the last half second, then a linear fade.
float toastAlpha(double expiresAt, double now);

struct Toast {
    std::string text;
    std::wstring folder;  // file shown in the explorer on click; empty = not clickable
    double expiresAt = 0;

    double show(const std::string& message, const std::wstring& path = {});
    void draw(float x, float y);

    // Opens the file explorer on a file; replaced by tests.
    static std::function<void(const std::wstring&)> openInExplorer;
};
