// Quitting while recording both canvases and live: the studio's shutdown, not the destructors
// that run after the GUI and the device are gone, must finish every file and end every stream.
// Native, with the test-only encoders, Matroska files checked by ffprobe and mkvinfo, and an
// nginx RTMP server whose log shows the unpublish.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "app/studio.h"
#include "imgui.h"
#include "e2e/live/nginx_peer.h"
#include "media/mkv_recorder.h"
#include "recording/recording_fakes.h"
#include "support/test_encoders.h"
#include "util/secret_store.h"

namespace {

using Clock = std::chrono::steady_clock;

// A box that moves one step per frame.
class MovingBox : public StillCompositorBase {
public:
    MovingBox(int w, int h) : w(w), h(h), pixels(size_t(w) * h * 4) {}
    const uint8_t* mapPixels(int* rowPitch) override {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t* p = &pixels[(size_t(y) * w + x) * 4];
                const bool box = std::abs(x - frame % w) < 16 && std::abs(y - h / 2) < 16;
                p[0] = box ? 255 : uint8_t(x);
                p[1] = box ? 255 : uint8_t(y);
                p[2] = uint8_t(frame);
                p[3] = 255;
            }
        }
        ++frame;
        *rowPitch = w * 4;
        return pixels.data();
    }
    int w, h, frame = 0;
    std::vector<uint8_t> pixels;
};

// A microphone that hands out a tone as the clock runs, and notes what the studio had
// already finished when it was stopped.
class ToneMic : public fakes::FakeMic {
public:
    explicit ToneMic(const Studio*& studio) : studio(studio) {}
    void setCollecting(bool on) override {
        collecting = on;
        last = Clock::now();
    }
    void takeSamples(std::vector<int16_t>& s) override {
        s.clear();
        if (!collecting) return;
        const auto now = Clock::now();
        const auto frames = std::chrono::duration_cast<std::chrono::microseconds>(now - last).count() * 48 / 1000;
        last += std::chrono::microseconds(frames * 1000 / 48);
        for (int64_t i = 0; i < frames; ++i, ++at) {
            const auto v = int16_t(6000 * std::sin(2 * M_PI * 440.0 * double(at) / 48000.0));
            s.push_back(v);
            s.push_back(v);
        }
    }
    void stop() override {
        if (studio && !stoppedWhileBusy) {
            stoppedWhileBusy = studio->recording.recording || studio->live.isLive();
            stopped = true;
        }
    }
    const Studio*& studio;
    bool collecting = false, stopped = false, stoppedWhileBusy = false;
    Clock::time_point last;
    int64_t at = 0;
};

std::string quoted(const std::string& p) { return "'" + p + "'"; }

}  // namespace

