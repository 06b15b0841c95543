#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "app/startup_rules.h"
#include "app/studio.h"
#include "app/file_ops.h"
#include "app_test_support.h"
#include "ui/headless_gui.h"
#include "ui/theme.h"
#include "util/secret_store.h"

namespace {

class StudioStart : public ::testing::Test {
protected:
    void SetUp() override {
        profile = freshTestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::string folder = profile.substr(0, profile.size() - 1);
        setEnv("QUILLHAVEN_PROFILE", folder);
        unsetEnv("QUILLHAVEN_UI");
        unsetEnv("QUILLHAVEN_PAIR");
    }
    void TearDown() override {
        unsetEnv("QUILLHAVEN_UI");
        unsetEnv("QUILLHAVEN_PAIR");
        unsetEnv("QUILLHAVEN_PROFILE");
    }
    std::string profile;
    HeadlessGui gui;
};

}  // namespace

TEST_F(StudioStart, FirstRunStartsFreshWithoutNoticeAndSavesOnShutdown) {
    Studio studio(nullptr);
    ASSERT_TRUE(studio.startUp());
    EXPECT_EQ(studio.projectPath, profile + "project.txt");
    EXPECT_EQ(studio.project, makeDefaultProject());
    EXPECT_TRUE(studio.toast.text.empty());
    EXPECT_FALSE(pathExists(profile + "project.txt"));
    EXPECT_TRUE(studio.shutdown());
    Project saved;
    EXPECT_TRUE(saved.load(profile + "project.txt"));
}

TEST_F(StudioStart, DamagedFileWithBackupShowsTheRestoreNotice) {
    Project good = makeDefaultProject();
    good.themeName = "Clay";
    good.darkMode = false;
    ASSERT_TRUE(good.save(profile + "project.txt.bak"));
    writeFile(profile + "project.txt", "quillhaven\t9\n");
    Studio studio(nullptr);
    ASSERT_TRUE(studio.startUp());
    EXPECT_EQ(studio.toast.text, kRestoredNotice);
    EXPECT_TRUE(studio.toast.folder.empty());
    EXPECT_EQ(currentThemeName(), "Clay");
    EXPECT_FALSE(isDarkMode());
    EXPECT_TRUE(pathExists(profile + "project.txt.unreadable"));
    setTheme(true, "Studio");
}

TEST_F(StudioStart, BothDamagedShowsTheFreshStartNotice) {
    writeFile(profile + "project.txt", "x");
    writeFile(profile + "project.txt.bak", "y");
    Studio studio(nullptr);
    ASSERT_TRUE(studio.startUp());
    EXPECT_EQ(studio.toast.text, kStartedFreshNotice);
    EXPECT_EQ(readFile(profile + "project.txt.unreadable"), "x");
}

TEST_F(StudioStart, DemonstrationWordsAreApplied) {
    Project p = makeDefaultProject();
    Destination d;
    d.id = "yt-1";
    d.name = "YouTube";
    p.destinations.push_back(d);
    ASSERT_TRUE(p.save(profile + "project.txt"));
    setEnv("QUILLHAVEN_UI", "settings3 both inspect1 prompter mixer showcase");
    Studio studio(nullptr);
    studio.goLiveOpen = true;
    ASSERT_TRUE(studio.startUp());
    EXPECT_TRUE(studio.settings.open);
    EXPECT_EQ(studio.settings.tab, 3);
    EXPECT_EQ(studio.previewTab, 2);
    EXPECT_EQ(studio.inspectorTab, 1);
    EXPECT_TRUE(studio.teleprompter.open);
    EXPECT_TRUE(studio.mixerOpen);
    EXPECT_FALSE(studio.goLiveOpen);  // assigned whether present or not
    EXPECT_TRUE(studio.showcase);
    EXPECT_EQ(studio.keyedDestinations.count("yt-1"), 1u);
    EXPECT_EQ(studio.selectedLayer, -1);
}

TEST_F(StudioStart, WithoutTheVariableNothingChanges) {
    Studio studio(nullptr);
    studio.goLiveOpen = true;
    ASSERT_TRUE(studio.startUp());
    EXPECT_TRUE(studio.goLiveOpen);
    EXPECT_FALSE(studio.settings.open);
}

TEST_F(StudioStart, SettingsWithNegativeTabStaysClosed) {
    setEnv("QUILLHAVEN_UI", "settings-1 select");
    Studio studio(nullptr);
    ASSERT_TRUE(studio.startUp());
    EXPECT_FALSE(studio.settings.open);
    EXPECT_EQ(studio.selectedLayer, 0);
}

