#include <gtest/gtest.h>

#include <cmath>

#include "project/layout_presets.h"

namespace {

Scene sceneWith(int screens, int cameras, int otherKind = -1) {
    Scene s;
    s.layers.push_back(makeLayer(LayerKind::Color, "Background"));
    for (int i = 0; i < screens; ++i) s.layers.push_back(makeLayer(LayerKind::Screen, "Screen " + std::to_string(i)));
    for (int i = 0; i < cameras; ++i) s.layers.push_back(makeLayer(LayerKind::Camera, "Cam " + std::to_string(i)));
    if (otherKind >= 0) s.layers.push_back(makeLayer(otherKind, "Other"));
    return s;
}

LayoutRect primary(const Layer& l) { return {l.x, l.y, l.width, l.height}; }
LayoutRect second(const Layer& l) { return {l.verticalX, l.verticalY, l.verticalWidth, l.verticalHeight}; }

void expectRect(const LayoutRect& got, float x, float y, float w, float h) {
    EXPECT_NEAR(got.x, x, 0.01f);
    EXPECT_NEAR(got.y, y, 0.01f);
    EXPECT_NEAR(got.width, w, 0.01f);
    EXPECT_NEAR(got.height, h, 0.01f);
}

const Layer& cam(const Scene& s, int i) { return s.layers[static_cast<size_t>(1 + i)]; }  // no screens

}  // namespace

TEST(LayoutPresets, NamesAndSignatures) {
    EXPECT_STREQ(layoutPresetName(0), "Just me");
    EXPECT_STREQ(layoutPresetName(12), "Dynamic");
    EXPECT_STREQ(layoutPresetName(15), "Thanks for watching");
    EXPECT_STREQ(layoutPresetName(16), "");
    EXPECT_EQ(layoutSignature(sceneWith(1, 2)), 5);
    Scene apps;
    apps.layers = {makeLayer(LayerKind::GameOrApp, "A"), makeLayer(LayerKind::GameOrApp, "B")};
    EXPECT_EQ(layoutSignature(apps), 1);
}

TEST(LayoutPresets, SplitAndGridFigures) {
    EXPECT_TRUE(splitRect({0, 0, 100, 100}, 0, true).empty());
    const auto halves = splitRect({40, 40, 1840, 1000}, 2, true);
    expectRect(halves[1], 972, 40, 908, 1000);
    const auto grid = gridCells({40, 40, 1840, 1000}, 3, 2);
    ASSERT_EQ(grid.size(), 3u);
    expectRect(grid[0], 40, 40, 908, 488);
    expectRect(grid[1], 972, 40, 908, 488);
    expectRect(grid[2], 40, 552, 1840, 488);
    EXPECT_EQ(gridCells({0, 0, 10, 10}, 2, 0).size(), 2u);  // columns below 1 count as 1
}

TEST(LayoutPresets, ScreenBesideCameraColumnAndBand) {
    Scene s = sceneWith(1, 1);
    applyLayoutPreset(s, 1);
    const Layer& screen = s.layers[1];
    const Layer& camera = s.layers[2];
    expectRect(primary(screen), 40, 40, 1376, 1000);
    expectRect(second(screen), 40, 40, 1000, 1056);
    expectRect(primary(camera), 1440, 40, 440, 1000);
    expectRect(second(camera), 40, 1120, 1000, 760);
    EXPECT_EQ(screen.scaling, ScalingMode::Fit);
    EXPECT_EQ(camera.scaling, ScalingMode::Fill);
    EXPECT_EQ(camera.cornerRadius, 24.0f);

    applyLayoutPreset(s, 2);
    expectRect(primary(screen), 504, 40, 1376, 1000);
    expectRect(second(screen), 40, 824, 1000, 1056);
    expectRect(primary(camera), 40, 40, 440, 1000);
    expectRect(second(camera), 40, 40, 1000, 760);
}