TEST(StudioShutdown, FinishesRecordingsAndEndsStreamsBeforeTheAudioAndTheSave) {
    for (const char* tool : {"ffprobe -version", "mkvinfo --version"}) {
        int status = -1;
        runCommand(std::string(tool) + " >/dev/null 2>&1", &status);
        ASSERT_EQ(status, 0) << tool << " is needed";
    }
    const std::string root = fakes::scratchFolder("shutdown");
    NginxRtmpPeer peer(root + "/nginx", {"live"});
    ASSERT_TRUE(peer.start()) << peer.lastError();
    std::filesystem::create_directories(root + "/profile");
    setenv("QUILLHAVEN_PROFILE", (root + "/profile").c_str(), 1);
    ASSERT_TRUE(storeSecret("dest/main", "shutdown"));

    ImGuiContext* gui = ImGui::CreateContext();
    const Studio* watched = nullptr;
    MediaKit kit;
    kit.compositors[0] = std::make_unique<MovingBox>(320, 180);
    kit.compositors[1] = std::make_unique<MovingBox>(180, 320);
    kit.makeRecorder = [](Container) -> std::unique_ptr<IRecorder> {
        return std::make_unique<MkvRecorder>(makeTestVideoEncoder(), makeTestAudioEncoder());
    };
    kit.makeVideoEncoder = makeTestVideoEncoder;
    kit.makeAudioEncoder = makeTestAudioEncoder;
    auto mic = std::make_unique<ToneMic>(watched);
    ToneMic& tone = *mic;
    kit.micInput = std::move(mic);
    auto studio = std::make_unique<Studio>(std::move(kit), nullptr);
    watched = studio.get();

    Project& p = studio->project;
    p = makeDefaultProject();
    p.showName = "Quit";
    p.mkv = true;
    p.recordVertical = true;
    p.recordingFolder = root + "/rec";
    p.canvases[0] = {320, 180, 30, 600};
    p.canvases[1] = {180, 320, 30, 600};
    Destination d;
    d.id = "main";
    d.name = "Main";
    d.serverUrl = peer.url("live");
    d.bitrateKbps = 600;
    p.destinations = {d};
    studio->projectPath = root + "/profile/project.txt";

    studio->toggleRecord();
    ASSERT_TRUE(studio->recording.recording) << studio->toast.text;
    studio->toggleLive();
    ASSERT_TRUE(studio->live.isLive()) << studio->toast.text;
    // The main loop, until the stream is live and a few seconds are recorded.
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    const auto started = Clock::now();
    int64_t lastTickBegan = 0, lastTickEnded = 0;
    for (;;) {
        lastTickBegan = steadyNowNs();
        studio->tick();
        lastTickEnded = steadyNowNs();
        if ((studio->live.liveCount() == 1 && Clock::now() - started >= std::chrono::seconds(3)) ||
            Clock::now() > deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // a display's pace, not a wait
    }
    ASSERT_EQ(studio->live.liveCount(), 1) << studio->live.statusText();
    const std::vector<std::wstring> files = studio->recording.savedFiles;
    // The time recorded is what the last tick saw, somewhere within that tick.
    const double recordedFrom = double(lastTickBegan - studio->recording.startTime) / 1e9;
    const double recordedTo = double(lastTickEnded - studio->recording.startTime) / 1e9;

    EXPECT_TRUE(studio->shutdown());
    EXPECT_FALSE(studio->recording.recording);
    EXPECT_FALSE(studio->live.isLive());
    EXPECT_TRUE(tone.stopped);
    EXPECT_FALSE(tone.stoppedWhileBusy) << "the audio inputs stopped before the outputs and files";
    Project saved;
    EXPECT_TRUE(saved.load(studio->projectPath));

    // Every file is whole before the studio is destroyed.
    ASSERT_EQ(files.size(), 2u);
    const double frame = 1.0 / 30;
    for (const std::wstring& w : files) {
        const std::string file = wideToUtf8(w);
        SCOPED_TRACE(file);
        int status = -1;
        const std::string duration =
            runCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " + quoted(file) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << duration;
        // The last frame runs one frame past the time it was taken at (milliseconds in the file).
        const double seconds = std::atof(duration.c_str());
        EXPECT_GT(seconds, recordedFrom - 2e-3) << duration;
        EXPECT_LE(seconds, recordedTo + frame + 2e-3) << duration << " vs " << recordedTo;
        const std::string info = runCommand("mkvinfo " + quoted(file) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << info;
    }

    // The server heard the stream unpublished and deleted before the connection closed.
    std::vector<std::string> lines;
    const auto logDeadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < logDeadline) {
        lines = peer.publisherLogLines("shutdown");
        if (firstLineWith(lines, "disconnect") >= 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const int unpublish = firstLineWith(lines, "'FCUnpublish'");
    const int remove = firstLineWith(lines, "'deleteStream'");
    EXPECT_GE(unpublish, 0);
    EXPECT_GT(remove, unpublish);
    EXPECT_GT(firstLineWith(lines, "disconnect"), remove);

    studio.reset();
    ImGui::DestroyContext(gui);
    storeSecret("dest/main", "");
    peer.stop();
}
