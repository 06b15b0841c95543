#include <gtest/gtest.h>

#include <string>

#include "app/studio.h"
#include "project/layout_presets.h"
#include "ui/headless_gui.h"
#include "ui/layout_gallery.h"

namespace {

constexpr float kWindowW = 1600, kWindowH = 900;
// Wide enough that the strip shows every tile without scrolling.
constexpr float kPreviewW = 3000;

// A window named "host" over the whole display around the body.
void hosted(const std::function<void()>& body) {
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
    ImGui::Begin("host", nullptr, ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoSavedSettings);
    body();
    ImGui::End();
}

ImGuiWindow* windowNamed(const char* part) {
    for (ImGuiWindow* w : GImGui->Windows)
        if (std::string(w->Name).find(part) != std::string::npos) return w;
    return nullptr;
}

ImGuiID hostId(const char* label) { return ImGui::FindWindowByName("host")->GetID(label); }
ImGuiID intId(ImGuiID seed, int n) { return ImHashData(&n, sizeof n, seed); }

// The tile button of preset n (or saved layout 1000 + j) in the strip.
ImGuiID tileId(int n) { return ImHashStr("##l", 0, intId(windowNamed("##layouts")->ID, n)); }
ImGuiID saveTileId() {
    return ImHashStr("##l", 0, ImHashStr("##save", 0, windowNamed("##layouts")->ID));
}
ImRect itemRect(ImGuiID id) {
    const LoggedItem* item = ItemLog::find(id);
    return item ? item->rect : ImRect();
}

// The tooltip shown in the last frame, or null.
ImGuiWindow* shownTooltip() {
    ImGuiWindow* w = windowNamed("##Tooltip_");
    return w && w->Active ? w : nullptr;
}

class Gallery : public ::testing::Test {
protected:
    void SetUp() override {
        setTheme(true, "Studio");
        ImGui::GetIO().DisplaySize = ImVec2(kWindowW * 3, kWindowH);
    }
    // Draws a strip wide enough for every tile.
    void draw() {
        hosted([&] {
            actions = drawLayoutGallery(ImVec2(0, 0), ImVec2(kWindowW * 3, height), current,
                                        vertical, saved);
        });
    }
    void frame() { gui.bareFrame([&] { draw(); }); }
    void click(ImVec2 at) { gui.clickAt(at, [&] { draw(); }, true); }
    void hover(ImGuiID id) {
        gui.mouseTo(itemRect(id).GetCenter());
        frame();
        frame();
    }
    HeadlessGui gui;
    LayoutGalleryActions actions;
    int current = -1;
    bool vertical = false;
    float height = 84;
    std::vector<SavedLayout> saved;
};

}  // namespace

TEST_F(Gallery, CustomLeadsAClickReturnsOnlyThePresetAndTheNinthTileIsPresenter) {
    frame();
    EXPECT_FLOAT_EQ(itemRect(tileId(0)).Min.x, 16 + 84 + 10);  // after "Custom" and a gap
    click(itemRect(tileId(LayoutPreset::SideBySide)).GetCenter());
    EXPECT_EQ(actions.applyPreset, 5);
    EXPECT_EQ(actions.applySaved, -1);
    EXPECT_EQ(actions.deleteSaved, -1);
    EXPECT_FALSE(actions.save);

    current = 0;
    frame();
    EXPECT_FLOAT_EQ(itemRect(tileId(0)).Min.x, 16);  // no "Custom" tile

    // The ninth tile is "Presenter" and names Ctrl+9; the tenth has no shortcut to show.
    EXPECT_STREQ(layoutPresetName(8), "Presenter");
    EXPECT_STREQ(layoutPresetName(9), "Presenter 2");
    EXPECT_STREQ(layoutPresetName(10), "Podcast row");
    hover(tileId(8));
    ImGuiWindow* tip = shownTooltip();
    ASSERT_NE(tip, nullptr);
    EXPECT_FLOAT_EQ(tip->ContentSize.x, ImGui::CalcTextSize("Presenter  (Ctrl+9)").x);
    hover(tileId(9));
    EXPECT_EQ(shownTooltip(), nullptr);
}

