#include "ui/canvas_editor.h"

#include <algorithm>
#include <cassert>
#include <cfloat>
#include <cmath>

#include "ui/panel_state.h"
#include "ui/style.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

// Design pixels of the editor's look.
constexpr float kMargin = 20.0f;
constexpr float kHintHeight = 28.0f;
constexpr float kHintGap = 12.0f;
constexpr float kCanvasRadius = 10.0f;
constexpr float kHandleReach = 10.0f;
constexpr float kSelectionClip = 8.0f;
constexpr float kBadgeOffset = 3.0f;
constexpr float kBadgeInset = 14.0f;

const char* const kSelectHint = "Click a layer in the preview to select it";
const char* const kDragHint =
    "Drag to move  \xC2\xB7  corners resize (Shift: free)  \xC2\xB7  sides stretch one edge  "
    "\xC2\xB7  arrows nudge";

ImFont* fontOr(ImFont* f) { return f ? f : ImGui::GetFont(); }

// The offset that moves the first of the values within reach onto the first guide
// within reach, tried in order; false when none is.
bool snapOffset(const float (&values)[3], float extent, float& offset, float& guide) {
    const float guides[3] = {0.0f, extent * 0.5f, extent};
    for (float v : values)
        for (float g : guides)
            if (std::fabs(g - v) < kSnapDistance) {
                offset = g - v;
                guide = g;
                return true;
            }
    return false;
}

void drawHandle(ImDrawList* dl, ImVec2 at, ImVec2 half, float s, ImU32 accent) {
    const float r = 5.0f * s;
    dl->AddRectFilled(ImVec2(at.x - half.x, at.y - half.y + 0.5f * s),
                      ImVec2(at.x + half.x + 0.5f * s, at.y + half.y + s), IM_COL32(0, 0, 0, 40), r);
    const ImVec2 a(at.x - half.x, at.y - half.y), b(at.x + half.x, at.y + half.y);
    dl->AddRectFilled(a, b, IM_COL32_WHITE, r);
    dl->AddRect(a, b, accent, r, 0, 1.5f * s);
}

void drawSelection(ImDrawList* dl, const CanvasPlacement& c, const Layer& layer, float s) {
    const ThemePalette& p = palette();
    const float grow = kSelectionClip * s;
    dl->PushClipRect(ImVec2(c.min.x - grow, c.min.y - grow),
                     ImVec2(c.max().x + grow, c.max().y + grow), true);
    const ImVec2 a = c.toScreen(layer.x, layer.y);
    const ImVec2 b = c.toScreen(layer.x + layer.width, layer.y + layer.height);
    dl->AddRect(a, b, p.accent, std::min(c.scale * layer.cornerRadius, kCanvasRadius * s), 0,
                1.5f * s);
    const auto points = handlePoints(layer, c);
    const ImVec2 corner(5.0f * s, 5.0f * s), across(8.0f * s, 3.0f * s), down(3.0f * s, 8.0f * s);
    for (int i = 0; i < CanvasHandle::Count; ++i) {
        const bool isCorner = i < CanvasHandle::Top;
        const bool isSide = i == CanvasHandle::Left || i == CanvasHandle::Right;
        drawHandle(dl, points[size_t(i)], isCorner ? corner : (isSide ? down : across), s, p.accent);
    }
    dl->PopClipRect();
}

void drawGuides(ImDrawList* dl, const CanvasPlacement& c, const SnapGuides& g, float s) {
    const ImU32 colour = palette().warning;
    if (g.vertical) {
        const float x = c.min.x + g.guideX * c.scale;
        dl->AddLine(ImVec2(x, c.min.y), ImVec2(x, c.max().y), colour, s);
    }
    if (g.horizontal) {
        const float y = c.min.y + g.guideY * c.scale;
        dl->AddLine(ImVec2(c.min.x, y), ImVec2(c.max().x, y), colour, s);
    }
}

}  // namespace

CanvasPlacement fitCanvas(ImVec2 pos, ImVec2 area, ImVec2 reference, float uiScale) {
    assert(reference.x > 0 && reference.y > 0);
    const float margin = kMargin * uiScale, hint = kHintHeight * uiScale;
    float d = area.x - 2 * margin;
    float e = d * reference.y / reference.x;
    if (e > area.y - 2 * margin - hint) {
        e = area.y - 2 * margin - hint;
        d = e * reference.x / reference.y;
    }
    // A collapsed area still gives a canvas the mouse can be mapped onto.
    if (d < 1.0f || e < 1.0f) {
        d = std::max(d, 1.0f);
        e = d * reference.y / reference.x;
    }
    CanvasPlacement c;
    c.min = ImVec2(pos.x + (area.x - d) * 0.5f, pos.y + (area.y - e - hint) * 0.5f);
    c.size = ImVec2(d, e);
    c.scale = d / reference.x;
    return c;
}

