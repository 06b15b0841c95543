// What the studio does with the inspector's and the settings window's actions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/studio.h"
#include "app_test_support.h"
#include "remote/os_random.h"
#include "ui/gui_script.h"
#include "ui/inspector.h"
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
    void apply(const std::function<void(SettingsActions&)>& set) {
        SettingsActions a;
        set(a);
        studio.applySettingsActions(a);
    }
    void save(const std::string& key) {
        studio.settings.typedStreamKeys["dtest-1"] = key;
        apply([&](SettingsActions& a) {
            a.saveKeyDestinationId = "dtest-1";
            a.streamKey = key;
        });
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

    apply([](SettingsActions& a) { a.forgetKeyDestinationId = "dtest-1"; });
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
    save(refused);
    EXPECT_EQ(studio.settings.typedStreamKeys["dtest-1"], refused);
    EXPECT_EQ(studio.keyedDestinations.count("dtest-1"), 0u);
    EXPECT_EQ(studio.toast.text, "Could not save the stream key");
}

TEST_F(StudioSettings, TheViewIsRefilledFromTheStudio) {
    studio.kit.listAudioDevices = [] { return std::vector<AudioDevice>{{"{mic-1}", "Desk mic"}}; };
    apply([](SettingsActions& a) { a.rescanMicrophones = true; });
    studio.pairingCode = "123456";
    studio.pairingDeadline = steadyNowNs() + 30LL * 1000000000LL;
    // The addresses kept when pairing started, not a lookup made for the frame.
    studio.pairingAddresses = {"192.0.2.7"};
    studio.keyedDestinations = {"dtest-1"};
    SettingsView view = studio.settingsView();
    ASSERT_EQ(view.microphones.size(), 1u);
    EXPECT_EQ(view.microphones[0].name, "Desk mic");
    EXPECT_TRUE(view.pairingSecondsLeft > 0 && view.pairingSecondsLeft <= 30);
    EXPECT_EQ(view.localAddresses, std::vector<std::string>{"192.0.2.7"});
    EXPECT_EQ(view.keyedDestinations, studio.keyedDestinations);

    // Refilled over the last snapshot: what went away is gone from it.
    studio.pairingCode.clear();
    studio.keyedDestinations.clear();
    view = studio.settingsView();
    EXPECT_TRUE(view.localAddresses.empty() && view.keyedDestinations.empty());
    // The inputs' texts are read for the tab that shows them.
    EXPECT_TRUE(view.micStatus.empty());
    studio.settings.tab = SettingsTab::Audio;
    EXPECT_FALSE(studio.settingsView().micStatus.empty());
}

