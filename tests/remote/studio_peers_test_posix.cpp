// Clients no one here wrote, python3-websockets and the npm package `ws`,
// pair with the studio, run every operation and expect the exact replies,
// receive the chat pushed to them, are dropped by a restart and come back
// with the token. Recording and going live run for real on stand-in
// recorders, encoders and server.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <limits>
#include <mutex>
#include <sys/wait.h>
#include <thread>

#include "live/session/live_fakes.h"
#include "recording/recording_fakes.h"
#include "remote/studio_remote_test_support.h"
#include "ui/headless_gui.h"
#include "util/secret_store.h"

namespace {

struct PeerRun {
    std::vector<std::string> lines;
    std::vector<std::string> notices;  // the studio's notices, in the order shown
    int exitCode = -1;
};

// Stand-ins under the studio's recording and live sessions, and one
// destination with its key, so that the record and live operations act.
struct MediaStandIns {
    explicit MediaStandIns(Studio& studio) {
        const char* test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        studio.project.recordingFolder = fakes::scratchFolder(std::string("remote-") + test);
        studio.recording.makeRecorder = [this](Container c) { return std::make_unique<fakes::FakeRecorder>(book, c); };
        studio.recording.compositors[0] = &canvases[0];
        studio.recording.compositors[1] = &canvases[1];
        Destination destination;
        destination.id = "main";
        destination.serverUrl = "rtmp://127.0.0.1/live";
        studio.project.destinations = {destination};
        storeSecret("dest/main", "stream-key");
        LiveMediaAccess access;
        access.makeVideoEncoder = [this] { return std::make_unique<livefake::FakeVideoEncoder>(encoders); };
        access.makeAudioEncoder = [this] { return std::make_unique<livefake::FakeAudioEncoder>(encoders); };
        access.compositor = [this](int c) -> ICompositor* { return &canvases[c]; };
        access.makePublisher = livefake::publisherFactory(published);
        studio.live.kit = access;
    }

    fakes::RecorderBook book;
    fakes::FakeCompositor canvases[2];
    std::shared_ptr<livefake::EncoderLog> encoders = std::make_shared<livefake::EncoderLog>();
    std::shared_ptr<livefake::PublishLog> published = std::make_shared<livefake::PublishLog>();
};

// What the live-data workers would have gathered for three channels: two
// live with the largest count a page can give, one not live yet; chat lines
// from the first two, one of the studio's own and one from a channel no
// longer in the list. All four arrive between two ticks.
void putChat(LiveDataFeed& feed) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    feed.channels = {"@main", "@second", "@third"};
    feed.hub = std::make_shared<LiveData::Hub>(YouTubeSite{}, LiveData::steadyClock());
    std::lock_guard<std::mutex> guard(feed.hub->lock);
    feed.hub->channels = {{"@main", "", kMax, "1.2K", "abcdefghijk"},
                          {"@second", "", kMax, "", "bcdefghijkl"},
                          {"@third", "Waiting for @third to go live", -1, "", ""}};
    feed.hub->chat = {{"Ann \"A\"", "hi\nthere \u00e9", 0, 41},
                      {"Quillhaven", "a line of our own", 0, 0},
                      {"Bo", "$5.00  thanks", 1, 42},
                      {"Cy", "from a channel since removed", 7, 43}};
}

// Runs the command while the studio ticks; "RESTART" from the peer turns on
// local-network access, which restarts remote control at the next tick, and
// "CHAT" fills the studio's live data.
PeerRun runPeer(Studio& studio, const std::string& command) {
    PeerRun run;
    std::mutex lock;
    std::atomic<bool> done{false};
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    std::thread reader([&] {
        char line[4096];
        while (std::fgets(line, sizeof line, pipe)) {
            std::string text(line);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            std::lock_guard<std::mutex> guard(lock);
            run.lines.push_back(text);
        }
        done = true;
    });
    size_t seen = 0;
    while (!done) {
        {
            std::lock_guard<std::mutex> guard(lock);
            for (; seen < run.lines.size(); ++seen) {
                if (run.lines[seen] == "RESTART") studio.project.localNetwork = true;
                if (run.lines[seen] == "CHAT") putChat(studio.liveData);
            }
        }
        studio.handleRemoteMessages();
        const std::string& notice = studio.toast.text;
        if (!notice.empty() && (run.notices.empty() || run.notices.back() != notice)) run.notices.push_back(notice);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    reader.join();
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

class RealPeers : public ::testing::TestWithParam<const char*> {};

TEST_P(RealPeers, PairRunEveryOperationSurviveARestart) {
    HeadlessGui gui;
    const bool python = std::string(GetParam()) == "python";
    useFreshProfile(std::string("peer_") + GetParam());
    Studio studio(nullptr);
    ASSERT_TRUE(startRemoteStudio(studio));
    const MediaStandIns media(studio);
    studio.applyPairingCode("246810");
    const std::string source = std::getenv("QH_SOURCE_DIR"), dir = source + "/tests/remote/peers/";
    const std::string args = " " + std::to_string(studio.project.remotePort) + " " + studio.remoteToken +
                             " 246810 " + dir + "scenario.json";
    const PeerRun run = runPeer(studio, python ? "/usr/bin/python3 " + dir + "ws_peer.py" + args
                                               : "NODE_PATH=" + source + "/.deps/node/node_modules node " + dir +
                                                     "ws_peer.js" + args);
    ASSERT_EQ(run.exitCode, 0) << joined(run.lines);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back(), "OK") << joined(run.lines);

    // The scene and layout the peer set are checked in its status replies.
    ASSERT_FALSE(run.notices.empty());
    EXPECT_EQ(run.notices.front(), "Phone paired");
    EXPECT_EQ(run.notices.back(), "Stream ended");
    EXPECT_EQ(studio.pairingCode, "");
    EXPECT_EQ(studio.selectedLayer, -1);
    // Key 3 flipped both layers on it, on both canvases; the keyless layer is untouched.
    for (const Layer& layer : studio.project.scenes[1].layers) {
        if (layer.name == "Text") {
            EXPECT_TRUE(layer.visible);
        } else {
            EXPECT_EQ(layer.visible, layer.name == "Logo") << layer.name;
            EXPECT_EQ(layer.verticalVisible, layer.visible) << layer.name;
        }
    }
    // Two recordings, each file closed; two streams, each encoder closed.
    EXPECT_EQ(media.book.opened().size(), 2u);
    for (const auto& file : media.book.opened()) EXPECT_TRUE(file->closed);
    EXPECT_EQ(media.encoders->opened, 2);
    EXPECT_EQ(media.encoders->closed, 2);
    // The camera client stopped its camera.
    EXPECT_EQ(studio.phoneCameraClient, 0);
    EXPECT_EQ(studio.discovery.session.load(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Clients, RealPeers, ::testing::Values("python", "node"));

}  // namespace
