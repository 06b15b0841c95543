// Recording through the system's own recorders. A machine without an H.264 encoder (a build
// machine's Windows layer) must refuse with a text that says so, in either container.

#include <gtest/gtest.h>

#include <windows.h>
#include <mfapi.h>

#include "media/mf/mf_audio_encoder.h"
#include "media/mf/mf_recorder.h"
#include "media/mf/mf_video_encoder.h"
#include "media/mkv_recorder.h"
#include "recording_fakes.h"

using namespace fakes;

TEST(RecordingOnThisSystem, WithoutAnH264EncoderTheUserIsToldWhy) {
    ASSERT_TRUE(SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL)));
    for (bool mkv : {false, true}) {
        SCOPED_TRACE(mkv ? "Matroska" : "MP4");
        World world;
        FakeCompositor horizontal, vertical;
        FakeMic mic;
        Project project;
        project.mkv = mkv;
        project.recordingFolder = scratchFolder(mkv ? "system-mkv" : "system-mp4");
        Scene scene;
        scene.name = "Main";
        RecordingSession session(
            [](Container c) -> std::unique_ptr<IRecorder> {
                if (c == Container::Mkv) {
                    return std::make_unique<MkvRecorder>(std::make_unique<MfVideoEncoder>(),
                                                         std::make_unique<MfAudioEncoder>());
                }
                return std::make_unique<MfRecorder>();
            },
            &horizontal, &vertical, &mic, world.environment());
        const std::string error = session.start(project, scene);
        if (error.empty()) {
            session.stop();
            GTEST_SKIP() << "this system has an H.264 encoder";
        }
        EXPECT_FALSE(session.recording);
        const RecordingNotice notice = noticeAfterToggle(session, error);
        EXPECT_EQ(notice.text.rfind("Could not record Horizontal: ", 0), 0u) << notice.text;
        EXPECT_TRUE(notice.path.empty());
        // Nothing of the refused recording is left in the folder, not even an empty file.
        EXPECT_EQ(filesIn(project.recordingFolder), std::vector<std::string>{});
    }
    MFShutdown();
}