TEST_F(Gallery, SavedLayoutsFollowAGroupGapAndDeleteOnlyThroughTheRecord) {
    current = 0;
    frame();
    const ImRect last = itemRect(tileId(15));
    EXPECT_FLOAT_EQ(itemRect(saveTileId()).Min.x, last.Max.x + 24);

    // A name full of format directives is shown as it is.
    const std::string percent(60, '%');
    saved = {SavedLayout{"Talk", {makeLayer(LayerKind::Camera, "Camera")}}, SavedLayout{percent, {}}};
    frame();
    EXPECT_FLOAT_EQ(itemRect(tileId(1000)).Min.x, last.Max.x + 24);
    EXPECT_FLOAT_EQ(itemRect(tileId(1001)).Min.x, itemRect(tileId(1000)).Max.x + 10);
    EXPECT_FLOAT_EQ(itemRect(saveTileId()).Min.x, itemRect(tileId(1001)).Max.x + 10);
    hover(tileId(1001));
    ASSERT_NE(shownTooltip(), nullptr);
    EXPECT_GE(shownTooltip()->ContentSize.x, ImGui::CalcTextSize(percent.c_str()).x);

    // Right-click, then "Delete layout" in the menu.
    gui.mouseTo(itemRect(tileId(1000)).GetCenter());
    frame();
    ImGui::GetIO().AddMouseButtonEvent(ImGuiMouseButton_Right, true);
    frame();
    ImGui::GetIO().AddMouseButtonEvent(ImGuiMouseButton_Right, false);
    frame();
    const LoggedItem* item = ItemLog::findByLabel("Delete layout");
    ASSERT_NE(item, nullptr);
    click(item->rect.GetCenter());
    EXPECT_EQ(actions.deleteSaved, 0);
    EXPECT_EQ(actions.applySaved, -1);
    EXPECT_EQ(saved.size(), 2u);

    click(itemRect(saveTileId()).GetCenter());
    EXPECT_TRUE(actions.save);
    click(itemRect(tileId(1000)).GetCenter());
    EXPECT_EQ(actions.applySaved, 0);
}

TEST_F(Gallery, TilesAreNeverNarrowerThan84AndVerticalThumbnailsAreTall) {
    struct Case {
        float height;
        bool vertical;
        float tileWidth;
    } cases[] = {{84, false, 84}, {84, true, 84}, {150, false, 106 * 16 / 9.f}, {150, true, 84},
                 {200, true, 156 * 9 / 16.f}};
    for (const Case& c : cases) {
        height = c.height;
        vertical = c.vertical;
        frame();
        const ImRect r = itemRect(tileId(3));
        EXPECT_NEAR(r.GetWidth(), c.tileWidth, 0.01f) << c.height << " " << c.vertical;
        EXPECT_FLOAT_EQ(r.GetHeight(), c.height - 44 + 22);
    }
}

namespace {

class Preview : public ::testing::Test {
protected:
    void SetUp() override {
        setTheme(false, "Studio");
        ImGui::GetIO().DisplaySize = ImVec2(kPreviewW, kWindowH);
        Scene talk;
        talk.name = "Talk";
        talk.layers = {makeLayer(LayerKind::Screen, "Screen"), makeLayer(LayerKind::Camera, "Camera")};
        studio.project.scenes = {talk};
        studio.project.activeScene = 0;
        studio.project.savedLayouts.clear();
    }
    void TearDown() override { studio.recording.recording = false; }
    void draw() { hosted([&] { studio.drawPreview(ImVec2(0, 0), ImVec2(kPreviewW, kWindowH)); }); }
    void frame() { gui.bareFrame([&] { draw(); }); }
    void click(ImVec2 at) { gui.clickAt(at, [&] { draw(); }, true); }
    // The scene as saved: horizontal rectangles in the primary slot.
    Scene& horizontal() {
        studio.setEditCanvas(0);
        return studio.project.scenes[0];
    }

    HeadlessGui gui;
    Studio studio{nullptr};
};

}  // namespace

