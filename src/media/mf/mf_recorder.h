// IRecorder for MP4 and fragmented MP4 ("Safe MP4") through a sink writer that chooses and runs
// the H.264 and AAC encoders itself. Main thread only; the writer runs inside the calls.
#pragma once

#include "media/media.h"
#include "media/mf/encoder_transform.h"

class MfRecorder : public IRecorder {
public:
    MfRecorder();  // the system's sink writer
    explicit MfRecorder(mf::CreateMp4Sink create);
    ~MfRecorder() override;

    bool open(const std::wstring& path, const RecordingSettings& settings) override;
    void writeVideo(const uint8_t* bgra, int stride, int64_t frameNumber) override;
    void writeAudio(const int16_t* samples, uint64_t frames) override;
    void close() override;
    bool isOpen() const override { return writer != nullptr; }
    // A failed write is reported here and ends the recording: the writer rarely recovers and the
    // file would silently lose its frames.
    std::string lastError() const override { return error; }
    bool supportsSampleRate(int rate) const override { return rate == 44100 || rate == 48000; }
    std::string encoderName() const override { return name; }

private:
    mf::CreateMp4Sink create;
    std::unique_ptr<mf::IMp4Sink> writer;
    uint32_t videoStream = 0;
    uint32_t audioStream = 0;
    RecordingSettings settings;
    int64_t audioFrames = 0;
    std::string error;
    std::string name;
};
