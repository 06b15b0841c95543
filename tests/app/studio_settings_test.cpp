// What the studio does with the inspector's and the settings window's actions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/studio.h"
#include "app_test_support.h"
#include "ui/headless_gui.h"
#include "ui/settings_window.h"
#include "util/secret_store.h"

namespace {

class StudioSettings : public ::testing::Test {
protected:
    void SetUp() override {
        profile = freshTestFolder(std::string("settings-") +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        setEnv("QUILLHAVEN_PROFILE", profile.substr(0, profile.size() - 1));
        studio.project = makeDefaultProject();
        Destination d;
        d.id = "dtest-1";
        studio.project.destinations = {d};
    }
    void TearDown() override { storeSecret("dest/dtest-1", ""); }
    void save(const std::string& key) {
        studio.settings.typedStreamKeys["dtest-1"] = key;
        SettingsActions a;
        a.saveKeyDestinationId = "dtest-1";
        a.streamKey = key;
        studio.applySettingsActions(a);
    }

    std::string profile;
    HeadlessGui gui;
    Studio studio{nullptr};
};

}  // namespace

TEST_F(StudioSettings, AKeyLeavesTheFieldOnlyOnceStored) {
    save("live_1");
    EXPECT_EQ(loadSecret("dest/dtest-1"), "live_1");
    EXPECT_EQ(studio.keyedDestinations.count("dtest-1"), 1u);
    EXPECT_EQ(studio.settings.typedStreamKeys["dtest-1"], "");
    EXPECT_EQ(studio.toast.text, "Stream key saved in Windows Credential Manager");

    SettingsActions forget;
    forget.forgetKeyDestinationId = "dtest-1";
    studio.applySettingsActions(forget);
    EXPECT_EQ(loadSecret("dest/dtest-1"), "");
    EXPECT_EQ(studio.keyedDestinations.count("dtest-1"), 0u);

    // A store that refuses the key: the typed key stays to try again.
#ifdef _WIN32
    const std::string refused(3000, 'k');  // beyond what a credential holds
    if (storeSecret("dest/probe", refused)) {
        storeSecret("dest/probe", "");
        GTEST_SKIP() << "this credential store takes any length";
    }
#else
    const std::string refused = "live_2";
    std::filesystem::remove_all(profile + "secrets");
    writeFile(profile + "secrets", "not a folder");
#endif
    studio.toast.text.clear();
    save(refused);
    EXPECT_EQ(studio.settings.typedStreamKeys["dtest-1"], refused);
    EXPECT_EQ(studio.keyedDestinations.count("dtest-1"), 0u);
    EXPECT_EQ(studio.toast.text, "Could not save the stream key");
}

TEST_F(StudioSettings, ALutIsTestLoadedBeforeUse) {
    Scene& scene = studio.project.scenes[size_t(studio.project.activeScene)];
    scene.layers.push_back(makeLayer(LayerKind::Image, "Photo"));
    studio.selectedLayer = int(scene.layers.size()) - 1;
    const std::string good = profile + "good.cube", broken = profile + "broken.cube";
    writeFile(good, "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n");
    writeFile(broken, "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n");
    EXPECT_TRUE(studio.useLutFile(good));
    EXPECT_EQ(studio.selectedLayerRecord()->lutPath, good);
    EXPECT_FALSE(studio.useLutFile(broken));
    EXPECT_EQ(studio.selectedLayerRecord()->lutPath, good);
    EXPECT_EQ(studio.toast.text.rfind("Could not use this LUT: ", 0), 0u);
    EXPECT_GT(studio.toast.text.size(), std::string("Could not use this LUT: ").size());
}

TEST_F(StudioSettings, TheViewAndTheRescanReadTheStudio) {
    studio.kit.listAudioDevices = [] { return std::vector<AudioDevice>{{"{mic-1}", "Desk mic"}}; };
    SettingsActions rescan;
    rescan.rescanMicrophones = true;
    studio.applySettingsActions(rescan);
    studio.pairingCode = "123456";
    studio.pairingDeadline = steadyNowNs() + 30LL * 1000000000LL;
    // The addresses kept when pairing started, not a lookup made for the frame.
    studio.pairingAddresses = {"192.0.2.7"};
    studio.keyedDestinations = {"dtest-1"};
    SettingsView view = studio.settingsView();
    ASSERT_EQ(view.microphones.size(), 1u);
    EXPECT_EQ(view.microphones[0].name, "Desk mic");
    EXPECT_EQ(view.pairingCode, "123456");
    EXPECT_GE(view.pairingSecondsLeft, 28);
    EXPECT_LE(view.pairingSecondsLeft, 30);
    EXPECT_EQ(view.localAddresses, std::vector<std::string>{"192.0.2.7"});
    EXPECT_EQ(view.keyedDestinations, studio.keyedDestinations);
    EXPECT_TRUE(view.controlUrl.empty());  // the server is not running
    EXPECT_FALSE(view.defaultRecordingFolder.empty());

    // Refilled over the last snapshot: what went away is gone from it.
    studio.pairingCode.clear();
    studio.keyedDestinations.clear();
    view = studio.settingsView();
    EXPECT_TRUE(view.localAddresses.empty());
    EXPECT_TRUE(view.keyedDestinations.empty());
    // The inputs' texts are read for the tab that shows them.
    EXPECT_TRUE(view.micStatus.empty());
    studio.settings.tab = SettingsTab::Audio;
    EXPECT_EQ(studio.settingsView().micStatus, studio.kit.micInput->status());
    EXPECT_FALSE(studio.settingsView().micStatus.empty());

    // The frame draws the window and the inspector without touching a stale selection.
    studio.settings.open = true;
    studio.selectedLayer = 0;
    for (int tab = 0; tab < SettingsTab::Count; ++tab) {
        studio.settings.tab = tab;
        gui.bareFrame([&] { studio.drawFrame(); });
    }
    EXPECT_TRUE(studio.settings.open);
}
