// The top bar, its two popups, the scenes and layers sidebar and the teleprompter,
// driven through the headless GUI with scripted mouse input.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/headless_gui.h"
#include "ui/layers_panel.h"
#include "ui/teleprompter.h"
#include "ui/top_bar.h"
#include "ui/widgets.h"

namespace {

ImGuiID windowSeed(const char* window) { return ImGui::FindWindowByName(window)->ID; }
ImGuiID hashStr(ImGuiID seed, const char* s) { return ImHashStr(s, 0, seed); }
ImGuiID hashInt(ImGuiID seed, int n) { return ImHashData(&n, sizeof n, seed); }
// Id of the widget kit's icon button with this glyph and tooltip, under seed.
ImGuiID iconId(ImGuiID seed, unsigned glyph, const char* tooltip) {
    return hashStr(hashStr(hashInt(seed, int(glyph)), tooltip), "##ib");
}
bool logged(const char* label) { return ItemLog::findByLabel(label) != nullptr; }
ImVec2 centreByLabel(const char* label) {
    const LoggedItem* item = ItemLog::findByLabel(label);
    return item ? item->rect.GetCenter() : ImVec2(-1000, -1000);
}

Destination destination(const char* id, const char* url, bool on) {
    Destination d;
    d.id = id;
    d.name = std::string("Channel %n%s ") + id;  // drawn as text, never as a format
    d.serverUrl = url;
    d.streamHere = on;
    return d;
}

class Panels : public ::testing::Test {
protected:
    void SetUp() override { setTheme(true, "Studio"); }
    // A body that opens popup `name` in its first frame, drawn for the two frames
    // a popup takes to appear.
    std::function<void()> openPopup(const char* name, std::function<void()> draw) {
        auto first = std::make_shared<bool>(true);
        std::function<void()> body = [=] {
            if (*first) ImGui::OpenPopup(name);
            *first = false;
            draw();
        };
        ItemLog::clear();
        gui.frame(body);
        gui.frame(body);
        return body;
    }
    ImGuiID inPopup(const char* scope) {
        return hashStr(GImGui->OpenPopupStack.back().Window->ID, scope);
    }
    HeadlessGui gui;
};

}  // namespace

TEST_F(Panels, TopBarReportsEachClickAndLeavesItsControlsOutOfTheDragAreas) {
    TopBarState st;
    st.statusText = "Light load";
    TopBarActions got;
    std::vector<TitleRect> rects;
    auto body = [&] {
        rects.clear();
        got = drawTopBar(ImVec2(260, 0), 700, st, rects);
    };
    ItemLog::clear();
    gui.frame(body);
    const ImGuiID seed = windowSeed("test");
    EXPECT_EQ(ItemLog::find(iconId(seed, Icon::pause, "Pause (Ctrl+P)")), nullptr);

    // Recording, with an update waiting: every control shows.
    st.recording = st.updateReady = true;
    gui.frame(body);
    struct Case {
        ImGuiID id;
        bool TopBarActions::*flag;
    } cases[] = {
        {hashStr(seed, "##record"), &TopBarActions::record},
        {hashStr(seed, "##live"), &TopBarActions::goLive},
        {hashStr(seed, "##mixer"), &TopBarActions::mixer},
        {iconId(seed, Icon::pause, "Pause (Ctrl+P)"), &TopBarActions::pause},
        {iconId(seed, Icon::camera, "Add a camera to this scene"), &TopBarActions::camera},
        {iconId(seed, Icon::microphone, "Mute microphone"), &TopBarActions::mute},
        {iconId(seed, Icon::teleprompter, "Teleprompter (Ctrl+T)"), &TopBarActions::teleprompter},
        {iconId(seed, Icon::settings, "Settings (Ctrl+,)"), &TopBarActions::settings},
        {iconId(seed, Icon::update, ""), &TopBarActions::update},
    };
    ASSERT_FALSE(rects.empty());
    for (const Case& c : cases) {
        const LoggedItem* item = ItemLog::find(c.id);
        ASSERT_NE(item, nullptr) << &c - cases;
        // A drag area over a control would take its clicks for moving the window.
        for (const TitleRect& r : rects)
            EXPECT_FALSE(item->rect.Overlaps(ImRect(r.left, r.top, r.right, r.bottom))) << &c - cases;
        bool clicked = false;
        gui.click(c.id, [&] {
            body();
            clicked = clicked || got.*c.flag;
        });
        EXPECT_TRUE(clicked) << &c - cases;
    }
}

