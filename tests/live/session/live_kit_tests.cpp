// The live session over a media kit holding the system's own encoders. Under Wine and
// outside Windows there is no H.264 encoder: going live fails with that encoder's text.
#include <gtest/gtest.h>

#include "live/live_session.h"
#include "media/media_kit.h"
#include "media/mf/encoder_transform.h"
#include "media/mf/mf_audio_encoder.h"
#include "media/mf/mf_video_encoder.h"

TEST(LiveWithSystemEncoders, NoH264EncoderStopsTheStartWithItsText) {
    mf::ComApartment com;
    {
        MfVideoEncoder probe;
        VideoEncoderSettings settings;
        settings.width = 1920;
        settings.height = 1080;
        settings.bitrate = 6000000;
        if (probe.open(settings)) GTEST_SKIP() << "this system has an H.264 encoder: " << probe.name();
    }
    MediaKit kit;
    kit.makeVideoEncoder = [] { return std::make_unique<MfVideoEncoder>(); };
    kit.makeAudioEncoder = [] { return std::make_unique<MfAudioEncoder>(); };
    fillUnavailableParts(kit);
    LiveSession session(&kit);

    Project project;
    Destination destination;
    destination.id = "main";
    destination.name = "Main";
    destination.serverUrl = "rtmp://127.0.0.1:1/live";
    project.destinations = {destination};
    EXPECT_EQ(session.start(project, [](const Destination&) { return std::string("key"); }),
              "Main: No H.264 encoder accepted 1920x1080");
    EXPECT_FALSE(session.isLive());
}