std::array<ImVec2, CanvasHandle::Count> handlePoints(const Layer& layer,
                                                      const CanvasPlacement& c) {
    const ImVec2 lo = c.min, hi = c.max();
    auto cx = [&](float v) { return std::clamp(v, lo.x, hi.x); };
    auto cy = [&](float v) { return std::clamp(v, lo.y, hi.y); };
    const ImVec2 a = c.toScreen(layer.x, layer.y);
    const ImVec2 b = c.toScreen(layer.x + layer.width, layer.y + layer.height);
    const float l = cx(a.x), t = cy(a.y), r = cx(b.x), bt = cy(b.y);
    const float mx = cx((a.x + b.x) * 0.5f), my = cy((a.y + b.y) * 0.5f);
    return {ImVec2(l, t), ImVec2(r, t),  ImVec2(r, bt), ImVec2(l, bt),
            ImVec2(mx, t), ImVec2(r, my), ImVec2(mx, bt), ImVec2(l, my)};
}

int handleAt(const std::array<ImVec2, CanvasHandle::Count>& points, ImVec2 point, float radius) {
    int found = -1;
    for (int i = 0; i < CanvasHandle::Count; ++i) {
        const float dx = point.x - points[size_t(i)].x, dy = point.y - points[size_t(i)].y;
        if (dx * dx + dy * dy <= radius * radius) found = i;
    }
    return found;
}

void resizeLayer(Layer& layer, const Layer& start, int handle, ImVec2 mouse, bool freeAspect) {
    const float right = start.x + start.width, bottom = start.y + start.height;
    switch (handle) {
    case CanvasHandle::Top:
        layer.y = std::min(mouse.y, bottom - kMinLayerSize);
        layer.height = bottom - layer.y;
        return;
    case CanvasHandle::Bottom:
        layer.height = std::max(kMinLayerSize, mouse.y - start.y);
        return;
    case CanvasHandle::Left:
        layer.x = std::min(mouse.x, right - kMinLayerSize);
        layer.width = right - layer.x;
        return;
    case CanvasHandle::Right:
        layer.width = std::max(kMinLayerSize, mouse.x - start.x);
        return;
    default:
        break;
    }
    assert(handle >= CanvasHandle::TopLeft && handle <= CanvasHandle::BottomLeft);
    const bool left = handle == CanvasHandle::TopLeft || handle == CanvasHandle::BottomLeft;
    const bool top = handle == CanvasHandle::TopLeft || handle == CanvasHandle::TopRight;
    const float ax = left ? right : start.x, ay = top ? bottom : start.y;
    float w = std::max(kMinLayerSize, std::fabs(mouse.x - ax));
    float h = std::max(kMinLayerSize, std::fabs(mouse.y - ay));
    // An unmeasured or flat layer has no ratio to keep.
    if (!freeAspect && start.width > 0 && start.height > 0) {
        const float aspect = start.width / start.height;
        if (w / h > aspect)
            h = w / aspect;
        else
            w = aspect * h;
    }
    layer.x = left ? ax - w : ax;
    layer.y = top ? ay - h : ay;
    layer.width = w;
    layer.height = h;
}

SnapGuides snapLayerToGuides(Layer& layer, float canvasWidth, float canvasHeight) {
    SnapGuides g;
    float offset = 0;
    const float xs[3] = {layer.x, layer.x + layer.width * 0.5f, layer.x + layer.width};
    if ((g.vertical = snapOffset(xs, canvasWidth, offset, g.guideX))) layer.x += offset;
    const float ys[3] = {layer.y, layer.y + layer.height * 0.5f, layer.y + layer.height};
    if ((g.horizontal = snapOffset(ys, canvasHeight, offset, g.guideY))) layer.y += offset;
    return g;
}

ImGuiMouseCursor handleCursor(int handle) {
    switch (handle) {
    case CanvasHandle::TopLeft:
    case CanvasHandle::BottomRight:
        return ImGuiMouseCursor_ResizeNWSE;
    case CanvasHandle::TopRight:
    case CanvasHandle::BottomLeft:
        return ImGuiMouseCursor_ResizeNESW;
    case CanvasHandle::Top:
    case CanvasHandle::Bottom:
        return ImGuiMouseCursor_ResizeNS;
    default:
        return ImGuiMouseCursor_ResizeEW;
    }
}

