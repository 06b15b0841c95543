#include "media/mkv_recorder.h"

#include "media/packaging.h"

#include <algorithm>

MkvRecorder::MkvRecorder(std::unique_ptr<IVideoPacketEncoder> video,
                         std::unique_ptr<IAudioPacketEncoder> audio)
    : videoEncoder(std::move(video)), audioEncoder(std::move(audio)) {}

MkvRecorder::~MkvRecorder() { close(); }

bool MkvRecorder::open(const std::wstring& path, const RecordingSettings& s) {
    close();
    error.clear();
    pendingAudio.clear();
    settings = s;
    lastTimeMs = 0;
    keyframesWithoutParameterSets = 0;
    if (s.fps <= 0) {
        error = "Frame rate must be at least 1 (got " + std::to_string(s.fps) + ")";
        return false;
    }
    if (!videoEncoder || (s.sampleRate != 0 && !audioEncoder)) {
        error = "No encoder available";
        return false;
    }
    if (!writer.open(path)) {
        writer.finish(0);
        error = "Could not create the video file";
        return false;
    }
    VideoEncoderSettings v;
    v.width = s.width;
    v.height = s.height;
    v.fps = s.fps;
    v.bitrate = s.videoBitrate;
    v.preset = s.preset;
    v.keyframeSeconds = 2;
    if (!videoEncoder->open(v)) {
        error = videoEncoder->lastError();
        if (error.empty()) error = "Could not open the video encoder";
        writer.finish(0);
        return false;
    }
    if (s.sampleRate != 0 && !audioEncoder->open(s.sampleRate, s.audioBytesPerSecond)) {
        error = audioEncoder->lastError();
        if (error.empty()) error = "Could not open the audio encoder";
        videoEncoder->close();
        writer.finish(0);
        return false;
    }
    opened = true;
    return true;
}

void MkvRecorder::afterWrite(int64_t timeMs) {
    lastTimeMs = std::max(lastTimeMs, timeMs);
    if (writer.failed() && error.empty()) error = "Writing the MKV file failed (disk full?)";
}

void MkvRecorder::writeVideoPacket(const EncodedPacket& packet) {
    const int64_t t = packet.time / 10000;
    if (writer.headerWritten()) {
        const std::vector<uint8_t> avcc = annexBToAvcc(packet.data.data(), packet.data.size());
        writer.writeBlock(MkvWriter::kVideoTrack, avcc.data(), avcc.size(), t, packet.keyframe);
        afterWrite(t);
        return;
    }
    if (!packet.keyframe) return;  // the file starts at a key frame
    MkvTrackInfo info;
    info.width = settings.width;
    info.height = settings.height;
    info.sampleRate = settings.sampleRate;
    info.channels = 2;
    info.audioSpecificConfig =
        aacAudioSpecificConfig(settings.sampleRate != 0 ? settings.sampleRate : 48000, 2);
    if (!avcDecoderConfigFromAnnexB(packet.data.data(), packet.data.size(), info.avcC)) {
        // Some encoders announce the parameter sets only on their output type.
        const std::vector<uint8_t> header = videoEncoder->sequenceHeader();
        if (!avcDecoderConfigFromAnnexB(header.data(), header.size(), info.avcC)) {
            if (++keyframesWithoutParameterSets >= kMaxKeyframesWithoutParameterSets &&
                error.empty())
                error = "Encoder sent no SPS/PPS";
            return;
        }
    }
    writer.writeHeader(info);
    // Converted like every later block: an AVC track carries length-prefixed NAL units only.
    const std::vector<uint8_t> avcc = annexBToAvcc(packet.data.data(), packet.data.size());
    writer.writeBlock(MkvWriter::kVideoTrack, avcc.data(), avcc.size(), t, true);
    for (const EncodedPacket& a : pendingAudio)
        writer.writeBlock(MkvWriter::kAudioTrack, a.data.data(), a.data.size(), a.time / 10000, a.keyframe);
    pendingAudio.clear();
    afterWrite(t);
}

void MkvRecorder::writeVideo(const uint8_t* bgra, int stride, int64_t frameNumber) {
    if (!opened) return;
    packets.clear();
    videoEncoder->encode(bgra, stride, frameNumber, packets);
    for (const EncodedPacket& p : packets) writeVideoPacket(p);
}

void MkvRecorder::writeAudio(const int16_t* samples, uint64_t frames) {
    if (!opened || settings.sampleRate == 0) return;
    packets.clear();
    audioEncoder->encode(samples, frames, packets);
    for (EncodedPacket& p : packets) {
        if (writer.headerWritten()) {
            const int64_t t = p.time / 10000;
            writer.writeBlock(MkvWriter::kAudioTrack, p.data.data(), p.data.size(), t, p.keyframe);
            afterWrite(t);
        } else {
            pendingAudio.push_back(std::move(p));
        }
    }
}

void MkvRecorder::close() {
    if (!opened) return;
    opened = false;
    videoEncoder->close();
    if (audioEncoder) audioEncoder->close();
    const int fps = settings.fps > 0 ? settings.fps : 30;
    if (!writer.finish(lastTimeMs + 1000 / fps) && error.empty())
        error = "Finishing the MKV file failed";
}

std::string MkvRecorder::lastError() const {
    if (!error.empty()) return error;
    if (videoEncoder) {
        std::string e = videoEncoder->lastError();
        if (!e.empty()) return e;
    }
    return audioEncoder ? audioEncoder->lastError() : std::string();
}

std::string MkvRecorder::encoderName() const {
    return videoEncoder ? videoEncoder->name() : std::string();
}