TEST_F(Panels, GoLivePopupMainButtonSaysWhatWillHappen) {
    const char* yt = "rtmp://a.rtmp.youtube.com/live2";
    const char* other = "rtmps://live.example.net/app";
    struct Case {
        std::vector<Destination> destinations;
        std::set<std::string> keyed;
        const char* button;
        bool goLive, openDestinations;
        bool link;
    } cases[] = {
        {{}, {}, "Add a channel\xE2\x80\xA6", false, true, false},
        {{destination("a", yt, false)}, {"a"}, "Turn on a channel", false, false, true},
        {{destination("a", other, true)}, {}, "Add a stream key first", false, true, false},
        {{destination("a", yt, true), destination("b", other, true)}, {"a", "b"},
         "Go Live on 2 channels", true, false, true},
        {{destination("a", other, true)}, {"a"}, "Go Live on 1 channel", true, false, false},
        // One ready and one without its key: going live would refuse both.
        {{destination("a", other, true), destination("b", other, true)}, {"a"},
         "Add a stream key first", false, true, false},
    };
    for (const Case& c : cases) {
        Project project;
        project.destinations = c.destinations;
        GoLiveActions seen;
        auto body = openPopup("##golive", [&] {
            GoLiveActions got = drawGoLivePopup(ImVec2(900, 56), project, {}, c.keyed);
            seen.goLive |= got.goLive;
            seen.openDestinations |= got.openDestinations;
        });
        ASSERT_TRUE(logged(c.button)) << c.button;
        EXPECT_EQ(logged("Title, thumbnail\xE2\x80\xA6"), c.link) << c.button;
        gui.clickAt(centreByLabel(c.button), body, false);
        EXPECT_EQ(seen.goLive, c.goLive) << c.button;
        EXPECT_EQ(seen.openDestinations, c.openDestinations) << c.button;
    }
}

TEST_F(Panels, GoLivePopupWhileLiveStopsOneOrEndsAll) {
    Project project;
    std::vector<GoLiveRow> rows = {{"a", "Main", "Live", true},
                                   {"b", "Backup %n", "Reconnecting: %s%n", false}};
    GoLiveActions seen;
    auto body = openPopup("##golive", [&] {
        GoLiveActions a = drawGoLivePopup(ImVec2(900, 56), project, rows, {});
        if (!a.stopDestinationId.empty()) seen.stopDestinationId = a.stopDestinationId;
        seen.endStream |= a.endStream;
    });
    ASSERT_TRUE(logged("End stream on all"));
    const LoggedItem* stopA = ItemLog::find(hashStr(inPopup("a"), "Stop"));
    const LoggedItem* stopB = ItemLog::find(hashStr(inPopup("b"), "Stop"));
    ASSERT_TRUE(stopA && stopB);
    EXPECT_LT(stopA->rect.Min.y, stopB->rect.Min.y);
    gui.clickAt(stopB->rect.GetCenter(), body, false);
    EXPECT_EQ(seen.stopDestinationId, "b");
    EXPECT_FALSE(GImGui->OpenPopupStack.empty());  // the popup stays open
    rows.pop_back();
    gui.frame(body);
    gui.clickAt(centreByLabel("End stream"), body, false);
    EXPECT_TRUE(seen.endStream);
    EXPECT_TRUE(GImGui->OpenPopupStack.empty());
}

