#include "media/mf/mf_audio_encoder.h"

#include <cstring>

MfAudioEncoder::MfAudioEncoder() : MfAudioEncoder(mf::systemAacTransform(), mf::systemInputSamples()) {}

MfAudioEncoder::MfAudioEncoder(mf::CreateAacTransform c, mf::MakeInputSample m)
    : create(std::move(c)), makeSample(std::move(m)) {}

MfAudioEncoder::~MfAudioEncoder() { close(); }

bool MfAudioEncoder::open(int rate, int bytesPerSecond) {
    close();
    error.clear();
    sampleRate = rate;
    inputFrames = 0;
    outputFrames = 0;
    if (rate <= 0) {
        error = "Unsupported sample rate " + std::to_string(rate);
        return false;
    }
    int32_t hr = mf::kClassNotRegistered;
    if (create) transform = create(rate, bytesPerSecond, hr);
    if (!transform) {
        error = mf::withCode("AAC encoder unavailable", hr);
        return false;
    }
    return true;
}

void MfAudioEncoder::encode(const int16_t* samples, uint64_t frames, std::vector<EncodedPacket>& out) {
    if (!transform || frames == 0 || !error.empty()) return;
    const size_t size = static_cast<size_t>(frames) * 4;
    std::unique_ptr<mf::IInputSample> in =
        makeSample(size, transform->inputAlignment(), [&](uint8_t* p) { std::memcpy(p, samples, size); }, inputFrames * 10000000 / sampleRate,
                   static_cast<int64_t>(frames) * 10000000 / sampleRate);
    if (!in) {
        error = "Out of memory";
        return;
    }
    inputFrames += static_cast<int64_t>(frames);
    const int32_t hr = transform->processInput(*in);
    if (hr == mf::kOutOfMemory) {
        error = "Out of memory";
        return;
    }
    if (mf::failed(hr)) {
        error = "AAC encoder rejected audio";
        return;
    }
    // Times come from the count of frames produced, whatever the transform reports.
    const int32_t r = mf::pullOutputs(*transform, false, [&](mf::TransformSample& o) {
        if (o.bytes.empty()) return;
        EncodedPacket p;
        p.data = std::move(o.bytes);
        p.time = outputFrames * 10000000 / sampleRate;
        p.keyframe = true;
        outputFrames += 1024;
        out.push_back(std::move(p));
    });
    if (mf::failed(r)) error = "AAC encoding failed";
}

void MfAudioEncoder::close() {
    if (!transform) return;
    transform->endStreaming();
    transform.reset();
}