bool CanvasView::edit(Scene& scene, int& selectedLayer, ImTextureID texture, ImVec2 pos,
                      ImVec2 size, ImVec2 referenceSize, const char* caption) {
    const float s = uiScale();
    const ThemePalette& p = palette();
    const CanvasPlacement c = fitCanvas(pos, size, referenceSize, s);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const float radius = kCanvasRadius * s;

    drawSoftShadow(dl, c.min, c.max(), radius, 16.0f * s, 1.3f);
    if (texture != ImTextureID_Invalid)
        dl->AddImageRounded(texture, c.min, c.max(), ImVec2(0, 0), ImVec2(1, 1), IM_COL32_WHITE,
                            radius);
    else
        dl->AddRectFilled(c.min, c.max(), p.frame, radius);
    dl->AddRect(c.min, c.max(), shadowColorWithAlpha(20), radius, 0, 1.0f);

    if (badgeColour != 0) {
        const float o = kBadgeOffset * s;
        dl->AddRect(ImVec2(c.min.x - o, c.min.y - o), ImVec2(c.max().x + o, c.max().y + o),
                    badgeColour, 13.0f * s, 0, 3.0f * s);
        ImFont* f = fontOr(uiFonts().semibold);
        const ImVec2 ts = f->CalcTextSizeA(f->LegacySize, FLT_MAX, 0.0f, badgeText.c_str());
        const ImVec2 a(c.min.x + kBadgeInset * s, c.min.y + kBadgeInset * s);
        const ImVec2 b(a.x + ts.x + 20.0f * s, a.y + ts.y + 10.0f * s);
        dl->AddRectFilled(a, b, badgeColour, (b.y - a.y) * 0.5f);
        dl->AddText(f, f->LegacySize, ImVec2(a.x + 10.0f * s, a.y + 5.0f * s), IM_COL32_WHITE,
                    badgeText.c_str());
    }

    auto valid = [&](int i) { return i >= 0 && i < int(scene.layers.size()); };
    ImGui::SetCursorScreenPos(c.min);
    ImGui::InvisibleButton("##canvas", c.size);
    const bool hovered = ImGui::IsItemHovered();
    const bool clicked = ImGui::IsItemClicked(ImGuiMouseButton_Left);
    const ImVec2 mouse = ImGui::GetIO().MousePos;
    const float reach = kHandleReach * s;
    if (clicked) {
        dragMode = 0;
        if (valid(selectedLayer)) {
            const int hit = handleAt(handlePoints(scene.layers[size_t(selectedLayer)], c), mouse, reach);
            if (hit >= 0) {
                handle = hit;
                dragMode = 2;
            }
        }
        if (dragMode == 0) {
            const ImVec2 m = c.toCanvas(mouse);
            selectedLayer = scene.layerAt(m.x, m.y);
            if (selectedLayer >= 0) dragMode = 1;
        }
        if (valid(selectedLayer)) {
            dragStart = mouse;
            dragMoved = false;
            startLayer = scene.layers[size_t(selectedLayer)];
            if (startLayer.locked) dragMode = 0;
        }
    }
    if (!ImGui::IsMouseDown(ImGuiMouseButton_Left)) dragMode = 0;

    // A press that has not moved yet leaves the layer where it is, so selecting never snaps;
    // once it has, the mouse back on the press point puts the layer back where it started.
    SnapGuides guides;
    if (dragMode != 0 && (mouse.x != dragStart.x || mouse.y != dragStart.y)) dragMoved = true;
    if (dragMode != 0 && valid(selectedLayer) && dragMoved) {
        Layer& layer = scene.layers[size_t(selectedLayer)];
        if (dragMode == 1) {
            layer.x = startLayer.x + (mouse.x - dragStart.x) / c.scale;
            layer.y = startLayer.y + (mouse.y - dragStart.y) / c.scale;
            guides = snapLayerToGuides(layer, referenceSize.x, referenceSize.y);
        } else {
            resizeLayer(layer, startLayer, handle, c.toCanvas(mouse), ImGui::GetIO().KeyShift);
        }
    }
    drawGuides(dl, c, guides, s);

    const bool selected = valid(selectedLayer);
    if (selected) drawSelection(dl, c, scene.layers[size_t(selectedLayer)], s);

    if (dragMode == 2) {
        ImGui::SetMouseCursor(handleCursor(handle));
    } else if (hovered && selected) {
        const int over = handleAt(handlePoints(scene.layers[size_t(selectedLayer)], c), mouse, reach);
        if (over >= 0) ImGui::SetMouseCursor(handleCursor(over));
    }

    const char* hint = caption ? caption : (selected ? kDragHint : kSelectHint);
    ImFont* f = fontOr(uiFonts().small);
    const ImVec2 ts = f->CalcTextSizeA(f->LegacySize, FLT_MAX, 0.0f, hint);
    dl->AddText(f, f->LegacySize,
                ImVec2(std::floor(c.min.x + (c.size.x - ts.x) * 0.5f),
                       std::floor(c.max().y + kHintGap * s)),
                p.textSecondary, hint);
    return clicked;
}