TEST_F(StudioStart, PairingVariableTurnsRemoteControlOnAndIsSaved) {
    setEnv("QUILLHAVEN_PAIR", "123456");
    Studio studio(nullptr);
    int64_t before = steadyNowNs();
    ASSERT_TRUE(studio.startUp());
    EXPECT_TRUE(studio.project.remoteControl);
    EXPECT_EQ(studio.pairingCode, "123456");
    EXPECT_TRUE(studio.remote.pairingActive());
    EXPECT_GE(studio.pairingDeadline, before + 180LL * 1000000000LL);
    EXPECT_EQ(studio.clientsAtPairingStart, 0);
    EXPECT_EQ(studio.pairingAddresses, studio.discovery.localIpv4Addresses());
    // Running on the default port, unless another program holds it here.
    EXPECT_TRUE(studio.remote.isRunning() || studio.remoteError == "Port 7469 is in use") << studio.remoteError;
    EXPECT_EQ(studio.remoteToken.size(), 32u);
    ASSERT_TRUE(studio.shutdown());
    Project saved;
    ASSERT_TRUE(saved.load(profile + "project.txt"));
    EXPECT_TRUE(saved.remoteControl);
}

TEST_F(StudioStart, OnlyDestinationsWithAStoredStreamKeyAreKeyed) {
    Project p = makeDefaultProject();
    for (const char* id : {"with-key", "without-key"}) {
        Destination d;
        d.id = id;
        d.name = id;
        p.destinations.push_back(d);
    }
    ASSERT_TRUE(p.save(profile + "project.txt"));
    ASSERT_TRUE(storeSecret("dest/with-key", "live_0123"));
    storeSecret("dest/without-key", "");
    Studio studio(nullptr);
    ASSERT_TRUE(studio.startUp());
    EXPECT_EQ(studio.keyedDestinations, std::set<std::string>{"with-key"});
    storeSecret("dest/with-key", "");
}

TEST_F(StudioStart, ShutdownWhileEditingTheVerticalCanvasSavesHorizontalRectangles) {
    Studio studio(nullptr);
    ASSERT_TRUE(studio.startUp());
    ASSERT_FALSE(studio.project.scenes.empty());
    Scene& scene = studio.project.scenes[0];
    scene.layers.push_back(makeLayer(LayerKind::Color, "Box"));
    scene.layers.back().x = 11;
    scene.layers.back().verticalX = 22;
    const Project horizontal = studio.project;
    studio.setEditCanvas(1);
    EXPECT_EQ(studio.project.scenes[0].layers.back().x, 22);
    ASSERT_TRUE(studio.shutdown());
    EXPECT_EQ(studio.editCanvas, 0);
    Project saved;
    ASSERT_TRUE(saved.load(profile + "project.txt"));
    EXPECT_EQ(saved.scenes[0].layers.back().x, 11);
    EXPECT_EQ(saved.scenes[0].layers.back().verticalX, 22);
}

TEST_F(StudioStart, FrameFillsDragRectangleAutosavesAndLeavesHorizontalRects) {
    Studio studio(nullptr);
    ASSERT_TRUE(studio.startUp());
    Layer box = makeLayer(LayerKind::Color, "Box");
    box.x = 11;
    box.verticalX = 22;
    studio.project.scenes[0].layers.push_back(box);
    studio.viewCanvas = 1;
    studio.setEditCanvas(1);  // left in the vertical slot when the autosave falls due
    studio.nextAutosave = 0;  // due now
    gui.bareFrame([&] { studio.drawFrame(); });
    // The product name's corner, then the top bar's empty middle and its top strip.
    ASSERT_EQ(studio.titleDragRects.size(), 3u);
    const TitleRect& r = studio.titleDragRects[0];
    EXPECT_FLOAT_EQ(r.right - r.left, 260 * uiScale());
    EXPECT_FLOAT_EQ(r.bottom - r.top, 56 * uiScale());
    EXPECT_EQ(studio.editCanvas, 0);
    EXPECT_GT(studio.nextAutosave, steadyNowNs() + 100LL * 1000000000LL);
    Project saved;
    ASSERT_TRUE(saved.load(profile + "project.txt"));
    EXPECT_EQ(saved.scenes[0].layers.back().x, 11);
    EXPECT_EQ(saved.scenes[0].layers.back().verticalX, 22);
    // Not due: no second save.
    writeFile(profile + "project.txt", "sentinel");
    gui.bareFrame([&] { studio.drawFrame(); });
    EXPECT_EQ(readFile(profile + "project.txt"), "sentinel");
    EXPECT_EQ(studio.titleDragRects.size(), 3u);
}

TEST_F(StudioStart, InspectorShowsOnlyForAnExistingLayer) {
    Studio studio(nullptr);
    ASSERT_TRUE(studio.startUp());
    int layers = int(studio.project.scenes[size_t(studio.project.activeScene)].layers.size());
    auto inspectorDrawn = [&] {
        // The inspector background is drawn only when the inspector is shown.
        int n = 0;
        for (ImDrawList* dl : ImGui::GetDrawData()->CmdLists)
            for (const ImDrawVert& v : dl->VtxBuffer)
                if (v.pos.x > ImGui::GetIO().DisplaySize.x - 320 * uiScale() + 2 && v.col == palette().inspectorBg)
                    ++n;
        return n > 0;
    };
    studio.selectedLayer = layers;  // one past the end
    gui.bareFrame([&] { studio.drawFrame(); });
    EXPECT_FALSE(inspectorDrawn());
    if (layers > 0) {
        studio.selectedLayer = layers - 1;
        gui.bareFrame([&] { studio.drawFrame(); });
        EXPECT_TRUE(inspectorDrawn());
    }
}
