#include <gtest/gtest.h>

#include <vector>

#include "media/audio/audio_mixer.h"
#include "project/project.h"

namespace {

std::vector<int16_t> constant(size_t frames, int16_t l, int16_t r) {
    std::vector<int16_t> s(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        s[i * 2] = l;
        s[i * 2 + 1] = r;
    }
    return s;
}

}  // namespace

TEST(AudioMixer, DesktopAloneGivesItsQueuedFramesTimesItsGain) {
    AudioMixer m;
    std::vector<int16_t> out;
    AudioMixSettings s;
    s.desktopGain = 0.5f;
    m.mix({}, false, constant(480, 1000, -1001), true, s, out);
    ASSERT_EQ(out.size(), 960u);
    EXPECT_EQ(out[0], 500);
    EXPECT_EQ(out[1], -500);  // -500.5 truncated toward zero
    EXPECT_TRUE(m.desktopQueue.empty());
}

TEST(AudioMixer, DesktopBacklogIsCutToTheNewest200ms) {
    AudioMixer m;
    std::vector<int16_t> desktop = constant(48000, 1, 1);
    for (size_t i = 48000 - 9600; i < 48000; ++i) desktop[i * 2] = 7;  // the newest 200 ms
    std::vector<int16_t> out;
    AudioMixSettings s;
    s.desktopGain = 1.0f;
    m.mix({}, false, desktop, true, s, out);
    ASSERT_EQ(out.size(), 9600u * 2);
    EXPECT_EQ(out.front(), 7);
    EXPECT_EQ(out.back(), 1);
}

TEST(AudioMixer, MicrophoneDelayLeadsWithSilenceAndKeepsTheDelayQueued) {
    AudioMixer m;
    AudioMixSettings s;
    s.micDelayMs = 100;
    std::vector<int16_t> out;
    size_t silentFrames = 0;
    bool sawSignal = false;
    for (int tick = 0; tick < 12; ++tick) {
        m.mix(constant(800, 300, 300), true, {}, false, s, out);
        ASSERT_EQ(out.size(), 1600u);
        EXPECT_EQ(m.micQueue.size(), 4800u * 2);
        for (size_t f = 0; f < 800; ++f) {
            if (out[f * 2] == 0 && !sawSignal) {
                ++silentFrames;
            } else {
                sawSignal = true;
                ASSERT_EQ(out[f * 2], 300);
            }
        }
    }
    EXPECT_EQ(silentFrames, 4800u);

    // A negative delay counts as none.
    AudioMixer plain;
    s.micDelayMs = -50;
    plain.mix(constant(10, 5, 5), true, {}, false, s, out);
    EXPECT_EQ(out[0], 5);
    EXPECT_TRUE(plain.micQueue.empty());
}

TEST(AudioMixer, FullScaleSumsClampInsteadOfWrapping) {
    AudioMixer m;
    AudioMixSettings s;
    s.desktopGain = 1.0f;
    std::vector<int16_t> out;
    m.mix(constant(4, 32767, -32768), true, constant(4, 32767, -32768), true, s, out);
    ASSERT_EQ(out.size(), 8u);
    for (size_t f = 0; f < 4; ++f) {
        EXPECT_EQ(out[f * 2], 32767);
        EXPECT_EQ(out[f * 2 + 1], -32768);
    }
}

TEST(AudioMixer, DesktopFillsOnlyTheFramesItHasUnderTheMicrophone) {
    AudioMixer m;
    AudioMixSettings s;
    s.desktopGain = 1.0f;
    s.micGain = 2.0f;
    std::vector<int16_t> out;
    m.mix(constant(6, 10, 10), true, constant(2, 100, 100), true, s, out);
    EXPECT_EQ(out, (std::vector<int16_t>{120, 120, 120, 120, 20, 20, 20, 20, 20, 20, 20, 20}));
}

TEST(AudioMixer, GateFloorIsThreePercentAndOpensOnLoudInput) {
    AudioMixer m;
    AudioMixSettings s;
    s.noiseGate = true;
    std::vector<int16_t> out;
    for (int i = 0; i < 10; ++i) m.mix(constant(4800, 0, 0), true, {}, false, s, out);
    EXPECT_NEAR(m.gateGain, 0.03f, 1e-3f);
    EXPECT_GT(m.gateGain, 0.0f);

    // A loud microphone opens the gate; its gain follows with a 10 ms time constant.
    m.mix(constant(4800, 20000, 20000), true, {}, false, s, out);
    EXPECT_GT(m.gateGain, 0.99f);
    EXPECT_GT(out[9598], 19800);

    // Quiet again: the envelope falls over about 150 ms, then the gain glides back down.
    m.mix(constant(48000, 10, 10), true, {}, false, s, out);
    EXPECT_NEAR(m.gateGain, 0.03f, 1e-3f);
    EXPECT_EQ(out.back(), 0);  // 10 * 0.03 truncated

    m.reset();
    EXPECT_EQ(m.gateGain, 1.0f);
    EXPECT_EQ(m.gateLevel, 0.0f);
}

TEST(AudioMixer, NothingToMixGivesAnEmptyOutputAndProjectFieldsAreRead) {
    AudioMixer m;
    std::vector<int16_t> out{1, 2, 3};
    Project p;
    p.desktopGain = 0.25f;
    m.mix({7}, true, {}, true, p, out);  // a single sample is no frame
    EXPECT_TRUE(out.empty());
    m.mix({}, false, constant(2, 400, 400), true, p, out);
    EXPECT_EQ(out, (std::vector<int16_t>{100, 100, 100, 100}));
    m.mix({}, false, constant(2, 400, 400), false, p, out);  // desktop off empties its queue
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(m.desktopQueue.empty());
}
