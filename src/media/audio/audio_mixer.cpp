#include "media/audio/audio_mixer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "project/project.h"

AudioMixSettings audioMixSettingsOf(const Project& project) {
    AudioMixSettings s;
    s.micGain = project.micGain;
    s.desktopGain = project.desktopGain;
    s.noiseGate = project.noiseGate;
    s.gateDb = project.gateDb;
    s.micDelayMs = project.micDelayMs;
    return s;
}

namespace {

int16_t toSample(float v) {
    if (std::isnan(v)) return 0;
    return static_cast<int16_t>(std::clamp(v, -32768.0f, 32767.0f));  // truncates toward zero
}

}  // namespace

void AudioMixer::reset() {
    micQueue.clear();
    desktopQueue.clear();
    gateLevel = 0.0f;
    gateGain = 1.0f;
}

void AudioMixer::mix(const std::vector<int16_t>& mic, bool micActive,
                     const std::vector<int16_t>& desktop, bool desktopActive,
                     const Project& project, std::vector<int16_t>& out) {
    mix(mic, micActive, desktop, desktopActive, audioMixSettingsOf(project), out);
}

void AudioMixer::mix(const std::vector<int16_t>& mic, bool micActive,
                     const std::vector<int16_t>& desktop, bool desktopActive,
                     const AudioMixSettings& settings, std::vector<int16_t>& out) {
    out.clear();

    if (desktopActive) {
        desktopQueue.insert(desktopQueue.end(), desktop.begin(), desktop.end());
    } else {
        desktopQueue.clear();
    }
    // The desktop sound lags by at most 200 ms: an older backlog is dropped, oldest first.
    const size_t desktopLimit = 2 * static_cast<size_t>(sampleRate / 5);
    if (desktopQueue.size() > desktopLimit) {
        desktopQueue.erase(desktopQueue.begin(),
                           desktopQueue.begin() + static_cast<std::ptrdiff_t>(desktopQueue.size() - desktopLimit));
    }

    const size_t frames = micActive ? mic.size() / 2 : desktopQueue.size() / 2;
    if (frames == 0) return;

    if (micActive) {
        micQueue.insert(micQueue.end(), mic.begin(), mic.end());
        const int64_t delayFrames =
            static_cast<int64_t>(sampleRate) * std::max<int64_t>(settings.micDelayMs, 0) / 1000;
        const size_t target = 2 * (frames + static_cast<size_t>(delayFrames));
        if (micQueue.size() < target) {
            micQueue.insert(micQueue.begin(), target - micQueue.size(), int16_t{0});
        } else if (micQueue.size() > target) {
            micQueue.erase(micQueue.begin(),
                           micQueue.begin() + static_cast<std::ptrdiff_t>(micQueue.size() - target));
        }
    }

    const float rate = static_cast<float>(sampleRate);
    const float threshold = std::pow(10.0f, settings.gateDb / 20.0f) * 32768.0f;
    const float attack = std::exp(-1.0f / (rate * 0.002f));
    const float release = std::exp(-1.0f / (rate * 0.15f));
    const float smoothing = std::exp(-1.0f / (rate * 0.01f));

    out.resize(frames * 2);
    for (size_t f = 0; f < frames; ++f) {
        float left = 0.0f;
        float right = 0.0f;
        if (micActive) {
            float l = micQueue.front();
            micQueue.pop_front();
            float r = micQueue.front();
            micQueue.pop_front();
            if (settings.noiseGate) {
                const float peak = std::max(std::fabs(l), std::fabs(r));
                gateLevel += (peak - gateLevel) * (1.0f - (peak > gateLevel ? attack : release));
                const float target = gateLevel > threshold ? 1.0f : 0.03f;
                gateGain += (target - gateGain) * (1.0f - smoothing);
                l *= gateGain;
                r *= gateGain;
            }
            left = l * settings.micGain;
            right = r * settings.micGain;
        }
        if (desktopQueue.size() >= 2) {
            left += static_cast<float>(desktopQueue.front()) * settings.desktopGain;
            desktopQueue.pop_front();
            right += static_cast<float>(desktopQueue.front()) * settings.desktopGain;
            desktopQueue.pop_front();
        }
        out[f * 2] = toSample(left);
        out[f * 2 + 1] = toSample(right);
    }
}
