#include "media/audio/resample.h"

#include <algorithm>
#include <cmath>

void resampleStereo16(ResamplerState& state, const int16_t* input, size_t frames,
                      std::vector<int16_t>& out) {
    if (frames == 0) return;
    if (state.inRate == state.outRate) {
        out.insert(out.end(), input, input + frames * 2);
        return;
    }
    const double step = static_cast<double>(state.inRate) / static_cast<double>(state.outRate);
    const double lastIndex = static_cast<double>(frames) - 1.0;
    while (state.position < lastIndex) {
        const int64_t i = state.position < 0.0 ? -1 : static_cast<int64_t>(state.position);
        const double frac = state.position - static_cast<double>(i);
        for (int ch = 0; ch < 2; ++ch) {
            const double s0 = i < 0 ? state.last[ch] : input[i * 2 + ch];
            const double s1 = i + 1 < 0 ? state.last[ch] : input[(i + 1) * 2 + ch];
            out.push_back(static_cast<int16_t>(s0 + (s1 - s0) * frac));
        }
        state.position += step;
    }
    state.last[0] = input[(frames - 1) * 2];
    state.last[1] = input[(frames - 1) * 2 + 1];
    state.position -= static_cast<double>(frames);
}

int16_t floatToInt16(float value) {
    const float clamped = std::clamp(value, -1.0f, 1.0f);
    // nearbyint follows the default rounding mode: nearest, ties to even.
    return static_cast<int16_t>(std::nearbyint(clamped * 32767.0f));
}

namespace {

float sampleAt(const CapturedPacket& p, uint32_t frame, int channel) {
    const size_t index = static_cast<size_t>(frame) * static_cast<size_t>(p.channels) + channel;
    if (p.isFloat) {
        const float v = static_cast<const float*>(p.data)[index];
        return std::isfinite(v) ? v : 0.0f;  // a broken driver's NaN must not reach the mix
    }
    return static_cast<float>(static_cast<const int16_t*>(p.data)[index]) * (1.0f / 32768.0f);
}

}  // namespace

float convertToStereo16(const CapturedPacket& packet, bool muted, std::vector<int16_t>& out) {
    out.resize(static_cast<size_t>(packet.frames) * 2);
    if (packet.silent || packet.data == nullptr || packet.channels < 1) {
        std::fill(out.begin(), out.end(), int16_t{0});
        return 0.0f;
    }
    const float gain = muted ? 0.0f : 1.0f;
    const int rightChannel = packet.channels >= 2 ? 1 : 0;
    float peak = 0.0f;
    for (uint32_t f = 0; f < packet.frames; ++f) {
        const float left = sampleAt(packet, f, 0) * gain;
        const float right = sampleAt(packet, f, rightChannel) * gain;
        peak = std::max({peak, std::fabs(left), std::fabs(right)});
        out[f * 2] = floatToInt16(left);
        out[f * 2 + 1] = floatToInt16(right);
    }
    return peak;
}
