#include <gtest/gtest.h>

#include <string>

#include "app/studio.h"
#include "project/layout_presets.h"
#include "ui/gui_script.h"
#include "ui/layout_gallery.h"

namespace {

// Wide enough that the strip shows every tile without scrolling.
constexpr float kWidth = 3000, kHeight = 900;

ImGuiID intId(ImGuiID seed, int n) { return ImHashData(&n, sizeof n, seed); }
ImRect itemRect(ImGuiID id) {
    const LoggedItem* item = ItemLog::find(id);
    return item ? item->rect : ImRect();
}
// The tile of preset n (or of saved layout n - 1000); the "Save layout" tile for -1.
ImVec2 tile(int n) {
    const ImGuiID strip = GuiScript::windowContaining("##layouts")->ID;
    return itemRect(ImHashStr("##l", 0, n < 0 ? ImHashStr("##save", 0, strip) : intId(strip, n)))
        .GetCenter();
}
// Width of the tooltip shown in the last frame, or 0.
float tooltipWidth() {
    ImGuiWindow* w = GuiScript::windowContaining("##Tooltip_");
    return w && w->Active ? w->ContentSize.x : 0;
}

// Frames of a body drawn in a window that covers the display.
class Hosted : public ::testing::Test {
protected:
    void SetUp() override {
        setTheme(true, "Studio");
        ImGui::GetIO().DisplaySize = ImVec2(kWidth, kHeight);
    }
    void frame() { gui.bareFrame([&] { host(); }); }
    void click(ImVec2 at) { gui.clickAt(at, [&] { host(); }, true); }
    void hover(ImVec2 at) {
        gui.mouseTo(at);
        frame();
        frame();
    }
    void host() {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImVec2(kWidth, kHeight));
        ImGui::Begin("host", nullptr, ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoSavedSettings);
        draw();
        ImGui::End();
    }
    virtual void draw() = 0;
    HeadlessGui gui;
};

class Gallery : public Hosted {
protected:
    void draw() override {
        actions = drawLayoutGallery(ImVec2(0, 0), ImVec2(width, 84), current, false, saved);
    }
    LayoutGalleryActions actions;
    float width = kWidth;
    int current = -1;
    std::vector<SavedLayout> saved;
};

class Preview : public Hosted {
protected:
    void SetUp() override {
        Hosted::SetUp();
        Scene talk{"Talk", {makeLayer(LayerKind::Screen, "Screen"), makeLayer(LayerKind::Camera, "Camera")}};
        studio.project.scenes = {talk};
        studio.project.activeScene = 0;
    }
    void TearDown() override { studio.recording.recording = false; }
    void draw() override { studio.drawPreview(ImVec2(0, 0), ImVec2(kWidth, kHeight)); }
    // The scene as the file sees it: horizontal rectangles in the primary slot.
    Scene& horizontal() {
        studio.setEditCanvas(0);
        return studio.project.scenes[0];
    }
    Studio studio{nullptr};
};

}  // namespace

TEST_F(Gallery, TilesTooltipsAndRecords) {
    frame();
    click(tile(LayoutPreset::SideBySide));
    EXPECT_TRUE(actions.applyPreset == 5 && actions.applySaved == -1 && actions.deleteSaved == -1 &&
                !actions.save);

    // The ninth tile is "Presenter" and names Ctrl+9; the tenth shows no shortcut.
    current = 0;
    frame();  // without the "Custom" tile the others move left
    hover(tile(8));
    EXPECT_FLOAT_EQ(tooltipWidth(), ImGui::CalcTextSize("Presenter  (Ctrl+9)").x);
    hover(tile(9));
    EXPECT_EQ(tooltipWidth(), 0);

    // A saved layout's name full of format directives shows as it is.
    const std::string percent(60, '%');
    saved = {SavedLayout{"Talk", {}}, SavedLayout{percent, {}}};
    frame();
    hover(tile(1001));
    EXPECT_GE(tooltipWidth(), ImGui::CalcTextSize(percent.c_str()).x);

    hover(tile(1000));
    ImGui::GetIO().AddMouseButtonEvent(ImGuiMouseButton_Right, true);
    frame();
    ImGui::GetIO().AddMouseButtonEvent(ImGuiMouseButton_Right, false);
    frame();
    ASSERT_NE(ItemLog::findByLabel("Delete layout"), nullptr);
    click(ItemLog::findByLabel("Delete layout")->rect.GetCenter());
    EXPECT_TRUE(actions.deleteSaved == 0 && actions.applySaved == -1 && saved.size() == 2);

    // The wheel scrolls the strip sideways, wheel down to the right.
    width = 800;
    hover(ImVec2(100, 40));
    ImGui::GetIO().AddMouseWheelEvent(0, -1);
    frame();
    frame();  // a scroll set in one frame takes effect in the next
    EXPECT_FLOAT_EQ(GuiScript::windowContaining("##layouts")->Scroll.x, 80);
}

