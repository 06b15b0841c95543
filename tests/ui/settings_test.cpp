#include <gtest/gtest.h>

#include "live/rtmp_url.h"
#include "ui/drawn_text.h"
#include "ui/gui_script.h"
#include "ui/settings_window.h"

namespace {

constexpr const char* kTab = "Settings/##stab";
constexpr float kTallDisplay = 3000;

// The settings window over bare frames, its actions gathered across frames.
class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        setTheme(true, "Studio");
        state.open = true;
        // Tall enough that every tab fits without scrolling.
        ImGui::GetIO().DisplaySize = ImVec2(1280, kTallDisplay);
        script.frames(2);
    }
    void draw() {
        ImGui::SetWindowPos("Settings", ImVec2(0, 0));
        ImGui::SetWindowSize("Settings", ImVec2(460, height));
        SettingsActions a = drawSettingsWindow(state, project, view);
        actions.newRemoteAddress |= a.newRemoteAddress;
        actions.startPairing |= a.startPairing;
        if (!a.saveKeyDestinationId.empty()) {
            actions.saveKeyDestinationId = a.saveKeyDestinationId;
            actions.streamKey = a.streamKey;
        }
        if (!a.forgetKeyDestinationId.empty())
            actions.forgetKeyDestinationId = a.forgetKeyDestinationId;
    }
    void openTab(int tab) {
        state.tab = tab;
        ItemLog::clear();
        script.frames(2);
    }
    void clickSegment(const char* control, int segment) {
        script.click(GuiScript::id(kTab, {control, segment, "##seg"}));
    }

    HeadlessGui gui;
    float height = kTallDisplay;
    SettingsWindowState state;
    Project project = makeDefaultProject();
    SettingsView view;
    SettingsActions actions;
    GuiScript script{gui, [this] { gui.bareFrame([this] { draw(); }); }};
};

}  // namespace

TEST(SettingsRules, LocksStoredValuesAndTypedValues) {
    namespace T = SettingsTab;
    struct Lock {
        int tab;
        bool live, recording;
        const char* note;
    } locks[] = {
        {T::Video, false, true, kLockedWhileRecording}, {T::Recording, false, true, kLockedWhileRecording},
        {T::Audio, false, true, nullptr},               {T::Destinations, false, true, nullptr},
        {T::Video, true, true, kLockedWhileLive},       {T::Recording, true, false, kLockedWhileLive},
        {T::Destinations, true, true, kLockedWhileLive}, {T::Audio, true, true, nullptr},
        {T::Control, true, true, nullptr},              {T::Video, false, false, nullptr},
    };
    for (const Lock& c : locks)
        EXPECT_STREQ(settingsLockNote(c.tab, c.live, c.recording), c.note)
            << c.tab << " live " << c.live << " recording " << c.recording;

    const std::pair<int, int> heights[] = {{0, 0}, {1080, 1}, {720, 2}, {480, 3}, {1440, 0}, {-5, 0}};
    for (auto [limit, segment] : heights) EXPECT_EQ(heightLimitSegment(limit), segment) << limit;
    for (int segment = 0; segment < 4; ++segment)
        EXPECT_EQ(heightLimitSegment(heightLimitOfSegment(segment)), segment);
    const std::pair<float, int> rates[] = {{4949.9f, 4900}, {4950.0f, 5000}, {1000.0f, 1000},
                                           {19999.0f, 20000}, {6049.0f, 6000}};
    for (auto [value, kbps] : rates) EXPECT_EQ(roundedBitrateKbps(value), kbps) << value;
    // Codes from the environment may be of any length: short ones show whole.
    const std::pair<const char*, const char*> codes[] = {
        {"123456", "123 456"}, {"1234", "123 4"}, {"123", "123"}, {"12", "12"}, {"", ""}};
    for (auto [code, shown] : codes) EXPECT_EQ(pairingCodeForDisplay(code), shown) << code;
    EXPECT_EQ(makePresetDestination(2, 1765000000, 3).id, "d1765000000-3");
}

TEST(SettingsRules, NotesShowTheParsersRefusalAndOverwriteTheKeptText) {
    for (const char* url : {"http://example.com/live", "rtmp://", "rtmp://host:99999/app",
                            "rtmps://host", "rtmp://host/"}) {
        Destination d;
        d.id = "x";
        d.serverUrl = url;
        RtmpEndpoint endpoint;
        std::string error;
        const bool valid = parseRtmpUrl(url, endpoint, error);
        const DestinationNote note = destinationNote(d, {});
        EXPECT_EQ(note.kind, valid ? NoteKind::Warning : NoteKind::Error) << url;
        if (!valid) {
            EXPECT_EQ(note.text, error) << url;
        }
    }

    // One kept text written over by each note, as the window keeps it.
    std::string note = "left over from the last frame";
    SettingsView view;
    view.pairingCode = "123456";
    view.pairingSecondsLeft = -3;
    view.localAddresses = {"192.168.1.5", "10.0.0.2"};
    pairingNote(view, note);
    EXPECT_NE(note.find("ends in 0 s. If the phone doesn't list this PC, type its "
                        "address: 192.168.1.5, 10.0.0.2."),
              std::string::npos);
    EXPECT_EQ(note.find("left over"), std::string::npos);
    Project project;
    EXPECT_FALSE(remoteControlNote(project, view, note));
    EXPECT_EQ(note, "");
    view.remoteError = "Port 7469 is in use";  // shown whether or not remote control is on
    EXPECT_TRUE(remoteControlNote(project, view, note));
    EXPECT_EQ(note, "Port 7469 is in use");
}

