// Studio::toggleLive: the stream keys come from the secret store, failures become the
// notice, and a recording started by going live ends with the stream.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/studio.h"
#include "imgui.h"
#include "live/session/live_fakes.h"
#include "recording/recording_fakes.h"
#include "util/secret_store.h"

namespace {

class StudioLive : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fakes::scratchFolder(std::string("live-") +
                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        // Stream keys live in the profile's secret store.
        setProfile(folder + "/profile");
        gui = ImGui::CreateContext();
        studio = std::make_unique<Studio>(nullptr);

        Project& p = studio->project;
        Scene scene;
        scene.name = "Scene";
        p.scenes = {scene};
        p.recordingFolder = folder + "/rec";
        Destination d;
        d.id = "main";
        d.name = "Main";
        d.serverUrl = "rtmp://127.0.0.1/live";
        p.destinations = {d};

        studio->recording.makeRecorder = [this](Container c) { return std::make_unique<fakes::FakeRecorder>(book, c); };
        studio->recording.compositors[0] = &canvases[0];
        studio->recording.compositors[1] = &canvases[1];
        LiveMediaAccess access;
        access.makeVideoEncoder = [this]() -> std::unique_ptr<IVideoPacketEncoder> {
            return std::make_unique<livefake::FakeVideoEncoder>(encoders);
        };
        access.makeAudioEncoder = [this]() -> std::unique_ptr<IAudioPacketEncoder> {
            return std::make_unique<livefake::FakeAudioEncoder>(encoders);
        };
        access.compositor = [this](int c) -> ICompositor* { return &canvases[c]; };
        access.makePublisher = livefake::publisherFactory(publishLog);
        studio->live.kit = access;
    }
    void TearDown() override {
        studio.reset();
        ImGui::DestroyContext(gui);
        storeSecret("dest/main", "");
    }
    // Whether the studio can record here; the recording checks need it.
    bool canRecord() {
        studio->toggleRecord();
        const bool ok = studio->recording.recording;
        if (ok) studio->toggleRecord();
        book.logs.clear();
        return ok;
    }
    static void setProfile(const std::string& path) {
        std::filesystem::create_directories(path);
#ifdef _WIN32
        _putenv_s("QUILLHAVEN_PROFILE", path.c_str());
#else
        setenv("QUILLHAVEN_PROFILE", path.c_str(), 1);
#endif
    }

    std::string folder;
    ImGuiContext* gui = nullptr;
    fakes::RecorderBook book;
    fakes::FakeCompositor canvases[2];
    std::shared_ptr<livefake::EncoderLog> encoders = std::make_shared<livefake::EncoderLog>();
    std::shared_ptr<livefake::PublishLog> publishLog = std::make_shared<livefake::PublishLog>();
    std::unique_ptr<Studio> studio;
};

}  // namespace

TEST_F(StudioLive, RecordingStartedByGoingLiveEndsWithTheStream) {
    if (!canRecord()) GTEST_SKIP() << "recording cannot be toggled in this build";
    ASSERT_TRUE(storeSecret("dest/main", "secret-key"));
    studio->project.recordWhenLive = true;
    studio->toggleLive();
    ASSERT_TRUE(studio->live.isLive()) << studio->toast.text;
    EXPECT_EQ(studio->live.outputs[0]->streamKey, "secret-key");
    EXPECT_TRUE(studio->recording.recording);
    EXPECT_TRUE(studio->recordingStartedByLive);

    studio->toggleLive();
    EXPECT_FALSE(studio->live.isLive());
    EXPECT_FALSE(studio->recording.recording);
    EXPECT_FALSE(studio->recordingStartedByLive);
    EXPECT_EQ(studio->toast.text, "Stream ended");
    ASSERT_EQ(book.opened().size(), 1u);
    EXPECT_TRUE(book.opened()[0]->closed);
}

TEST_F(StudioLive, ARecordingTheUserStartedKeepsRunning) {
    if (!canRecord()) GTEST_SKIP() << "recording cannot be toggled in this build";
    ASSERT_TRUE(storeSecret("dest/main", "secret-key"));
    studio->project.recordWhenLive = true;
    studio->toggleRecord();
    ASSERT_TRUE(studio->recording.recording);
    studio->toggleLive();
    ASSERT_TRUE(studio->live.isLive());
    EXPECT_FALSE(studio->recordingStartedByLive);
    studio->toggleLive();
    EXPECT_FALSE(studio->live.isLive());
    EXPECT_TRUE(studio->recording.recording);
    EXPECT_EQ(studio->toast.text, "Stream ended");
}

TEST_F(StudioLive, AFailedStartIsTheNoticeAndRecordsNothing) {
    studio->project.recordWhenLive = true;
    studio->toggleLive();
    EXPECT_FALSE(studio->live.isLive());
    EXPECT_FALSE(studio->recording.recording);
    EXPECT_EQ(studio->toast.text, "Could not go live: Main: add the stream key in Settings > Destinations");

    // Without record-when-live a good start records nothing either.
    ASSERT_TRUE(storeSecret("dest/main", "k"));
    studio->project.recordWhenLive = false;
    studio->toggleLive();
    EXPECT_TRUE(studio->live.isLive());
    EXPECT_FALSE(studio->recording.recording);
    EXPECT_EQ(studio->live.outputs[0]->streamKey, "k");
    studio->toggleLive();
    EXPECT_EQ(studio->toast.text, "Stream ended");
}

TEST_F(StudioLive, StopFromThePopupLeavesTheOthersLiveAndUpdateWaitsForTheEnd) {
    Destination backup = studio->project.destinations[0];
    backup.id = "backup";
    backup.name = "Backup";
    studio->project.destinations.push_back(backup);
    ASSERT_TRUE(storeSecret("dest/main", "k1"));
    ASSERT_TRUE(storeSecret("dest/backup", "k2"));
    studio->toggleLive();
    ASSERT_EQ(studio->live.outputs.size(), 2u) << studio->toast.text;

    TopBarActions update;
    update.update = true;
    studio->applyTopBarActions(update);
    EXPECT_EQ(studio->toast.text, "Finish streaming and recording first, then click update again.");
    EXPECT_FALSE(studio->updatePending);

    GoLiveActions stop;
    stop.stopDestinationId = "main";
    studio->applyGoLiveActions(stop);
    ASSERT_EQ(studio->live.outputs.size(), 1u);
    EXPECT_EQ(studio->live.outputs[0]->destination.id, "backup");
    EXPECT_EQ(studio->toast.text, "Stopped one channel; the others are still live");

    // The last one ends the stream as the go-live button would.
    stop.stopDestinationId = "backup";
    studio->applyGoLiveActions(stop);
    EXPECT_FALSE(studio->live.isLive());
    EXPECT_EQ(studio->toast.text, "Stream ended");
    storeSecret("dest/backup", "");
}