TEST_F(Panels, MixerOffersPcSoundSwitchWhenOffAndReportsMutes) {
    Project project;
    project.desktopAudio = false;
    MixerActions seen;
    auto body = openPopup("##mixer", [&] {
        MixerActions a =
            drawMixerPopup(ImVec2(600, 56), project, MixerState{0.6f, 0.2f, false, true});
        seen.toggleMicMute |= a.toggleMicMute;
        seen.toggleDesktopMute |= a.toggleDesktopMute;
        seen.openAudioSettings |= a.openAudioSettings;
    });
    EXPECT_FALSE(logged("PC sound (game, apps)"));
    gui.clickAt(centreByLabel("##pc"), body, false);
    EXPECT_TRUE(project.desktopAudio);
    gui.frame(body);
    gui.click(iconId(inPopup("Microphone"), Icon::microphone, "Mute"), body);
    EXPECT_TRUE(seen.toggleMicMute);
    // PC sound is muted: its strip offers the unmute icon.
    gui.click(iconId(inPopup("PC sound (game, apps)"), Icon::pcSoundOff, "Unmute"), body);
    EXPECT_TRUE(seen.toggleDesktopMute);
    gui.clickAt(centreByLabel("More audio settings\xE2\x80\xA6"), body, false);
    EXPECT_TRUE(seen.openAudioSettings);
}

TEST_F(Panels, SceneOperationsKeepTheActiveSceneAndNeverDeleteTheLast) {
    auto named = [](std::vector<const char*> names, int active) {
        Project p;
        for (const char* n : names) p.scenes.push_back(Scene{n, {}, -1});
        p.activeScene = active;
        return p;
    };
    enum { Add, Duplicate, Delete };
    struct Case {
        const char* what;
        Project project;
        int op, index;
        std::vector<std::string> names;
        int active;
    } cases[] = {
        {"add names by count", named({"A", "B", "Scene 4"}, 0), Add, 0,
         {"A", "B", "Scene 4", "Scene 4"}, 3},
        {"delete the active last", named({"A", "B", "C"}, 2), Delete, 2, {"A", "B"}, 1},
        {"delete before active", named({"A", "B", "C"}, 2), Delete, 0, {"B", "C"}, 1},
        {"delete after active", named({"A", "B", "C"}, 0), Delete, 2, {"A", "B"}, 0},
        {"delete the first active", named({"A", "B"}, 0), Delete, 0, {"B"}, 0},
        {"only scene stays", named({"A"}, 0), Delete, 0, {"A"}, 0},
        {"duplicate before active", named({"A", "B"}, 1), Duplicate, 0, {"A", "A copy", "B"}, 2},
        {"duplicate the active", named({"A", "B"}, 0), Duplicate, 0, {"A", "A copy", "B"}, 0},
    };
    for (Case& c : cases) {
        int selected = 3;
        if (c.op == Add) addScene(c.project, selected);
        if (c.op == Duplicate) duplicateScene(c.project, c.index);
        if (c.op == Delete) deleteScene(c.project, c.index, selected);
        std::vector<std::string> names;
        for (const Scene& s : c.project.scenes) names.push_back(s.name);
        EXPECT_EQ(names, c.names) << c.what;
        EXPECT_EQ(c.project.activeScene, c.active) << c.what;
        if (c.op != Duplicate && names.size() != 1) {
            EXPECT_EQ(selected, -1) << c.what;
        }
    }
}

