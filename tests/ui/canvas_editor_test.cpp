#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

#include "ui/canvas_editor.h"
#include "ui/headless_gui.h"
#include "ui/panel_state.h"

namespace {

const ImVec2 kWide(1920, 1080), kTall(1080, 1920);

Layer box(float x, float y, float w, float h) {
    Layer l = makeLayer(LayerKind::Color, "box");
    l.x = x, l.y = y, l.width = w, l.height = h;
    return l;
}
bool near(ImVec2 a, ImVec2 b) { return std::fabs(a.x - b.x) < 0.01f && std::fabs(a.y - b.y) < 0.01f; }

#define EXPECT_BOX(l, X, Y, W, H)                                                       \
    EXPECT_TRUE(near(ImVec2((l).x, (l).y), ImVec2(X, Y)) &&                             \
                near(ImVec2((l).width, (l).height), ImVec2(W, H)))                      \
        << (l).x << "," << (l).y << " " << (l).width << "x" << (l).height

}  // namespace

TEST(CanvasGeometry, FitCentresTheCanvasAndHandlesStayOnItsBorder) {
    struct Case {
        ImVec2 area, reference;
        float scale;
        ImVec2 min, size;
    } cases[] = {
        {{1000, 700}, kWide, 1, {20, 66}, {960, 540}},
        {{3000, 700}, kWide, 1, {1500 - 316 * 16 / 9.f, 20}, {632 * 16 / 9.f, 632}},  // height-bound
        {{600, 900}, kTall, 1, {300 - 832 * 9 / 32.f, 20}, {832 * 9 / 16.f, 832}},
        {{1000, 900}, kWide, 2, {40, (900 - 517.5f - 56) / 2}, {920, 517.5f}},
    };
    for (const Case& c : cases) {
        const CanvasPlacement p = fitCanvas(ImVec2(0, 0), c.area, c.reference, c.scale);
        EXPECT_TRUE(near(p.min, c.min) && near(p.size, c.size)) << c.area.x << " " << p.min.x;
        EXPECT_FLOAT_EQ(p.scale, c.size.x / c.reference.x);
    }
    // A layer sticking out left and below: its handles sit on the canvas border.
    const CanvasPlacement c = fitCanvas(ImVec2(0, 0), ImVec2(1000, 700), kWide, 1);
    const auto pts = handlePoints(box(-200, 700, 600, 600), c);
    const ImVec2 expected[] = {{20, 416}, {220, 416}, {220, 606}, {20, 606},
                               {70, 416}, {220, 566}, {70, 606},  {20, 566}};
    for (int i = 0; i < CanvasHandle::Count; ++i) EXPECT_TRUE(near(pts[size_t(i)], expected[i])) << i;
    // On a 16-unit layer every handle is within reach of the centre: the last one wins.
    const auto tiny = handlePoints(box(100, 100, 16, 16), c);
    EXPECT_EQ(handleAt(tiny, ImVec2(74, 120), 10), CanvasHandle::Left);
    EXPECT_EQ(handleAt(tiny, ImVec2(84, 112), 10), CanvasHandle::Right);
    EXPECT_EQ(handleAt(tiny, ImVec2(120, 300), 10), -1);
}

