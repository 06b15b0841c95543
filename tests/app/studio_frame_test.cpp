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
    std::string text;
    loadStatusText(1, false, "x.mp4", text);
    EXPECT_EQ(text, "Moderate load");
    loadStatusText(2, true, "Quillhaven 2026-12-09.mp4", text);
    EXPECT_EQ(text, "Heavy load  \xC2\xB7  Quillhaven 2026-12-09.mp4");

    struct Row {
        DestinationStatus status;
        const char* text;
        bool live;
    } rows[] = {{{"d", "Main", LiveLive, ""}, "Live", true},
                {{"d", "Main", LiveLive, "stale"}, "Live", true},
                {{"d", "Main", LiveConnecting, ""}, "Connecting\xE2\x80\xA6", false},
                {{"d", "Main", LiveReconnecting, "0x80090311"}, "Reconnecting: 0x80090311", false},
                {{"d", "Main", LiveConnecting, "refused"}, "Connecting\xE2\x80\xA6: refused",
                 false}};
    GoLiveRow row;
    for (const Row& r : rows) {
        fillGoLiveRow(r.status, row);
        EXPECT_EQ(row.statusText, r.text);
        EXPECT_EQ(row.live, r.live);
        EXPECT_EQ(row.id, "d");
    }

    // Video ids come from the network: only a well-formed one reaches the path.
    const std::string dashboard = "https://www.youtube.com/livestreaming";
    struct Link {
        const char* id;
        std::string url;
    } links[] = {{"dQw4w9WgXcQ", "https://studio.youtube.com/video/dQw4w9WgXcQ/livestreaming"},
                 {"a-_B9a-_B9z", "https://studio.youtube.com/video/a-_B9a-_B9z/livestreaming"},
                 {"", dashboard},
                 {"dQw4w9WgXc", dashboard},
                 {"dQw4w9WgXcQQ", dashboard},
                 {"../../x?y=1", dashboard},
                 {"abc%2Fdefgh", dashboard},
                 {"abc def ghi", dashboard}};
    Project project;
    Destination d;
    d.id = "yt";
    d.channel = "@quill";
    project.destinations = {d};
    const auto channel = [](const char* name, const char* videoId) {
        ChannelState s;
        s.channel = name;
        s.videoId = videoId;
        return s;
    };
    for (const Link& l : links) {
        const ChannelState other = channel("@other", "AAAAAAAAAAA"), mine = channel("@quill", l.id);
        EXPECT_EQ(streamDetailsUrlFor(project, "yt", {other, mine}), l.url) << l.id;
    }
    // A channel that knows no live video, or an unknown destination: the dashboard.
    EXPECT_EQ(streamDetailsUrlFor(project, "yt", {channel("@quill", "")}), dashboard);
    EXPECT_EQ(streamDetailsUrlFor(project, "gone", {}), dashboard);
}

TEST_F(StudioFrame, CameraStateFollowsTheViewedCanvasAndTheButtonAddsOrToggles) {
    Scene& scene = studio.project.scenes[0];
    scene.layers.push_back(makeLayer(LayerKind::Camera, "Cam"));
    scene.layers.back().visible = false;         // hidden on the horizontal canvas
    scene.layers.back().verticalVisible = true;  // shown on the vertical one
    studio.viewCanvas = 1;
    frame();
    EXPECT_EQ(studio.topBar.cameraState, 2);
    studio.viewCanvas = 0;
    frame();
    EXPECT_EQ(studio.topBar.cameraState, 1);

    // State 1: every camera layer is shown on both canvases.
    TopBarActions camera;
    camera.camera = true;
    studio.applyTopBarActions(camera);
    EXPECT_TRUE(scene.layers.back().visible);
    EXPECT_TRUE(scene.layers.back().verticalVisible);

    // State 0: a camera is added, and shown.
    studio.project.activeScene = 2;
    frame();
    ASSERT_EQ(studio.topBar.cameraState, 0);
    const size_t before = studio.project.scenes[2].layers.size();
    studio.applyTopBarActions(camera);
    const Scene& third = studio.project.scenes[2];
    ASSERT_EQ(third.layers.size(), before + 1);
    EXPECT_EQ(third.layers.back().kind, LayerKind::Camera);
    EXPECT_TRUE(third.layers.back().visible && third.layers.back().verticalVisible);
    frame();
    EXPECT_EQ(studio.topBar.cameraState, 2);
    studio.applyTopBarActions(camera);
    EXPECT_FALSE(third.layers.back().visible || third.layers.back().verticalVisible);
}

TEST_F(StudioFrame, SidebarClickSwitchesSceneAndPopupRequestsAreOneShot) {
    frame();
    ImGuiWindow* sidebar = GuiScript::windowContaining("##sidebar");
    ASSERT_NE(sidebar, nullptr);
    const int one = 1;
    const ImGuiID second = ImHashStr("##scene", 0, ImHashData(&one, sizeof one, sidebar->ID));
    studio.selectedLayer = 0;
    gui.clickAt(
        HeadlessGui::centreOf(second), [&] { studio.drawFrame(); }, true);
    EXPECT_EQ(studio.project.activeScene, 1);
    EXPECT_EQ(studio.selectedLayer, -1);

    // A start-up request opens the popup once; its button opens the destinations tab.
    ASSERT_TRUE(studio.project.destinations.empty());
    studio.goLiveOpen = true;
    frame();
    EXPECT_FALSE(studio.goLiveOpen);
    frame();
    const LoggedItem* add = ItemLog::findByLabel("Add a channel\xE2\x80\xA6");
    ASSERT_NE(add, nullptr);
    gui.clickAt(
        add->rect.GetCenter(), [&] { studio.drawFrame(); }, true);
    EXPECT_TRUE(studio.settings.open);
    EXPECT_EQ(studio.settings.tab, 3);
    EXPECT_TRUE(GImGui->OpenPopupStack.empty());
    studio.settings.open = false;

    studio.mixerOpen = true;
    frame();
    EXPECT_FALSE(studio.mixerOpen);
    frame();
    EXPECT_TRUE(ItemLog::findByLabel("More audio settings\xE2\x80\xA6"));
}