TEST_F(Panels, SidebarSwitchesScenesSelectsLayersAndAsksForNewOnes) {
    Project project;
    for (int i = 0; i < 10; ++i)
        project.scenes.push_back(Scene{"Scene " + std::to_string(i + 1), {}, -1});
    // Names are the user's text: a format directive in them must be drawn, never run.
    project.scenes[0].name = "100% %s%n";
    project.scenes[0].layers.push_back(makeLayer(LayerKind::Text, "Title %n%s%s"));
    project.scenes[0].layers.push_back(makeLayer(LayerKind::Color, "Backdrop"));
    int selected = -1, asked = -1;
    auto body = [&] {
        int kind = drawLayersPanel(project, selected);
        if (kind >= 0) asked = kind;
    };
    ItemLog::clear();
    gui.frame(body);
    const ImGuiID seed = windowSeed("test");
    // Rows run from the top layer down: "Backdrop" (index 1) comes first.
    const LoggedItem* top = ItemLog::find(hashStr(hashInt(seed, 1), "##layer"));
    const LoggedItem* bottom = ItemLog::find(hashStr(hashInt(seed, 0), "##layer"));
    ASSERT_TRUE(top && bottom);
    EXPECT_LT(top->rect.Min.y, bottom->rect.Min.y);
    // Quick add is offered while the scene holds only text and colour.
    gui.clickAt(centreByLabel("Camera"), body, false);
    EXPECT_EQ(asked, LayerKind::Camera);
    project.scenes[0].layers.push_back(makeLayer(LayerKind::Camera, "Camera"));
    ItemLog::clear();
    gui.frame(body);
    EXPECT_FALSE(logged("Game or app"));

    // The eye flips visibility without touching the selection.
    selected = 0;
    gui.click(iconId(hashInt(seed, 0), Icon::eye, "Hide"), body);
    EXPECT_FALSE(project.scenes[0].layers[0].visible);
    EXPECT_EQ(selected, 0);
    gui.click(hashStr(hashInt(seed, 1), "##layer"), body);
    EXPECT_EQ(selected, 1);
    // Scene rows are pushed by index too; a click switches and clears the selection.
    gui.click(hashStr(hashInt(seed, 9), "##scene"), body);
    EXPECT_EQ(project.activeScene, 9);
    EXPECT_EQ(selected, -1);
    // The add menu returns the kind of the row clicked.
    gui.click(iconId(seed, Icon::add, "Add layer"), body);
    gui.frame(body);
    gui.click(hashStr(hashInt(GImGui->OpenPopupStack.back().Window->ID, LayerKind::Chat), "##kind"),
              body);
    EXPECT_EQ(asked, LayerKind::Chat);
}

TEST_F(Panels, TeleprompterScrollsBySpeedNotFrameRateAndStopsAtTheEnd) {
    for (int fps : {30, 60, 144}) {
        TeleprompterState st;
        st.playing = true;
        for (int i = 0; i < fps; ++i) advancePrompter(st, 200, 1.0f / float(fps), 1e6f);
        EXPECT_NEAR(st.scroll, 200 * uiScale(), 0.05) << fps;
        EXPECT_TRUE(st.playing);
    }
    TeleprompterState end;
    end.playing = true;
    end.scroll = 95;
    advancePrompter(end, 40, 0.5f, 100);
    EXPECT_FLOAT_EQ(end.scroll, 100);
    EXPECT_FALSE(end.playing);
}

TEST_F(Panels, TeleprompterPanelPlaysEditsAndDropsItsShadowWhenClosed) {
    Project project;
    TeleprompterState st;
    st.open = st.playing = true;
    auto body = [&] {
        drawTeleprompterShadow(ImGui::GetWindowDrawList(), st);
        drawTeleprompterPanel(project, st);
    };
    gui.bareFrame(body);
    gui.bareFrame(body);
    EXPECT_FALSE(st.playing);  // an empty script has nowhere to scroll
    EXPECT_GT(st.windowSize.x, 0);

    project.prompterText = std::string(4000, 'x');
    for (size_t i = 40; i < project.prompterText.size(); i += 40) project.prompterText[i] = ' ';
    st.playing = true;
    gui.bareFrame(body);
    gui.bareFrame(body);
    EXPECT_GT(st.scroll, 0);
    const ImGuiID w = windowSeed("Teleprompter");
    gui.clickAt(HeadlessGui::centreOf(iconId(w, Icon::edit, "Edit script")), body, true);
    EXPECT_TRUE(st.editing);
    EXPECT_FALSE(st.playing);
    const float scrolled = st.scroll;
    gui.bareFrame(body);
    gui.clickAt(HeadlessGui::centreOf(iconId(w, Icon::edit, "Done editing")), body, true);
    EXPECT_FALSE(st.editing);
    EXPECT_NEAR(st.scroll, scrolled, 1.0);  // reading resumes where it stopped

    st.open = false;
    gui.bareFrame(body);
    EXPECT_EQ(st.windowSize.x, 0);
}
