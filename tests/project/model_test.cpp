#include <gtest/gtest.h>

#include "project/project.h"

namespace {

void expectRect(const LayerRect& r, float x, float y, float w, float h, bool visible = true) {
    EXPECT_FLOAT_EQ(r.x, x);
    EXPECT_FLOAT_EQ(r.y, y);
    EXPECT_FLOAT_EQ(r.width, w);
    EXPECT_FLOAT_EQ(r.height, h);
    EXPECT_EQ(r.visible, visible);
}

Layer layerAt(float x, float y, float w, float h, const char* name = "") {
    Layer l;
    l.name = name;
    l.x = x;
    l.y = y;
    l.width = w;
    l.height = h;
    return l;
}

TEST(MakeLayer, PerKindDefaultsAndVerticalRects) {
    const Layer color = makeLayer(LayerKind::Color, "Bg");
    EXPECT_EQ(color.name, "Bg");
    expectRect(color.primaryRect(), 0, 0, 1920, 1080);
    expectRect(color.secondRect(), 0, 0, 1080, 1920);

    const Layer text = makeLayer(LayerKind::Text, "T");
    EXPECT_EQ(text.text, "Your text");
    EXPECT_FLOAT_EQ(text.fontSize, 96.0f);
    EXPECT_EQ(text.colour, (std::array<float, 4>{1, 1, 1, 1}));
    expectRect(text.primaryRect(), 960, 540, 0, 0);
    expectRect(text.secondRect(), 540, 960, 0, 0);

    const Layer image = makeLayer(LayerKind::Image, "I");
    EXPECT_EQ(image.scaling, ScalingMode::Fit);
    expectRect(image.secondRect(), 0, 0, 1080, 1920);

    const Layer screen = makeLayer(LayerKind::Screen, "S");
    EXPECT_EQ(screen.scaling, ScalingMode::Fit);
    expectRect(screen.secondRect(), 0, 656.25f, 1080, 607.5f);
    const Layer game = makeLayer(LayerKind::GameOrApp, "G");
    EXPECT_EQ(game.scaling, ScalingMode::Fit);
    expectRect(game.secondRect(), 0, 656.25f, 1080, 607.5f);

    const Layer camera = makeLayer(LayerKind::Camera, "C");
    expectRect(camera.primaryRect(), 1392, 762, 480, 270);
    EXPECT_FLOAT_EQ(camera.cornerRadius, 28.0f);
    EXPECT_EQ(camera.scaling, ScalingMode::Fill);
    expectRect(camera.secondRect(), 48, 1136.1f, 984, 553.5f);

    // The chat's mapped left edge is negative and is clamped to 0.
    const Layer chat = makeLayer(LayerKind::Chat, "Chat");
    EXPECT_EQ(chat.text, "");
    EXPECT_FLOAT_EQ(chat.fontSize, 30.0f);
    expectRect(chat.primaryRect(), 40, 120, 520, 560);
    expectRect(chat.secondRect(), 0, 431.11111f, 520, 560);

    const Layer counter = makeLayer(LayerKind::LiveCounter, "N");
    EXPECT_EQ(counter.text, "{viewers} watching");
    EXPECT_FLOAT_EQ(counter.fontSize, 40.0f);
    EXPECT_EQ(counter.colour, (std::array<float, 4>{1, 1, 1, 1}));
    expectRect(counter.primaryRect(), 40, 40, 420, 64);
    expectRect(counter.secondRect(), 0, 96, 420, 64);
}

TEST(MakeLayer, TextLayer) {
    const Layer t = makeTextLayer("Title", "Hello", 140, 960, 540);
    EXPECT_EQ(t.kind, LayerKind::Text);
    EXPECT_EQ(t.name, "Title");
    EXPECT_EQ(t.text, "Hello");
    EXPECT_FLOAT_EQ(t.fontSize, 140.0f);
    EXPECT_EQ(t.colour, (std::array<float, 4>{1, 1, 1, 1}));
    expectRect(t.primaryRect(), 960, 540, 0, 0);
    expectRect(t.secondRect(), 540, 960, 0, 0);
    // Only the vertical position of the centre carries over.
    expectRect(Layer::verticalRectFrom(makeTextLayer("a", "b", 10, 100, 270)), 540, 480, 0, 0);
}

TEST(VerticalRect, Rules) {
    // Wider than the vertical canvas: scaled by 1080 / width on both axes,
    // the centre mapped and the edge clamped.
    expectRect(Layer::verticalRectFrom(layerAt(100, 100, 1500, 500)), 0, 442.22223f, 1080, 360);
    // Narrow layer in the right half: keeps its size, clamped to the right edge.
    expectRect(Layer::verticalRectFrom(layerAt(1800, 0, 200, 100)), 880, 38.888889f, 200, 100);
    // Below the bottom: clamped to the bottom edge.
    expectRect(Layer::verticalRectFrom(layerAt(0, 1070, 100, 200)), 0, 1720, 100, 200);
    // Covering more than the whole canvas counts as full canvas.
    expectRect(Layer::verticalRectFrom(layerAt(-10, -10, 2000, 1200)), 0, 0, 1080, 1920);
    Layer wideScreen = layerAt(0, 0, 3840, 1080);
    wideScreen.kind = LayerKind::Screen;
    expectRect(Layer::verticalRectFrom(wideScreen), 0, 808.125f, 1080, 303.75f);
    // A camera that is not full canvas goes full width above the bottom.
    Layer cam = layerAt(0, 0, 640, 480);
    cam.kind = LayerKind::Camera;
    expectRect(Layer::verticalRectFrom(cam), 48, 951.6f, 984, 738);
    // Visibility carries over.
    Layer hidden = layerAt(0, 0, 100, 100);
    hidden.visible = false;
    EXPECT_FALSE(Layer::verticalRectFrom(hidden).visible);
}

TEST(DefaultProject, Contents) {
    const Project p = makeDefaultProject();
    ASSERT_EQ(p.scenes.size(), 3u);
    EXPECT_TRUE(p.destinations.empty());
    EXPECT_TRUE(p.savedLayouts.empty());
    EXPECT_EQ(p.activeScene, 0);

    const Scene& main = p.scenes[0];
    EXPECT_EQ(main.name, "Main");
    EXPECT_EQ(main.layoutPreset, -1);
    ASSERT_EQ(main.layers.size(), 2u);
    EXPECT_EQ(main.layers[0], makeLayer(LayerKind::Color, "Background"));
    EXPECT_EQ(main.layers[1], makeTextLayer("Title", "Quillhaven", 140, 960, 540));

    const Scene& sc = p.scenes[1];
    EXPECT_EQ(sc.name, "Screen + Camera");
    EXPECT_EQ(sc.layoutPreset, -1);
    ASSERT_EQ(sc.layers.size(), 2u);
    EXPECT_EQ(sc.layers[0], makeLayer(LayerKind::Screen, "Screen"));
    EXPECT_EQ(sc.layers[1], makeLayer(LayerKind::Camera, "Camera"));

    const Scene& brb = p.scenes[2];
    EXPECT_EQ(brb.name, "Be right back");
    EXPECT_EQ(brb.layoutPreset, -1);
    ASSERT_EQ(brb.layers.size(), 2u);
    EXPECT_EQ(brb.layers[0].name, "Background");
    EXPECT_EQ(brb.layers[0].colour, (std::array<float, 4>{0.0f, 0.27f, 0.55f, 1.0f}));
    EXPECT_EQ(brb.layers[1], makeTextLayer("Message", "Be right back", 110, 960, 540));

    EXPECT_EQ(p.prompterText.size(), 228u);
    EXPECT_EQ(p.prompterText.rfind("Welcome to Quillhaven.\n\nWrite your script", 0), 0u);
    EXPECT_NE(p.prompterText.find("\n\nHotkeys: 1-9 switch scenes, Ctrl+R records"), std::string::npos);

    // Everything else is a plain Project().
    Project rest = p;
    rest.scenes.clear();
    rest.prompterText.clear();
    EXPECT_EQ(rest, Project());
}

// ---- scene and layer operations ---------------------------------------------

Scene threeLayers() {
    Scene s;
    s.layers = {layerAt(0, 0, 100, 100, "a"), layerAt(50, 50, 100, 100, "b"),
                layerAt(500, 500, 10, 10, "c")};
    s.layers[0].verticalX = 7;
    return s;
}

TEST(SceneOps, DuplicateLayer) {
    Scene s = threeLayers();
    EXPECT_EQ(s.duplicateLayer(0), 3);
    ASSERT_EQ(s.layers.size(), 4u);
    const Layer& copy = s.layers[3];
    EXPECT_EQ(copy.name, "a copy");
    expectRect(copy.primaryRect(), 24, 24, 100, 100);
    EXPECT_EQ(copy.secondRect(), s.layers[0].secondRect());  // second rectangle unchanged
    EXPECT_EQ(s.layers[0], threeLayers().layers[0]);

    for (int bad : {-1, 5, 4}) {
        Scene t = threeLayers();
        EXPECT_EQ(t.duplicateLayer(bad), bad);
        EXPECT_EQ(t, threeLayers());
    }
}

TEST(SceneOps, MoveLayer) {
    Scene s = threeLayers();
    EXPECT_EQ(Scene::moveLayer(s.layers, 2, +1), 2);  // already on top
    EXPECT_EQ(s, threeLayers());
    EXPECT_EQ(Scene::moveLayer(s.layers, 2, -1), 1);
    EXPECT_EQ(s.layers[1].name, "c");
    EXPECT_EQ(s.layers[2].name, "b");
    EXPECT_EQ(Scene::moveLayer(s.layers, 0, -1), 0);  // already at the bottom
    EXPECT_EQ(Scene::moveLayer(s.layers, -1, 1), -1);
    EXPECT_EQ(Scene::moveLayer(s.layers, 3, -1), 3);
    EXPECT_EQ(Scene::moveLayer(s.layers, 0, 2), 2);
    EXPECT_EQ(s.layers[2].name, "a");
    // Deltas that would overflow an int are out of range, not wrapped.
    EXPECT_EQ(Scene::moveLayer(s.layers, 2, 2147483647), 2);
    EXPECT_EQ(Scene::moveLayer(s.layers, 0, -2147483647 - 1), 0);
    std::vector<Layer> none;
    EXPECT_EQ(Scene::moveLayer(none, 0, 0), 0);
}

TEST(SceneOps, RemoveLayer) {
    Scene s = threeLayers();
    EXPECT_EQ(Scene::removeLayer(s.layers, 1), -1);
    ASSERT_EQ(s.layers.size(), 2u);
    EXPECT_EQ(s.layers[0].name, "a");
    EXPECT_EQ(s.layers[1].name, "c");
    EXPECT_EQ(Scene::removeLayer(s.layers, 2), -1);
    EXPECT_EQ(Scene::removeLayer(s.layers, -1), -1);
    EXPECT_EQ(s.layers.size(), 2u);
}

TEST(SceneOps, LayerAt) {
    Scene s = threeLayers();
    EXPECT_EQ(s.layerAt(75, 75), 1);  // inside a and b: the upper one
    EXPECT_EQ(s.layerAt(10, 10), 0);
    EXPECT_EQ(s.layerAt(0, 0), 0);      // left and top edges are inside
    EXPECT_EQ(s.layerAt(150, 75), -1);  // right edge of b is outside
    EXPECT_EQ(s.layerAt(75, 150), -1);  // bottom edge of b is outside
    EXPECT_EQ(s.layerAt(-1, 10), -1);
    s.layers[1].visible = false;  // a hidden layer on top is skipped
    EXPECT_EQ(s.layerAt(75, 75), 0);
    s.layers[0].locked = true;  // locked layers are still found
    EXPECT_EQ(s.layerAt(75, 75), 0);
    // Unmeasured text (zero size) is never hit.
    Scene t;
    t.layers.push_back(makeTextLayer("t", "x", 10, 100, 100));
    EXPECT_EQ(t.layerAt(100, 100), -1);
    EXPECT_EQ(Scene().layerAt(0, 0), -1);
}

TEST(SceneOps, SwapCanvasRects) {
    Scene s = threeLayers();
    s.layers[2].verticalVisible = false;
    const Scene before = s;
    s.swapCanvasRects();
    expectRect(s.layers[0].primaryRect(), 7, 0, 1080, 1920);
    expectRect(s.layers[0].secondRect(), 0, 0, 100, 100);
    EXPECT_FALSE(s.layers[2].visible);
    EXPECT_TRUE(s.layers[2].verticalVisible);
    EXPECT_EQ(s.layers[1].name, "b");
    s.swapCanvasRects();
    EXPECT_EQ(s, before);
}

TEST(SceneOps, Recentre) {
    Layer l = layerAt(100, 100, 200, 50);
    l.recentre();
    expectRect(l.primaryRect(), 200, 125, 0, 0);
    expectRect(l.secondRect(), 540, 960, 0, 0);
}

}  // namespace