TEST(LayoutPresets, TilesOverAFullScreen) {
    Scene s = sceneWith(1, 2);
    applyLayoutPreset(s, 3);
    expectRect(primary(s.layers[1]), 0, 0, 1920, 1080);
    EXPECT_EQ(s.layers[1].cornerRadius, 0.0f);
    expectRect(primary(s.layers[2]), 1056, 815, 400, 225);
    expectRect(primary(s.layers[3]), 1480, 815, 400, 225);
    expectRect(second(s.layers[2]), 356, 1440, 330, 440);
    expectRect(second(s.layers[3]), 710, 1440, 330, 440);

    applyLayoutPreset(s, 4);
    expectRect(primary(s.layers[2]), 40, 815, 400, 225);
    expectRect(second(s.layers[3]), 394, 1440, 330, 440);

    // Four tiles do not fit across the vertical canvas at 330 wide: they shrink, keeping
    // their shape, to fill the row between the margins.
    Scene four = sceneWith(1, 4);
    applyLayoutPreset(four, 3);
    expectRect(second(four.layers[2]), 40, 1880 - 440 * 232.0f / 330, 232, 440 * 232.0f / 330);
    expectRect(second(four.layers[5]), 808, 1880 - 440 * 232.0f / 330, 232, 440 * 232.0f / 330);
}

TEST(LayoutPresets, SideBySideHalves) {
    Scene s = sceneWith(1, 2);
    applyLayoutPreset(s, 5);
    expectRect(primary(s.layers[1]), 40, 40, 908, 1000);
    expectRect(primary(s.layers[2]), 972, 40, 908, 488);
    expectRect(primary(s.layers[3]), 972, 552, 908, 488);
    expectRect(second(s.layers[1]), 40, 40, 1000, 908);
    expectRect(second(s.layers[2]), 40, 972, 488, 908);

    applyLayoutPreset(s, 6);
    expectRect(primary(s.layers[1]), 972, 40, 908, 1000);
    expectRect(primary(s.layers[2]), 40, 40, 908, 488);
}

TEST(LayoutPresets, PresenterAndPodcastFigures) {
    Scene s = sceneWith(1, 2);
    applyLayoutPreset(s, 8);
    expectRect(primary(s.layers[1]), 1020, 298, 860, 484);
    expectRect(second(s.layers[1]), 40, 120, 1000, 560);
    expectRect(primary(s.layers[2]), 0, 0, 1920, 1080);
    EXPECT_FALSE(s.layers[3].visible);
    EXPECT_FALSE(s.layers[3].verticalVisible);

    applyLayoutPreset(s, 9);
    expectRect(primary(s.layers[1]), 40, 298, 860, 484);
    expectRect(second(s.layers[1]), 40, 1320, 1000, 560);
    expectRect(second(s.layers[2]), 0, 0, 1080, 1920);

    applyLayoutPreset(s, 10);
    EXPECT_FALSE(s.layers[1].visible);
    expectRect(primary(s.layers[2]), 40, 40, 908, 1000);
    expectRect(second(s.layers[3]), 40, 972, 1000, 908);
    EXPECT_TRUE(s.layers[3].visible);
}

TEST(LayoutPresets, DynamicPicksFromTheContentAndStaysDynamic) {
    Scene screenOnly = sceneWith(1, 0);
    screenOnly.layers[1].visible = false;
    applyLayoutPreset(screenOnly, 12);
    EXPECT_EQ(screenOnly.layoutPreset, 12);
    expectRect(primary(screenOnly.layers[1]), 0, 0, 1920, 1080);
    expectRect(second(screenOnly.layers[1]), 0, 0, 1080, 1920);
    EXPECT_TRUE(screenOnly.layers[1].visible);

    Scene three = sceneWith(0, 3);
    applyLayoutPreset(three, 12);
    expectRect(primary(cam(three, 0)), 40, 40, 908, 488);
    expectRect(primary(cam(three, 1)), 972, 40, 908, 488);
    expectRect(primary(cam(three, 2)), 40, 552, 1840, 488);
    expectRect(second(cam(three, 1)), 40, 661.33f, 1000, 597.33f);

    Scene both = sceneWith(1, 1);
    applyLayoutPreset(both, 12);
    expectRect(primary(both.layers[1]), 40, 40, 1376, 1000);  // Screen + cam

    Scene one = sceneWith(0, 1);
    applyLayoutPreset(one, 12);
    expectRect(primary(cam(one, 0)), 0, 0, 1920, 1080);  // Just me
}

