// The real endpoints of the machine the tests run on: a build machine has no sound devices, and
// each input has to say so in its own words.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "media/audio/wasapi_audio_input.h"

namespace {

std::string finalStatus(WasapiAudioInput& input) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string s = input.status();
        if (s.rfind("Opening", 0) != 0) return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return input.status();
}

}  // namespace

TEST(SystemAudioInput, TextsWithoutADevice) {
    const std::vector<AudioDevice> devices = listAudioInputs();

    WasapiAudioInput unplugged;
    EXPECT_EQ(unplugged.status(), "Opening microphone\xE2\x80\xA6");
    unplugged.start({"{0.0.1.00000000}.{00000000-0000-0000-0000-000000000000}", false, true});
    EXPECT_EQ(finalStatus(unplugged), "That microphone is unplugged");
    EXPECT_EQ(unplugged.sampleRate(), 0);
    EXPECT_EQ(unplugged.activeEffects(), "");

    if (devices.empty()) {
        WasapiAudioInput mic;
        mic.start({"", false, true});
        EXPECT_EQ(finalStatus(mic), "No microphone found");
        EXPECT_EQ(mic.sampleRate(), 0);
        mic.stop();
    }

    WasapiAudioInput desktop;
    desktop.start({"", true, false});
    const std::string s = finalStatus(desktop);
    if (s.empty()) {
        EXPECT_EQ(desktop.sampleRate(), 48000);  // a machine that really has speakers
    } else {
        EXPECT_TRUE(s == "No speakers found" || s == "Microphone format not supported") << s;
        EXPECT_EQ(desktop.sampleRate(), 0);
    }
    desktop.stop();
    desktop.stop();  // stopping twice is harmless
}

TEST(SystemAudioInput, ListedDevicesHaveIdentifiersAndNames) {
    for (const AudioDevice& d : listAudioInputs()) {
        EXPECT_FALSE(d.id.empty());
        EXPECT_FALSE(d.name.empty());
    }
}
