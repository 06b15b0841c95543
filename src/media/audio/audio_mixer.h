#pragma once
// Mixes the microphone (delayed, gated, with gain) and the desktop sound into the one
// 48 kHz interleaved stereo int16 stream that recorders and live outputs encode.

#include <cstdint>
#include <deque>
#include <vector>

struct Project;

struct AudioMixSettings {
    float micGain = 1.0f;
    float desktopGain = 0.8f;
    bool noiseGate = false;
    float gateDb = -45.0f;
    int32_t micDelayMs = 0;
};

AudioMixSettings audioMixSettingsOf(const Project& project);

class AudioMixer {
public:
    int32_t sampleRate = 48000;
    std::deque<int16_t> micQueue;      // microphone delay line, interleaved stereo
    std::deque<int16_t> desktopQueue;  // desktop samples not yet mixed
    float gateLevel = 0.0f;            // gate envelope, int16 units
    float gateGain = 1.0f;             // smoothed gate gain

    // Replaces `out` with this tick's mix. With the microphone active, the tick has as many
    // frames as new microphone frames; otherwise as many as the desktop queue holds.
    void mix(const std::vector<int16_t>& mic, bool micActive, const std::vector<int16_t>& desktop,
             bool desktopActive, const AudioMixSettings& settings, std::vector<int16_t>& out);
    void mix(const std::vector<int16_t>& mic, bool micActive, const std::vector<int16_t>& desktop,
             bool desktopActive, const Project& project, std::vector<int16_t>& out);

    // Called whenever collecting starts or stops: queues emptied, gate back at rest.
    void reset();
};