TEST_F(SettingsWindowTest, VideoAndRecordingTabsWriteTheProjectUnlessLocked) {
    openTab(SettingsTab::Video);
    project.textSizePercent = 105;
    project.transitionMs = 0;
    script.frame();
    ImGuiWindow* tab = GuiScript::window(kTab);
    ASSERT_NE(tab, nullptr);
    EXPECT_FLOAT_EQ(tab->StateStorage.GetFloat(GuiScript::id(kTab, {"##tsize"}), -1), 1.0f);
    clickSegment("##tr", 1);
    EXPECT_EQ(project.transitionMs, 400);
    clickSegment("##tsize", 3);
    EXPECT_EQ(project.textSizePercent, 130);

    openTab(SettingsTab::Recording);
    struct Step {
        int segment;
        bool mkv, safeMp4;
    } steps[] = {{1, false, false}, {2, true, true}, {0, false, true}, {2, true, true}};
    for (const Step& s : steps) {
        clickSegment("##fmt", s.segment);
        EXPECT_EQ(project.mkv, s.mkv) << s.segment;
        EXPECT_EQ(project.safeMp4, s.safeMp4) << s.segment;
    }
    project.splitMinutes = 45;
    clickSegment("##split", 2);
    EXPECT_EQ(project.splitMinutes, 30);

    view.recording = true;
    clickSegment("##fmt", 1);
    EXPECT_TRUE(project.mkv);  // locked: shown, not editable
    openTab(SettingsTab::Audio);
    project.noiseGate = false;
    script.click(GuiScript::id(kTab, {"##gate"}));
    EXPECT_TRUE(project.noiseGate);  // the Audio tab stays open while recording
}

TEST_F(SettingsWindowTest, DestinationsAddKeyAndRemove) {
    openTab(SettingsTab::Destinations);
    script.clickLabel("Kick");
    script.clickLabel("Custom");
    ASSERT_EQ(project.destinations.size(), 2u);
    const std::string kick = project.destinations[0].id, custom = project.destinations[1].id;
    EXPECT_EQ(kick.substr(kick.size() - 2), "-1");
    EXPECT_EQ(custom.substr(custom.size() - 2), "-2");
    EXPECT_EQ(project.destinations[0].canvas, 1);

    // The note follows what is typed into the URL field: the parser's refusal, then the key.
    const auto noteOf = [&](const std::string& id) { return state.destinationNotes[id].note.kind; };
    EXPECT_EQ(noteOf(custom), NoteKind::Hint);
    const ImGuiID url = GuiScript::id(kTab, {custom.c_str(), "##url"});
    script.replaceText(url, "http://example.com/live");
    EXPECT_EQ(noteOf(custom), NoteKind::Error);
    script.replaceText(url, "rtmp://example.com/live");
    EXPECT_EQ(noteOf(custom), NoteKind::Warning);
    view.keyedDestinations = {custom};
    script.frame();
    EXPECT_EQ(noteOf(custom), NoteKind::None);

    // Save cannot be clicked while the field is empty.
    script.click(GuiScript::id(kTab, {kick.c_str(), "Save"}));
    EXPECT_TRUE(actions.saveKeyDestinationId.empty());
    script.click(GuiScript::id(kTab, {kick.c_str(), "##key"}));
    script.type("live_abc123");
    script.click(GuiScript::id(kTab, {kick.c_str(), "Save"}));
    EXPECT_EQ(actions.saveKeyDestinationId, kick);
    EXPECT_EQ(actions.streamKey, "live_abc123");
    // Kept until the studio reports the key stored.
    EXPECT_EQ(state.typedStreamKeys[kick], "live_abc123");

    script.click(GuiScript::id(kTab, {kick.c_str(), "Remove destination"}));
    EXPECT_EQ(actions.forgetKeyDestinationId, kick);
    EXPECT_EQ(state.typedStreamKeys.count(kick) + state.destinationNotes.count(kick), 0u);
    ASSERT_EQ(project.destinations.size(), 1u);
    EXPECT_EQ(project.destinations[0].id, custom);

    view.live = true;
    script.clickLabel("YouTube");
    EXPECT_EQ(project.destinations.size(), 1u);
}