TEST_F(Preview, SavedLayoutsKeepHorizontalRectanglesAndBothModeEditsTheClickedCanvas) {
    frame();
    // Viewing the vertical canvas, a saved layout still takes the horizontal rectangles.
    const ImGuiID tabs = ImGui::FindWindowByName("host")->GetID("##preview");
    click(itemRect(ImHashStr("##seg", 0, intId(tabs, 1))).GetCenter());
    EXPECT_EQ(studio.editCanvas, 1);
    click(tile(-1));
    frame();  // the tile moved behind the new layout
    click(tile(-1));
    ASSERT_EQ(studio.project.savedLayouts.size(), 2u);
    EXPECT_EQ(studio.project.savedLayouts[1].name, "Talk 2");
    const std::vector<Layer> layers = horizontal().layers;
    EXPECT_EQ(studio.project.savedLayouts[0].layers, layers);

    horizontal().layers[1].x = 5;
    horizontal().layoutPreset = LayoutPreset::SideBySide;
    studio.layoutApplied = false;
    click(tile(1000));
    EXPECT_TRUE(studio.layoutApplied);
    EXPECT_EQ(horizontal().layers, layers);
    EXPECT_EQ(horizontal().layoutPreset, -1);

    // Both: a drag on the vertical canvas makes it the edited one and moves only its rectangle.
    Layer& camera = horizontal().layers[1];
    camera.setSecondRect({100, 1200, 400, 300, true});
    const LayerRect before = camera.primaryRect();
    studio.previewTab = 2;
    studio.viewCanvas = 0;
    frame();
    const ImRect canvas = itemRect(ImHashStr("##canvas", 0, intId(ImGui::FindWindowByName("host")->ID, 1)));
    const float k = canvas.GetWidth() / kVerticalDesignWidth;
    EXPECT_GT(canvas.Min.x, kWidth * 0.7f);
    const ImVec2 from(canvas.Min.x + 300 * k, canvas.Min.y + 1350 * k);
    gui.mouseTo(from);
    frame();
    gui.mouseDown();
    frame();
    gui.mouseTo(ImVec2(from.x + 100, from.y));
    frame();
    gui.mouseUp();
    frame();
    EXPECT_TRUE(studio.viewCanvas == 1 && studio.editCanvas == 1 && studio.selectedLayer == 1);
    EXPECT_NEAR(horizontal().layers[1].verticalX, 100 + 100 / k, 0.01f);
    EXPECT_EQ(horizontal().layers[1].primaryRect(), before);
}

TEST_F(Preview, BadgeShowsTheRecordingStateOnBothCanvases) {
    RecordingSession& r = studio.recording;
    r.recording = r.paused = true;
    r.startTime = 0;
    r.pauseStart = 3725LL * 1000000000LL;
    r.pausedSeconds = r.carriedSeconds = 0;
    frame();
    for (const CanvasView& v : studio.views)
        EXPECT_TRUE(v.badgeText == "Paused 01:02:05" && v.badgeColour == palette().warning);
    r.paused = false;
    frame();
    EXPECT_EQ(studio.views[1].badgeText.rfind("Recording ", 0), 0u);
    r.recording = false;
    frame();
    EXPECT_TRUE(studio.views[0].badgeText.empty() && studio.views[1].badgeColour == 0);
}
