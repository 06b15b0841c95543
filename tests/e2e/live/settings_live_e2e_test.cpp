// A person's way to a stream: a destination added in the settings window, its
// server URL and stream key typed there, the key saved to the secret store by
// the studio, then going live to nginx from those settings alone.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/studio.h"
#include "live/session/live_fakes.h"
#include "nginx_peer.h"
#include "support/test_encoders.h"
#include "ui/gui_script.h"
#include "ui/settings_window.h"
#include "util/secret_store.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kTab = "Settings/##stab";
constexpr int kSampleRate = 48000;

std::string e2eFolder(const std::string& name) {
    const char* bin = std::getenv("QH_BINARY_DIR");
    return std::string(bin ? bin : ".") + "/e2e-live/" + name;
}

}  // namespace

TEST(SettingsLiveEndToEnd, ADestinationKeyedInTheSettingsGoesLive) {
    const std::string folder = e2eFolder("settings");
    std::filesystem::remove_all(folder + "/profile");
    std::filesystem::create_directories(folder + "/profile");
    setenv("QUILLHAVEN_PROFILE", (folder + "/profile").c_str(), 1);
    NginxRtmpPeer peer(folder, {"show"});
    ASSERT_TRUE(peer.start()) << peer.lastError();

    HeadlessGui gui;
    ImGui::GetIO().DisplaySize = ImVec2(1280, 3000);
    Studio studio(nullptr);
    studio.project = makeDefaultProject();
    studio.project.canvases[0] = CanvasSettings{1280, 720, 30, 8000};
    livefake::PixelCanvas canvas(1280, 720, 1280 * 4);
    LiveMediaAccess access;
    access.makeVideoEncoder = makeTestVideoEncoder;
    access.makeAudioEncoder = makeTestAudioEncoder;
    access.compositor = [&](int) -> ICompositor* { return &canvas; };
    studio.live.kit = access;

    studio.settings.open = true;
    studio.settings.tab = SettingsTab::Destinations;
    GuiScript script(gui, [&] {
        gui.bareFrame([&] {
            ImGui::SetWindowPos("Settings", ImVec2(0, 0));
            ImGui::SetWindowSize("Settings", ImVec2(460, 3000));
            studio.drawSettings();
        });
    });
    script.frames(2);
    script.clickLabel("Custom");
    ASSERT_EQ(studio.project.destinations.size(), 1u);
    const std::string id = studio.project.destinations[0].id;
    const std::string typedKey = "e2e-key-" + id;
    script.click(GuiScript::id(kTab, {id.c_str(), "##url"}));
    script.type(peer.url("show"));
    script.click(GuiScript::id(kTab, {id.c_str(), "##key"}));
    script.type(typedKey);
    script.click(GuiScript::id(kTab, {id.c_str(), "##res", 3, "##seg"}));  // 480p
    script.click(GuiScript::id(kTab, {id.c_str(), "Save"}));
    EXPECT_EQ(studio.toast.text, "Stream key saved in Windows Credential Manager");
    EXPECT_EQ(studio.settings.typedStreamKeys[id], "");
    EXPECT_EQ(loadSecret("dest/" + id), typedKey);
    const Destination& d = studio.project.destinations[0];
    EXPECT_EQ(d.serverUrl, peer.url("show"));
    EXPECT_EQ(d.heightLimit, 480);
    EXPECT_EQ(destinationNote(d, studio.keyedDestinations).kind, NoteKind::None);

    studio.toggleLive();
    ASSERT_TRUE(studio.live.isLive()) << studio.toast.text;
    const auto start = Clock::now();
    int64_t samplesSent = 0;
    bool live = false;
    while (Clock::now() - start < std::chrono::seconds(20)) {
        canvas.newTick();
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        std::vector<int16_t> samples(size_t(int64_t(elapsed * kSampleRate) - samplesSent) * 2, 0);
        samplesSent += int64_t(samples.size() / 2);
        studio.live.pushMedia(studio.project, samples);
        live = live || studio.live.liveCount() == 1;
        if (live && elapsed > 3) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
    ASSERT_TRUE(live) << studio.live.statuses()[0].error;
    studio.toggleLive();
    EXPECT_EQ(studio.toast.text, "Stream ended");
    peer.stop();
    storeSecret("dest/" + id, "");

    EXPECT_NE(peer.errorLog().find("publish: name='" + typedKey + "'"), std::string::npos);
    const auto files = peer.recordings("show");
    ASSERT_EQ(files.size(), 1u);
    const std::string probe = runCommand(
        "ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,height "
        "-of default=noprint_wrappers=1 '" + files[0] + "'");
    EXPECT_NE(probe.find("codec_name=h264"), std::string::npos) << probe;
    EXPECT_NE(probe.find("height=480"), std::string::npos) << probe;
}