TEST_F(SettingsWindowTest, ControlPortAppliesWhenLeftAndButtonsReport) {
    project.remoteControl = true;
    openTab(SettingsTab::Control);
    const ImGuiID port = GuiScript::id(kTab, {"##port"});
    script.replaceText(port, "80");
    EXPECT_EQ(project.remotePort, 7469);  // not while typing
    script.key(ImGuiKey_Enter);
    EXPECT_EQ(project.remotePort, 1024);
    script.replaceText(port, "70000");
    EXPECT_EQ(project.remotePort, 1024);
    script.click(GuiScript::id(kTab, {"##lan"}));  // leaving the field applies it
    EXPECT_EQ(project.remotePort, 65535);
    EXPECT_TRUE(project.localNetwork);

    script.clickLabel("Pair phone");
    EXPECT_TRUE(actions.startPairing);
    script.clickLabel("New");
    EXPECT_TRUE(actions.newRemoteAddress);
}

TEST_F(SettingsWindowTest, TextsWithFormatDirectivesAreDrawnAsText) {
    const std::string odd = "100% %s%n%d %%";
    view.micStatus = view.micEffects = view.desktopStatus = view.remoteError = view.vcamError = odd;
    view.microphones = {{odd, odd}};
    view.localAddresses = {odd};
    view.pairingCode = odd;
    project.micDeviceId = project.themeName = odd;
    project.voiceProcessing = project.desktopAudio = true;
    project.virtualCamera = project.remoteControl = true;
    project.recordingFolder = project.backupFolder = project.showName = odd;
    Destination d = makePresetDestination(3, 1, 1);
    d.name = d.serverUrl = odd;
    project.destinations = {d};
    // Where each tab shows the text: drawn as a format, none of them would read like this.
    const std::string asDrawn = "100%%s%n%d%%";  // blanks draw nothing
    const std::pair<int, int> places[] = {
        {SettingsTab::Video, 1},         // style pill
        {SettingsTab::Audio, 4},         // microphone pill, status, effects, PC sound status
        {SettingsTab::Recording, 3},     // show name, folder, backup folder
        {SettingsTab::Destinations, 3},  // card title, name and server URL
        {SettingsTab::Control, 4},       // pairing code, addresses, camera error, remote error
    };
    for (auto [tab, count] : places) {
        openTab(tab);
        EXPECT_EQ(occurrences(drawnText(), asDrawn), count) << "tab " << tab << ": " << drawnText();
    }
    view.pairingCode = "12";  // a short code from the environment is drawn whole
    script.frame();
}

TEST_F(SettingsWindowTest, EachTabOpensAtItsTop) {
    height = 560;  // the window's own size: the longer tabs scroll
    for (int i = 1; i <= 3; ++i) project.destinations.push_back(makePresetDestination(3, 1, i));
    openTab(SettingsTab::Destinations);
    ImGuiWindow* region = GuiScript::window(kTab);
    ASSERT_NE(region, nullptr);
    const auto scrollToEnd = [&] {
        ImGui::SetScrollY(region, region->ScrollMax.y);
        script.frames(2);
        ASSERT_GT(region->Scroll.y, 0.0f);
    };
    const auto formatRowShown = [&] {
        const LoggedItem* format = ItemLog::find(GuiScript::id(kTab, {"##fmt", 0, "##seg"}));
        return format && region->InnerRect.Contains(format->rect);
    };
    scrollToEnd();
    script.click(GuiScript::id("Settings", {"##stabs", SettingsTab::Recording, "##seg"}));
    ASSERT_EQ(state.tab, SettingsTab::Recording);
    EXPECT_EQ(region->Scroll.y, 0.0f);
    EXPECT_TRUE(formatRowShown());
}

TEST(SettingsRules, FolderPathsKeepTheirEnd) {
    HeadlessGui gui;
    gui.frame([] {
        const auto width = [](const char* text) { return ImGui::CalcTextSize(text).x; };
        const std::string videos = "C:\\Users\\Ana\\Videos\\Quillhaven";
        // The width is that of the ellipsis and `fits`, plus `extra` pixels.
        struct Case {
            std::string path;
            const char* fits;
            float extra;
            const char* shown;
        } cases[] = {
            {videos, "\\Videos\\Quillhaven", 0, "\\Videos\\Quillhaven"},
            {videos, "\\Videos\\Quillhaven", -1, "\\Quillhaven"},  // from the next separator
            {videos, "haven", 0, "haven"},  // the last name alone is too long: its end
            {"D:/Aufnahmen/Gro\xC3\x9F" "e Videos", "e Videos", width("\xC3\x9F") - 1, "e Videos"},
        };
        for (const Case& c : cases) {
            const char* end = c.path.c_str() + c.path.size();
            const float w = width("\xE2\x80\xA6") + width(c.fits) + c.extra;
            EXPECT_STREQ(elidedPathStart(c.path.c_str(), end, w), c.shown) << c.path << " in " << w;
        }
        EXPECT_EQ(elidedPathStart(videos.c_str(), videos.c_str() + videos.size(), width(videos.c_str())),
                  videos.c_str());
    });
}
