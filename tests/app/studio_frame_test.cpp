// The studio frame's own rules and the panels' clicks applied to the studio.
#include <gtest/gtest.h>

#include <string>

#include "app/frame_rules.h"
#include "app/studio.h"
#include "ui/gui_script.h"
#include "ui/layers_panel.h"

namespace {

class StudioFrame : public ::testing::Test {
protected:
    void SetUp() override {
        studio.project = makeDefaultProject();
        studio.nextAutosave = INT64_MAX;
    }
    void frame() {
        gui.bareFrame([&] { studio.drawFrame(); });
    }
    HeadlessGui gui;
    Studio studio{nullptr};
};

}  // namespace

TEST(FrameRules, TopBarTextsAndLinks) {
    struct Load {
        double tick, interval;
        int level;
    } loads[] = {{0, 33.3, 0},    {16.6, 33.4, 0}, {16.7, 33.4, 1}, {28.3, 33.3, 1},
                 {28.4, 33.3, 2}, {50, 16.7, 2},   {50, 0, 0},      {50, -1, 0}};
    for (const Load& l : loads) EXPECT_EQ(loadLevelFor(l.tick, l.interval), l.level) << l.tick;
    std::string text = "left over";
    loadStatusText(2, true, "Quillhaven 2026-12-09.mp4", text);
    EXPECT_EQ(text, "Heavy load  \xC2\xB7  Quillhaven 2026-12-09.mp4");

    struct Row {
        int state;
        const char* error;
        const char* text;
    } rows[] = {{LiveLive, "stale", "Live"},
                {LiveConnecting, "", "Connecting\xE2\x80\xA6"},
                {LiveReconnecting, "0x80090311", "Reconnecting: 0x80090311"},
                {LiveConnecting, "refused", "Connecting\xE2\x80\xA6: refused"}};
    GoLiveRow row;
    for (const Row& r : rows) {
        fillGoLiveRow({"d", "Main", r.state, r.error}, row);
        EXPECT_EQ(row.statusText, r.text);
    }

    // Video ids come from the network: only a well-formed one reaches the path.
    const std::string dashboard = "https://www.youtube.com/livestreaming";
    const auto channel = [](const char* name, const char* videoId) {
        ChannelState s;
        s.channel = name;
        s.videoId = videoId;
        return s;
    };
    Project project;
    project.destinations = {Destination{}};
    project.destinations[0].id = "yt";
    project.destinations[0].channel = "@quill";
    for (const char* id : {"dQw4w9WgXcQ", "a-_B9a-_B9z"})
        EXPECT_EQ(streamDetailsUrlFor(project, "yt", {channel("@other", "AAAAAAAAAAA"), channel("@quill", id)}),
                  "https://studio.youtube.com/video/" + std::string(id) + "/livestreaming");
    for (const char* id : {"", "dQw4w9WgXc", "dQw4w9WgXcQQ", "../../x?y=1", "abc%2Fdefgh", "abc def ghi"})
        EXPECT_EQ(streamDetailsUrlFor(project, "yt", {channel("@quill", id)}), dashboard) << id;
    EXPECT_EQ(streamDetailsUrlFor(project, "gone", {}), dashboard);
}

TEST_F(StudioFrame, CameraStateFollowsTheViewedCanvasAndTheButtonAddsOrToggles) {
    TopBarActions camera;
    camera.camera = true;
    Scene& scene = studio.project.scenes[0];
    scene.layers.push_back(makeLayer(LayerKind::Camera, "Cam"));
    Layer& cam = scene.layers.back();
    cam.visible = false;         // hidden on the horizontal canvas
    cam.verticalVisible = true;  // shown on the vertical one
    studio.viewCanvas = 1;
    frame();
    EXPECT_EQ(studio.topBar.cameraState, 2);
    studio.viewCanvas = 0;
    frame();
    EXPECT_EQ(studio.topBar.cameraState, 1);
    // State 1: every camera layer is shown on both canvases.
    studio.applyTopBarActions(camera);
    EXPECT_TRUE(cam.visible && cam.verticalVisible);

    // State 0: a camera is added, and shown; state 2 hides it on both.
    studio.project.activeScene = 2;
    frame();
    ASSERT_EQ(studio.topBar.cameraState, 0);
    const Scene& third = studio.project.scenes[2];
    const size_t before = third.layers.size();
    studio.applyTopBarActions(camera);
    ASSERT_EQ(third.layers.size(), before + 1);
    EXPECT_EQ(third.layers.back().kind, LayerKind::Camera);
    frame();
    EXPECT_EQ(studio.topBar.cameraState, 2);
    studio.applyTopBarActions(camera);
    EXPECT_FALSE(third.layers.back().visible || third.layers.back().verticalVisible);
}

TEST_F(StudioFrame, PopupRequestsAreOneShot) {
    // A start-up request opens the popup once; its button opens the destinations tab.
    ASSERT_TRUE(studio.project.destinations.empty());
    studio.goLiveOpen = true;
    frame();
    EXPECT_FALSE(studio.goLiveOpen);
    frame();
    const LoggedItem* add = ItemLog::findByLabel("Add a channel\xE2\x80\xA6");
    ASSERT_NE(add, nullptr);
    gui.clickAt(add->rect.GetCenter(), [&] { studio.drawFrame(); }, true);
    EXPECT_TRUE(studio.settings.open && studio.settings.tab == SettingsTab::Destinations);
    EXPECT_TRUE(GImGui->OpenPopupStack.empty());
    studio.settings.open = false;

    studio.mixerOpen = true;
    frame();
    EXPECT_FALSE(studio.mixerOpen);
    frame();
    EXPECT_TRUE(ItemLog::findByLabel("More audio settings\xE2\x80\xA6"));
}
