#include <gtest/gtest.h>

#include <cmath>

#include "ui/canvas_editor.h"
#include "ui/headless_gui.h"
#include "ui/panel_state.h"

namespace {

const ImVec2 kWide(1920, 1080), kTall(1080, 1920);

Layer rect(float x, float y, float w, float h) {
    Layer l = makeLayer(LayerKind::Color, "box");
    l.x = x, l.y = y, l.width = w, l.height = h;
    return l;
}

void expectRect(const Layer& l, float x, float y, float w, float h, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_NEAR(l.x, x, 0.01f);
    EXPECT_NEAR(l.y, y, 0.01f);
    EXPECT_NEAR(l.width, w, 0.01f);
    EXPECT_NEAR(l.height, h, 0.01f);
}

}  // namespace

TEST(CanvasGeometry, FitKeepsTheShapeCentredAboveTheHint) {
    struct Case {
        const char* what;
        ImVec2 pos, area, reference;
        float scale;
        ImVec2 min, size;
    } cases[] = {
        {"width-bound", {0, 0}, {1000, 700}, kWide, 1, {20, 66}, {960, 540}},
        {"very wide: height-bound, centred", {100, 50}, {3000, 700}, kWide, 1,
         {100 + (3000 - 632 * 16 / 9.f) / 2, 70}, {632 * 16 / 9.f, 632}},
        {"vertical canvas", {0, 0}, {600, 900}, kTall, 1, {300 - 832 * 9 / 32.f, 20}, {832 * 9 / 16.f, 832}},
        {"scaled margins", {0, 0}, {1000, 900}, kWide, 2, {40, (900 - 517.5f - 56) / 2}, {920, 517.5f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CanvasPlacement p = fitCanvas(c.pos, c.area, c.reference, c.scale);
        EXPECT_NEAR(p.min.x, c.min.x, 0.01f);
        EXPECT_NEAR(p.min.y, c.min.y, 0.01f);
        EXPECT_NEAR(p.size.x, c.size.x, 0.01f);
        EXPECT_NEAR(p.size.y, c.size.y, 0.01f);
        EXPECT_NEAR(p.size.x / p.size.y, c.reference.x / c.reference.y, 1e-4f);
        EXPECT_FLOAT_EQ(p.scale, p.size.x / c.reference.x);
    }
}

TEST(CanvasGeometry, HandlesStayOnTheCanvasAndTheLastInReachWins) {
    CanvasPlacement c;
    c.min = ImVec2(20, 66), c.size = ImVec2(960, 540), c.scale = 0.5f;
    // Sticks out on the left and the bottom: its handles sit on the canvas border.
    const auto pts = handlePoints(rect(-200, 700, 600, 600), c);
    const ImVec2 expected[] = {{20, 416}, {220, 416}, {220, 606}, {20, 606},
                               {70, 416}, {220, 566}, {70, 606}, {20, 566}};
    for (int i = 0; i < CanvasHandle::Count; ++i) {
        EXPECT_FLOAT_EQ(pts[size_t(i)].x, expected[i].x) << i;
        EXPECT_FLOAT_EQ(pts[size_t(i)].y, expected[i].y) << i;
    }
    // A 16-unit layer at this scale puts every handle within reach of its centre.
    const auto tiny = handlePoints(rect(100, 100, 16, 16), c);
    struct Probe {
        ImVec2 at;
        int handle;
    } probes[] = {
        {{74, 120}, CanvasHandle::Left},  // every handle within 10: the last one
        {{84, 112}, CanvasHandle::Right},  // top-left is out of reach
        {{120, 300}, -1},
    };
    for (const Probe& p : probes) EXPECT_EQ(handleAt(tiny, p.at, 10), p.handle);
    EXPECT_EQ(handleAt(pts, ImVec2(221, 417), 10), CanvasHandle::TopRight);
}

TEST(CanvasGeometry, ResizeKeepsTheAspectTheMinimumAndTheAnchor) {
    const Layer wide = rect(100, 100, 400, 300);  // 4:3
    struct Case {
        const char* what;
        Layer start;
        int handle;
        ImVec2 mouse;
        bool shift;
        float x, y, w, h;
    } cases[] = {
        {"corner grows the smaller side", wide, CanvasHandle::BottomRight, {600, 400}, false,
         100, 100, 500, 375},
        {"top-left stays on the far corner", wide, CanvasHandle::TopLeft, {0, 50}, false,
         0, 25, 500, 375},
        {"shift frees the ratio", wide, CanvasHandle::TopRight, {700, 300}, true, 100, 300, 600, 100},
        {"corner never below 16", wide, CanvasHandle::BottomLeft, {500, 100}, true, 484, 100, 16, 16},
        {"flat layer keeps no ratio", rect(100, 100, 400, 0), CanvasHandle::BottomRight,
         {300, 180}, false, 100, 100, 200, 80},
        {"unmeasured layer keeps no ratio", rect(100, 100, 0, 50), CanvasHandle::BottomRight,
         {300, 180}, false, 100, 100, 200, 80},
        {"left edge stops 16 before the right", wide, CanvasHandle::Left, {900, 5}, false,
         484, 100, 16, 300},
        {"top edge stops 16 above the bottom", wide, CanvasHandle::Top, {0, 700}, false,
         100, 384, 400, 16},
        {"right edge", wide, CanvasHandle::Right, {50, 999}, false, 100, 100, 16, 300},
        {"bottom edge", wide, CanvasHandle::Bottom, {0, 250}, false, 100, 100, 400, 150},
    };
    for (const Case& c : cases) {
        Layer l = c.start;
        resizeLayer(l, c.start, c.handle, c.mouse, c.shift);
        expectRect(l, c.x, c.y, c.w, c.h, c.what);
        EXPECT_TRUE(std::isfinite(l.width) && std::isfinite(l.height)) << c.what;
    }
}

TEST(CanvasGeometry, SnappingTriesEdgesBeforeTheCentreOnePerAxis) {
    struct Case {
        const char* what;
        Layer layer;
        ImVec2 canvas;
        float x, y;
        bool vertical;
        float gx;
        bool horizontal;
        float gy;
    } cases[] = {
        {"centre line", rect(755, 300, 400, 200), kWide, 760, 300, true, 960, false, 0},
        {"left edge beats the centre", rect(5, 500, 1900, 70), kWide, 0, 505, true, 0, true, 540},
        {"right and bottom edges", rect(1500, 870, 411, 200), kWide, 1509, 880, true, 1920, true, 1080},
        {"12 away does not snap", rect(12, 1012, 100, 100), kTall, 12, 1012, false, 0, false, 0},
        {"vertical canvas centre", rect(300, 700, 490, 100), kTall, 295, 700, true, 540, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Layer l = c.layer;
        const SnapGuides g = snapLayerToGuides(l, c.canvas.x, c.canvas.y);
        EXPECT_FLOAT_EQ(l.x, c.x);
        EXPECT_FLOAT_EQ(l.y, c.y);
        EXPECT_EQ(g.vertical, c.vertical);
        EXPECT_EQ(g.horizontal, c.horizontal);
        if (g.vertical) {
            EXPECT_FLOAT_EQ(g.guideX, c.gx);
        }
        if (g.horizontal) {
            EXPECT_FLOAT_EQ(g.guideY, c.gy);
        }
        EXPECT_FLOAT_EQ(l.width, c.layer.width);
    }
}

// The editor on a 1000 x 700 area: canvas at (20, 66), half a pixel per unit.
TEST(CanvasEditor, MouseSelectsMovesResizesAndRespectsLocks) {
    HeadlessGui gui;
    Scene scene;
    scene.layers = {rect(200, 200, 400, 300), rect(1000, 600, 400, 200)};
    scene.layers[1].locked = true;
    CanvasView view;
    int selected = -1;
    bool clicked = false;
    ImGuiMouseCursor cursor = ImGuiMouseCursor_Arrow;
    auto body = [&] {
        clicked = view.edit(scene, selected, ImTextureID_Invalid, ImVec2(0, 0), ImVec2(1000, 700),
                            kWide, nullptr);
        cursor = ImGui::GetMouseCursor();
    };
    auto screen = [](float x, float y) { return ImVec2(20 + x * 0.5f, 66 + y * 0.5f); };
    auto drag = [&](ImVec2 from, ImVec2 to) {
        gui.mouseTo(from);
        gui.frame(body);
        gui.mouseDown();
        gui.frame(body);
        EXPECT_TRUE(clicked);
        gui.mouseTo(to);
        gui.frame(body);
        gui.mouseUp();
        gui.frame(body);
    };

    // A press that does not move selects without moving, even within snapping reach.
    scene.layers[0].x = 5;
    gui.clickAt(screen(300, 300), body, false);
    EXPECT_EQ(selected, 0);
    EXPECT_FLOAT_EQ(scene.layers[0].x, 5);
    scene.layers[0].x = 200;

    drag(screen(400, 350), ImVec2(screen(400, 350).x + 277.5f, screen(400, 350).y));
    expectRect(scene.layers[0], 760, 200, 400, 300, "moved onto the centre line");
    EXPECT_EQ(view.dragMode, 0);

    // The bottom-right handle: 50 px right is 100 units wider, the height follows.
    const ImVec2 corner = screen(1160, 500);
    gui.mouseTo(corner);
    gui.frame(body);
    EXPECT_EQ(cursor, ImGuiMouseCursor_ResizeNWSE);
    drag(corner, ImVec2(corner.x + 50, corner.y));
    expectRect(scene.layers[0], 760, 200, 500, 375, "corner resize");

    // A locked layer can be selected but neither moved nor resized.
    drag(screen(1200, 700), screen(1400, 900));
    EXPECT_EQ(selected, 1);
    expectRect(scene.layers[1], 1000, 600, 400, 200, "locked");

    gui.clickAt(screen(1800, 100), body, false);
    EXPECT_EQ(selected, -1);

    // A stale selection (the layer was deleted meanwhile) is neither drawn nor dragged.
    selected = 7;
    gui.clickAt(screen(1000, 300), body, false);
    EXPECT_EQ(selected, 0);
}
