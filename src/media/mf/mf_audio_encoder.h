// IAudioPacketEncoder over the system AAC encoder transform: 16-bit stereo PCM in, raw AAC
// frames out, timed in exact steps of 1024 samples from 0. Runs inside the caller's calls.
#pragma once

#include "media/media.h"
#include "media/mf/encoder_transform.h"

class MfAudioEncoder : public IAudioPacketEncoder {
public:
    MfAudioEncoder();  // the system's transform
    MfAudioEncoder(mf::CreateAacTransform create, mf::MakeInputSample makeSample);
    ~MfAudioEncoder() override;

    bool open(int sampleRate, int bytesPerSecond) override;
    void encode(const int16_t* samples, uint64_t frames, std::vector<EncodedPacket>& out) override;
    void close() override;
    std::string lastError() const override { return error; }

private:
    mf::CreateAacTransform create;
    mf::MakeInputSample makeSample;
    std::unique_ptr<mf::IEncoderTransform> transform;
    int32_t sampleRate = 0;
    int64_t inputFrames = 0;
    int64_t outputFrames = 0;
    std::string error;
};
