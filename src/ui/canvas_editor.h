#pragma once
// Geometry of the canvas editor: where a canvas sits in its area, where the
// selection handles are, and how moving and resizing change a layer. Screen
// values are pixels; layer values are canvas design units.

#include <array>

#include "imgui.h"
#include "project/project.h"

// Handle numbers, in the order they are tested and drawn.
namespace CanvasHandle {
enum : int {
    TopLeft = 0,
    TopRight = 1,
    BottomRight = 2,
    BottomLeft = 3,
    Top = 4,
    Right = 5,
    Bottom = 6,
    Left = 7,
};
constexpr int Count = 8;
}  // namespace CanvasHandle

// No layer is narrower or lower than this after a resize.
constexpr float kMinLayerSize = 16.0f;
// A dragged edge or centre closer than this to a guide snaps onto it.
constexpr float kSnapDistance = 12.0f;

// A canvas placed on screen: top-left corner, size and pixels per canvas unit.
struct CanvasPlacement {
    ImVec2 min{0, 0};
    ImVec2 size{0, 0};
    float scale = 0;

    ImVec2 max() const { return ImVec2(min.x + size.x, min.y + size.y); }
    ImVec2 toScreen(float x, float y) const { return ImVec2(min.x + x * scale, min.y + y * scale); }
    ImVec2 toCanvas(ImVec2 p) const { return ImVec2((p.x - min.x) / scale, (p.y - min.y) / scale); }
};

// Fits a canvas of the reference size into an area, keeping its shape, with a
// margin round it and room for the hint line below. `uiScale` scales the margins.
CanvasPlacement fitCanvas(ImVec2 pos, ImVec2 area, ImVec2 reference, float uiScale);

// The eight handle points of the layer's primary rectangle, each clamped to the canvas.
std::array<ImVec2, CanvasHandle::Count> handlePoints(const Layer& layer,
                                                      const CanvasPlacement& canvas);

// The last handle within `radius` of the point, or -1.
int handleAt(const std::array<ImVec2, CanvasHandle::Count>& points, ImVec2 point, float radius);

// Resizes `layer` by dragging `handle` of the rectangle it had at the start of
// the drag to the canvas point `mouse`. Corners keep the start's aspect ratio
// unless `freeAspect`.
void resizeLayer(Layer& layer, const Layer& start, int handle, ImVec2 mouse, bool freeAspect);

// Which guides a layer snapped to, in canvas units.
struct SnapGuides {
    bool vertical = false;    // a vertical guide line at x = guideX
    float guideX = 0;
    bool horizontal = false;  // a horizontal guide line at y = guideY
    float guideY = 0;
};

// Moves the layer so that its nearest edge or centre lies on the canvas's
// edge or centre line when it is within kSnapDistance; at most one guide per axis.
SnapGuides snapLayerToGuides(Layer& layer, float canvasWidth, float canvasHeight);

// The mouse cursor shown over (or while dragging) a handle.
ImGuiMouseCursor handleCursor(int handle);