TEST(CanvasGeometry, ResizeKeepsAspectMinimumAndAnchorAndSnappingTriesEdgesFirst) {
    const Layer wide = box(100, 100, 400, 300);  // 4:3
    struct Resize {
        Layer start;
        int handle;
        ImVec2 mouse;
        bool shift;
        float x, y, w, h;
    } resizes[] = {
        {wide, CanvasHandle::BottomRight, {600, 400}, false, 100, 100, 500, 375},
        {wide, CanvasHandle::TopLeft, {0, 50}, false, 0, 25, 500, 375},
        {wide, CanvasHandle::TopRight, {700, 300}, true, 100, 300, 600, 100},
        {wide, CanvasHandle::BottomLeft, {500, 100}, true, 484, 100, 16, 16},
        // Flat or unmeasured layers have no ratio to keep (no infinity reaches the file).
        {box(100, 100, 400, 0), CanvasHandle::BottomRight, {300, 180}, false, 100, 100, 200, 80},
        {box(100, 100, 0, 50), CanvasHandle::BottomRight, {300, 180}, false, 100, 100, 200, 80},
        {wide, CanvasHandle::Left, {900, 5}, false, 484, 100, 16, 300},
        {wide, CanvasHandle::Top, {0, 700}, false, 100, 384, 400, 16},
        {wide, CanvasHandle::Right, {50, 999}, false, 100, 100, 16, 300},
        {wide, CanvasHandle::Bottom, {0, 250}, false, 100, 100, 400, 150},
    };
    for (const Resize& r : resizes) {
        Layer l = r.start;
        resizeLayer(l, r.start, r.handle, r.mouse, r.shift);
        EXPECT_BOX(l, r.x, r.y, r.w, r.h);
    }

    struct Snap {
        Layer layer;
        ImVec2 canvas;
        float x, y, guideX, guideY;  // -1: no guide on that axis
    } snaps[] = {
        {box(755, 300, 400, 200), kWide, 760, 300, 960, -1},
        {box(5, 500, 1900, 70), kWide, 0, 505, 0, 540},  // the left edge beats the centre
        {box(1500, 870, 411, 200), kWide, 1509, 880, 1920, 1080},
        {box(12, 1012, 100, 100), kTall, 12, 1012, -1, -1},  // 12 away does not snap
        {box(300, 700, 490, 100), kTall, 295, 700, 540, -1},
    };
    for (const Snap& s : snaps) {
        Layer l = s.layer;
        const SnapGuides g = snapLayerToGuides(l, s.canvas.x, s.canvas.y);
        EXPECT_BOX(l, s.x, s.y, s.layer.width, s.layer.height);
        EXPECT_EQ(g.vertical ? g.guideX : -1, s.guideX);
        EXPECT_EQ(g.horizontal ? g.guideY : -1, s.guideY);
    }
}

// The editor on a 1000 x 700 area: canvas at (20, 66), half a pixel per unit.
TEST(CanvasEditor, MouseSelectsMovesResizesAndRespectsLocks) {
    HeadlessGui gui;
    Scene scene;
    scene.layers = {box(5, 200, 400, 300), box(1000, 600, 400, 200)};
    scene.layers[1].locked = true;
    CanvasView view;
    int selected = -1;
    bool clicked = false;
    auto body = [&] {
        clicked = view.edit(scene, selected, ImTextureID_Invalid, ImVec2(0, 0), ImVec2(1000, 700),
                            kWide, nullptr);
    };
    auto at = [](float x, float y) { return ImVec2(20 + x * 0.5f, 66 + y * 0.5f); };
    // Presses at `from`, moves through `path` a frame a point and lets go.
    auto drag = [&](ImVec2 from, std::initializer_list<ImVec2> path) {
        gui.mouseTo(from);
        gui.frame(body);
        gui.mouseDown();
        gui.frame(body);
        EXPECT_TRUE(clicked);
        for (ImVec2 p : path) {
            gui.mouseTo(p);
            gui.frame(body);
        }
        gui.mouseUp();
        gui.frame(body);
    };

    // A press that does not move selects without moving, even within snapping reach.
    gui.clickAt(at(300, 300), body, false);
    EXPECT_EQ(selected, 0);
    EXPECT_BOX(scene.layers[0], 5, 200, 400, 300);
    drag(at(300, 350), {at(1050, 350)});  // +750 units, then onto the centre line
    EXPECT_BOX(scene.layers[0], 760, 200, 400, 300);
    // The bottom-right handle: 50 px right is 100 units wider, the height follows.
    drag(at(1160, 500), {at(1260, 500)});
    EXPECT_BOX(scene.layers[0], 760, 200, 500, 375);
    // Dragged away and back onto the press point: where it started, not where it last was.
    drag(at(1000, 400), {at(1400, 400), at(1000, 400)});
    EXPECT_BOX(scene.layers[0], 760, 200, 500, 375);

    drag(at(1200, 700), {at(1400, 900)});  // locked: selected, not moved
    EXPECT_EQ(selected, 1);
    EXPECT_BOX(scene.layers[1], 1000, 600, 400, 200);
    gui.clickAt(at(1800, 100), body, false);
    EXPECT_EQ(selected, -1);

    selected = 7;  // a layer deleted meanwhile: nothing is drawn or dragged for it
    gui.clickAt(at(1000, 300), body, false);
    EXPECT_EQ(selected, 0);
}