// Each action the panels hand back reaches what carries it out: the remote server,
// the pickers (from a click in the window where the panel offers one), the update's
// swap and the close that lets the new program start.
TEST_F(StudioSettings, ActionsReachThePickersTheServerAndTheUpdate) {
    const std::string cube = "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
    const std::string lut = profile + "look.cube", broken = profile + "broken.cube";
    writeFile(lut, cube);
    writeFile(broken, cube.substr(0, 26));
    std::string chosenLut = lut;
    const std::string picked = "D:\\Shows\\Week 12";
    std::string asked;  // what the shell was asked, in order
    bool installs = true;
    StudioShell& shell = studio.shell;
    shell.pickFolder = [&](WindowHandle) {
        asked += "folder ";
        return picked;
    };
    shell.pickImage = [&](WindowHandle) {
        asked += "image ";
        return picked + ".png";
    };
    shell.pickOpenFile = [&](WindowHandle, const std::vector<FileFilter>& filters) {
        for (const FileFilter& f : filters) asked += f.name + " " + f.patterns + " ";
        return chosenLut;
    };
    shell.installUpdate = [&](Updater&, std::string& message) {
        asked += "install ";
        message = "Could not replace Quillhaven.exe (error 5).";
        return installs;
    };
    shell.captionCommand = [&](WindowHandle, int command) {
        asked += "caption " + std::to_string(command) + " ";
    };

    Scene& scene = studio.project.scenes[size_t(studio.project.activeScene)];
    scene.layers.push_back(makeLayer(LayerKind::Image, "Photo"));
    const size_t photo = scene.layers.size() - 1;
    studio.project.remoteControl = true;
    studio.project.remotePort = 20000 + int(osRandom32() % 30000);
    // A stored token, which only a new address replaces.
    const std::string oldToken(32, '0');
    ASSERT_TRUE(storeSecret("control-token", oldToken));
    ImGui::GetIO().DisplaySize = ImVec2(1280, 3000);
    const auto frame = [&] {
        // Tall enough that the Recording tab's buttons show without scrolling.
        ImGui::SetWindowPos("Settings", ImVec2(400, 60));
        ImGui::SetWindowSize("Settings", ImVec2(460, 2900));
        studio.drawFrame();
    };
    const auto clickInTab = [&](const char* id) {
        studio.settings.open = true;
        studio.settings.tab = SettingsTab::Recording;
        gui.bareFrame(frame);
        gui.bareFrame(frame);
        gui.clickAt(HeadlessGui::centreOf(GuiScript::id("Settings/##stab", {id})), frame, true);
    };
    const auto inspectorAction = [&](bool InspectorActions::*flag) {
        studio.selectedLayer = int(photo);
        InspectorActions a;
        a.*flag = true;
        studio.applyInspectorActions(a);
    };
    const auto update = [&](bool succeeds) {
        installs = succeeds;
        TopBarActions a;
        a.update = true;
        studio.applyTopBarActions(a);
    };
    const std::string lutFilter = "3D LUT (.cube) *.cube ";
    struct Case {
        const char* what;
        std::function<void()> act;
        std::string asked;
        std::function<bool()> done;
    } cases[] = {
        {"New remote address", [&] { apply([](SettingsActions& a) { a.newRemoteAddress = true; }); },
         "",
         [&] {
             return studio.remoteToken.size() == 32 && studio.remoteToken != oldToken &&
                    loadSecret("control-token") == studio.remoteToken;
         }},
        {"Pair phone", [&] { apply([](SettingsActions& a) { a.startPairing = true; }); }, "",
         [&] {
             return studio.pairingCode.size() == 6 && studio.project.localNetwork &&
                    studio.project.remoteControl && studio.remote.pairingActive();
         }},
        {"Recording folder", [&] { clickInTab("Choose\xE2\x80\xA6"); }, "folder ",
         [&] { return studio.project.recordingFolder == picked; }},
        {"Backup folder", [&] { clickInTab("Choose\xE2\x80\xA6##bk"); }, "folder ",
         [&] { return studio.project.backupFolder == picked; }},
        {"Picture", [&] { inspectorAction(&InspectorActions::chooseImage); }, "image ",
         [&] { return scene.layers[photo].source == picked + ".png"; }},
        {"LUT", [&] { inspectorAction(&InspectorActions::chooseLut); }, lutFilter,
         [&] { return scene.layers[photo].lutPath == lut; }},
        // A LUT that does not load is refused with the loader's reason; the last one stays.
        {"LUT refused",
         [&] {
             chosenLut = broken;
             inspectorAction(&InspectorActions::chooseLut);
         },
         lutFilter,
         [&] {
             const std::string refusal = "Could not use this LUT: ";
             return scene.layers[photo].lutPath == lut && studio.toast.text.rfind(refusal, 0) == 0 &&
                    studio.toast.text.size() > refusal.size();
         }},
        {"Update refused", [&] { update(false); }, "install ",
         [&] {
             return !studio.updatePending &&
                    studio.toast.text == "Could not replace Quillhaven.exe (error 5).";
         }},
        {"Update installed", [&] { update(true); },
         "install caption " + std::to_string(CaptionClose) + " ",
         [&] { return studio.updatePending; }},
    };
    for (const Case& c : cases) {
        asked.clear();
        c.act();
        EXPECT_EQ(asked, c.asked) << c.what;
        EXPECT_TRUE(c.done()) << c.what;
    }
}
