#pragma once
// Sample conversion and linear resampling for the capture threads: every input ends up as
// 48 kHz interleaved stereo int16, whatever the endpoint delivers.

#include <cstddef>
#include <cstdint>
#include <vector>

struct ResamplerState {
    int32_t inRate = 48000;
    int32_t outRate = 48000;
    double position = 0.0;   // fractional read position carried into the next call
    int16_t last[2] = {0, 0};  // last input frame of the previous call
};

// Appends the resampled stereo frames to `out`. Chunked calls give the same frames as one
// call over the whole input: the first output of a call may interpolate between the previous
// call's last frame and the new first frame, and no frame past the end is ever read.
void resampleStereo16(ResamplerState& state, const int16_t* input, size_t frames,
                      std::vector<int16_t>& out);

// One captured packet: `frames` frames of `channels` channels, float32 or int16 samples.
struct CapturedPacket {
    const void* data = nullptr;
    uint32_t frames = 0;
    int channels = 2;
    bool isFloat = true;
    bool silent = false;
};

// Replaces `out` with the packet as interleaved stereo int16 (mono doubled, channels past the
// second ignored, silent packets as zeros, everything zero when muted) and returns the peak
// magnitude (0..1 for in-range input) that the level meter takes.
float convertToStereo16(const CapturedPacket& packet, bool muted, std::vector<int16_t>& out);

// Clamps to -1..1 and scales by 32767, rounding to nearest with ties to even.
int16_t floatToInt16(float value);
