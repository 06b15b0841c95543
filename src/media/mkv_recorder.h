// IRecorder for Matroska: encodes with the video and audio packet encoders it owns and streams
// the packets into an MkvWriter on the calling (main) thread.
#pragma once

#include "media/media.h"
#include "media/mkv_writer.h"

#include <memory>

class MkvRecorder : public IRecorder {
public:
    MkvRecorder(std::unique_ptr<IVideoPacketEncoder> video, std::unique_ptr<IAudioPacketEncoder> audio);
    ~MkvRecorder() override;

    bool open(const std::wstring& path, const RecordingSettings& settings) override;
    void writeVideo(const uint8_t* bgra, int stride, int64_t frameNumber) override;
    void writeAudio(const int16_t* samples, uint64_t frames) override;
    void close() override;
    bool isOpen() const override { return opened; }
    // Only conditions that spoil the recording are reported here, because the recording session
    // stops on any text: a failed encoder, a failed file, or an encoder that has sent
    // kMaxKeyframesWithoutParameterSets key frames without any SPS/PPS. A single key frame without
    // them is dropped quietly and the next one tried.
    std::string lastError() const override;
    bool supportsSampleRate(int rate) const override { return rate == 44100 || rate == 48000; }
    std::string encoderName() const override;

    static constexpr int kMaxKeyframesWithoutParameterSets = 3;

private:
    void writeVideoPacket(const EncodedPacket& packet);
    void afterWrite(int64_t timeMs);

    std::unique_ptr<IVideoPacketEncoder> videoEncoder;
    std::unique_ptr<IAudioPacketEncoder> audioEncoder;
    MkvWriter writer;
    RecordingSettings settings;
    std::vector<EncodedPacket> packets;
    std::vector<EncodedPacket> pendingAudio;
    int64_t lastTimeMs = 0;
    bool opened = false;
    std::string error;
    int keyframesWithoutParameterSets = 0;
};