TEST_F(Preview, GalleryAppliesPresetsAndSavesUnderFreeNamesWithHorizontalRects) {
    frame();
    click(itemRect(tileId(LayoutPreset::SideBySide)).GetCenter());
    Scene expected = studio.project.scenes[0];
    applyLayoutPreset(expected, LayoutPreset::SideBySide);
    EXPECT_EQ(horizontal(), expected);
    EXPECT_TRUE(studio.layoutApplied);

    // Viewing the vertical canvas: saved layouts still hold the horizontal rectangles first.
    const ImGuiID verticalTab = ImHashStr("##seg", 0, intId(hostId("##preview"), 1));
    click(itemRect(verticalTab).GetCenter());
    EXPECT_EQ(studio.viewCanvas, 1);
    EXPECT_EQ(studio.editCanvas, 1);
    click(itemRect(saveTileId()).GetCenter());
    frame();  // the tile moved behind the new layout
    click(itemRect(saveTileId()).GetCenter());
    ASSERT_EQ(studio.project.savedLayouts.size(), 2u);
    EXPECT_EQ(studio.project.savedLayouts[0].name, "Talk");
    EXPECT_EQ(studio.project.savedLayouts[1].name, "Talk 2");
    EXPECT_EQ(studio.toast.text, "Saved layout \"Talk 2\". It's at the end of the strip.");
    EXPECT_EQ(studio.project.savedLayouts[0].layers, horizontal().layers);

    // Moved by hand, then the saved layout puts it back and marks the scene arranged by hand.
    horizontal().layers[1].x = 5;
    studio.setEditCanvas(1);
    studio.layoutApplied = false;
    frame();
    click(itemRect(tileId(1000)).GetCenter());
    EXPECT_TRUE(studio.layoutApplied);
    EXPECT_EQ(horizontal().layers[1].x, expected.layers[1].x);
    EXPECT_EQ(horizontal().layoutPreset, -1);
}

TEST_F(Preview, InBothModeAClickOnTheVerticalCanvasEditsOnlyItsRectangles) {
    Layer& camera = studio.project.scenes[0].layers[1];
    camera.setSecondRect({100, 1200, 400, 300, true});
    const Layer before = camera;
    studio.previewTab = 2;
    frame();
    const ImRect canvas = itemRect(ImHashStr("##canvas", 0, intId(ImGui::FindWindowByName("host")->ID, 1)));
    ASSERT_GT(canvas.GetWidth(), 0);
    const float k = canvas.GetWidth() / kVerticalDesignWidth;
    EXPECT_NEAR(canvas.GetHeight() / k, kVerticalDesignHeight, 0.5f);
    EXPECT_GT(canvas.Min.x, kPreviewW * 0.7f);

    const ImVec2 from(canvas.Min.x + 300 * k, canvas.Min.y + 1350 * k);
    gui.mouseTo(from);
    frame();
    gui.mouseDown();
    frame();
    gui.mouseTo(ImVec2(from.x + 100, from.y));
    frame();
    gui.mouseUp();
    frame();
    EXPECT_EQ(studio.viewCanvas, 1);
    EXPECT_EQ(studio.editCanvas, 1);
    EXPECT_EQ(studio.selectedLayer, 1);
    const Layer& after = horizontal().layers[1];
    EXPECT_NEAR(after.verticalX, 100 + 100 / k, 0.01f);
    EXPECT_EQ(after.verticalY, 1200);
    EXPECT_EQ(after.primaryRect(), before.primaryRect());
}

TEST_F(Preview, BadgeShowsRecordingStateOnBothCanvases) {
    RecordingSession& r = studio.recording;
    r.recording = true;
    r.paused = true;
    r.startTime = 0;
    r.pauseStart = 3725LL * 1000000000LL;
    r.pausedSeconds = r.carriedSeconds = 0;
    frame();
    for (const CanvasView& v : studio.views) {
        EXPECT_EQ(v.badgeText, "Paused 01:02:05");
        EXPECT_EQ(v.badgeColour, palette().warning);
    }
    r.paused = false;
    frame();
    EXPECT_EQ(studio.views[1].badgeText.rfind("Recording ", 0), 0u);
    EXPECT_EQ(studio.views[1].badgeColour, palette().danger);
    r.recording = false;
    frame();
    for (const CanvasView& v : studio.views) {
        EXPECT_TRUE(v.badgeText.empty());
        EXPECT_EQ(v.badgeColour, 0u);
    }
}