TEST(LayoutPresets, ExtraScreensAndCamerasAreHidden) {
    Scene s = sceneWith(2, 3, LayerKind::Text);
    const Layer textBefore = s.layers.back();
    applyLayoutPreset(s, 1);
    EXPECT_TRUE(s.layers[1].visible);
    EXPECT_FALSE(s.layers[2].visible);
    EXPECT_FALSE(s.layers[2].verticalVisible);
    EXPECT_EQ(s.layers.back(), textBefore);  // other kinds are never touched

    applyLayoutPreset(s, 0);
    EXPECT_FALSE(s.layers[1].visible);
    EXPECT_FALSE(s.layers[1].verticalVisible);
    expectRect(primary(s.layers[3]), 0, 0, 1920, 1080);
    expectRect(second(s.layers[3]), 0, 0, 1080, 1920);
    EXPECT_EQ(s.layers[3].cornerRadius, 0.0f);
    for (int i : {4, 5}) {
        EXPECT_FALSE(s.layers[static_cast<size_t>(i)].visible);
        EXPECT_FALSE(s.layers[static_cast<size_t>(i)].verticalVisible);
    }

    applyLayoutPreset(s, 7);
    EXPECT_FALSE(s.layers[3].visible);
    expectRect(primary(s.layers[1]), 0, 0, 1920, 1080);

    const Scene before = s;
    applyLayoutPreset(s, 16);
    applyLayoutPreset(s, -1);
    EXPECT_EQ(s, before);
}

TEST(LayoutPresets, EveryVisibleRectangleOfEveryPresetLiesOnItsCanvas) {
    auto within = [](const LayoutRect& r, float w, float h) {
        constexpr float e = 0.01f;
        return r.x >= -e && r.y >= -e && r.x + r.width <= w + e && r.y + r.height <= h + e;
    };
    for (int n = 0; n < LayoutPreset::Count; ++n) {
        for (int cameras = 0; cameras <= 8; ++cameras) {
            for (int screens = 0; screens <= 1; ++screens) {
                Scene s = sceneWith(screens, cameras);
                applyLayoutPreset(s, n);
                for (const Layer& l : s.layers) {
                    SCOPED_TRACE(::testing::Message() << "preset " << n << " cameras " << cameras << " " << l.name);
                    for (float v : {l.x, l.y, l.width, l.height, l.verticalX, l.verticalY, l.verticalWidth,
                                    l.verticalHeight, l.cornerRadius}) {
                        ASSERT_TRUE(std::isfinite(v));
                    }
                    EXPECT_TRUE(!l.visible || within(primary(l), 1920, 1080)) << primary(l).x;
                    EXPECT_TRUE(!l.verticalVisible || within(second(l), 1080, 1920)) << second(l).x;
                    if (l.kind == LayerKind::Camera && l.visible) {
                        ASSERT_GT(l.width, 0.0f);
                        ASSERT_GT(l.verticalHeight, 0.0f);
                    }
                }
                if (HasFailure()) return;
            }
        }
    }
}

