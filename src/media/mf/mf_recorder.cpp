#include "media/mf/mf_recorder.h"

#include "media/packaging.h"

#include <cstring>

MfRecorder::MfRecorder() : MfRecorder(mf::systemMp4Sink()) {}

MfRecorder::MfRecorder(mf::CreateMp4Sink c) : create(std::move(c)) {}

MfRecorder::~MfRecorder() { close(); }

bool MfRecorder::open(const std::wstring& path, const RecordingSettings& s) {
    close();
    error.clear();
    settings = s;
    audioFrames = 0;
    if (s.fps <= 0) {
        error = "Frame rate must be at least 1 (got " + std::to_string(s.fps) + ")";
        return false;
    }
    int32_t hr = mf::kNotImplemented;
    std::unique_ptr<mf::IMp4Sink> w;
    if (create) w = create(path, s.fragmented, hr);
    if (!w) {
        error = mf::withCode("Could not create the video file", hr);
        return false;
    }
    // Every failure from here releases the writer without finalising it.
    auto fail = [&](const char* text, int32_t code) {
        error = mf::withCode(text, code);
        return false;
    };
    if (mf::failed(hr = w->addVideoStream(s, videoStream))) return fail("H.264 encoder unavailable", hr);
    if (mf::failed(hr = w->setVideoInput(videoStream, s, mf::qualityVsSpeed(s.preset))))
        return fail("H.264 encoder rejected the input", hr);
    if (s.sampleRate != 0) {
        if (mf::failed(hr = w->addAudioStream(s, audioStream))) return fail("AAC encoder unavailable", hr);
        if (mf::failed(hr = w->setAudioInput(audioStream, s))) return fail("AAC encoder rejected the input", hr);
    }
    if (mf::failed(hr = w->beginWriting())) return fail("Could not start writing", hr);
    name = "Software H.264";
    const std::string chosen = w->videoEncoderName(videoStream);
    if (!chosen.empty()) name = chosen;
    writer = std::move(w);
    return true;
}

void MfRecorder::writeVideo(const uint8_t* bgra, int stride, int64_t frameNumber) {
    if (!writer) return;
    const int w = settings.width, h = settings.height;
    const size_t n = static_cast<size_t>(w) * h * 3 / 2;
    const int32_t hr = writer->writeSample(
        videoStream, n, [&](uint8_t* dst) { bgraToNv12(bgra, stride, w, h, dst); },
        frameNumber * 10000000 / settings.fps, 10000000 / settings.fps);
    if (mf::failed(hr)) error = "Writing a video frame failed";
}

void MfRecorder::writeAudio(const int16_t* samples, uint64_t frames) {
    if (!writer || settings.sampleRate == 0 || frames == 0) return;
    const size_t n = static_cast<size_t>(frames) * 4;
    const int32_t hr = writer->writeSample(
        audioStream, n, [&](uint8_t* dst) { std::memcpy(dst, samples, n); },
        audioFrames * 10000000 / settings.sampleRate,
        static_cast<int64_t>(frames) * 10000000 / settings.sampleRate);
    if (mf::failed(hr)) error = "Writing audio failed";
    audioFrames += static_cast<int64_t>(frames);
}

void MfRecorder::close() {
    if (!writer) return;
    // Without a finalised index the file may not play, so a failure here must reach the user.
    const int32_t hr = writer->finalize();
    if (mf::failed(hr) && error.empty()) error = mf::withCode("Finishing the MP4 file failed", hr);
    writer.reset();
}