TEST(LayoutPresets, TitleCardsAreAddedOnceAndOnlyRetitled) {
    Scene s = sceneWith(1, 1);
    applyLayoutPreset(s, 14);
    ASSERT_EQ(s.layers.size(), 5u);
    const Layer& card = s.layers[3];
    const Layer& text = s.layers[4];
    EXPECT_EQ(card.tag, "card");
    EXPECT_EQ(card.name, "Title card");
    EXPECT_EQ(card.colour, (std::array<float, 4>{0.04f, 0.06f, 0.12f, 1.0f}));
    expectRect(primary(card), 0, 0, 1920, 1080);
    expectRect(second(card), 0, 0, 1080, 1920);
    EXPECT_EQ(text.tag, "cardtext");
    EXPECT_EQ(text.text, "Be right back");
    expectRect(primary(text), 960, 540, 0, 0);
    expectRect(second(text), 540, 960, 0, 0);
    EXPECT_EQ(s.layoutPreset, 14);

    // The user moves the text (it gets measured); the same card again changes nothing.
    s.layers[4].x = 100;
    s.layers[4].width = 300;
    Scene before = s;
    applyLayoutPreset(s, 14);
    EXPECT_EQ(s, before);

    applyLayoutPreset(s, 15);
    EXPECT_EQ(s.layers.size(), 5u);
    EXPECT_EQ(s.layers[4].text, "Thanks for watching");
    expectRect(primary(s.layers[4]), 960, 540, 0, 0);

    applyLayoutPreset(s, 1);
    ASSERT_EQ(s.layers.size(), 5u);
    for (int i : {3, 4}) {
        EXPECT_FALSE(s.layers[static_cast<size_t>(i)].visible);
        EXPECT_FALSE(s.layers[static_cast<size_t>(i)].verticalVisible);
    }
    // Showing the card again after it was hidden re-centres it even with the same text.
    applyLayoutPreset(s, 15);
    EXPECT_TRUE(s.layers[4].visible);
}

TEST(SavedLayouts, MatchByNameFirstThenByKind) {
    Scene source;
    source.layers = {makeLayer(LayerKind::Screen, "Desk"), makeLayer(LayerKind::Camera, "Cam")};
    source.layers[1].x = 11;
    source.layers[1].verticalY = 22;
    source.layers[1].cornerRadius = 5;
    source.layers[1].crop = {0.1f, 0.2f, 0.3f, 0.4f};
    source.layers[1].scaling = ScalingMode::Stretch;
    const SavedLayout saved = makeSavedLayout(source, "Mine");
    EXPECT_EQ(saved.name, "Mine");
    EXPECT_EQ(saved.layers, source.layers);

    Scene two;
    two.layers = {makeLayer(LayerKind::Camera, "Face"), makeLayer(LayerKind::Camera, "Cam")};
    two.layers[1].opacity = 0.5f;
    two.layoutPreset = 3;
    const Layer faceBefore = two.layers[0];
    applySavedLayout(two, saved);
    EXPECT_EQ(two.layers[0], faceBefore);
    EXPECT_EQ(two.layers[1].x, 11);
    EXPECT_EQ(two.layers[1].verticalY, 22);
    EXPECT_EQ(two.layers[1].cornerRadius, 5);
    EXPECT_EQ(two.layers[1].crop, source.layers[1].crop);
    EXPECT_EQ(two.layers[1].scaling, ScalingMode::Stretch);
    EXPECT_EQ(two.layers[1].opacity, 0.5f);
    EXPECT_EQ(two.layers[1].name, "Cam");
    EXPECT_EQ(two.layoutPreset, -1);

    Scene face;
    face.layers = {makeLayer(LayerKind::Camera, "Face")};
    applySavedLayout(face, saved);
    EXPECT_EQ(face.layers[0].x, 11);
    EXPECT_EQ(face.layers[0].name, "Face");
    EXPECT_EQ(face.layers.size(), 1u);
}

TEST(SavedLayouts, RectanglesReturnToTheirOwnCanvas) {
    // Saved while the vertical canvas was edited: the caller swapped back before saving.
    Scene s;
    s.layers = {makeLayer(LayerKind::Camera, "Cam")};
    s.layers[0].x = 1;
    s.layers[0].verticalX = 2;
    s.swapCanvasRects();  // editing the vertical canvas
    s.swapCanvasRects();  // the caller swaps back to save
    const SavedLayout saved = makeSavedLayout(s, "v");
    s.swapCanvasRects();

    Scene target;
    target.layers = {makeLayer(LayerKind::Camera, "Cam")};
    applySavedLayout(target, saved);  // applied while the horizontal canvas is edited
    EXPECT_EQ(target.layers[0].x, 1);
    EXPECT_EQ(target.layers[0].verticalX, 2);
}
