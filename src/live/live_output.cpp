#include "live/live_output.h"

#include <utility>

LiveOutput::LiveOutput() = default;

LiveOutput::~LiveOutput() {
    requestStop();
    finishStop();
}

int LiveOutput::videoQueueLimit() const {
    return kQueueSeconds * (media.fps > 0 ? media.fps : 1);
}

int LiveOutput::audioQueueLimit() {
    return kQueueSeconds * kLiveSampleRate / kAacFrameSamples;
}

void LiveOutput::queuePacket(MediaPacket packet) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (queuedVideo > videoQueueLimit() || queuedAudio > audioQueueLimit()) {
            // The connection cannot keep up: start over from the next key frame rather
            // than let memory grow or send inter frames without their reference.
            queue.clear();
            queuedVideo = 0;
            queuedAudio = 0;
            dropUntilKeyframe = true;
        }
        if (packet.kind == kRtmpVideo) {
            ++queuedVideo;
        } else {
            ++queuedAudio;
        }
        queue.push_back(std::move(packet));
    }
    wake.notify_one();
}

void LiveOutput::encodeVideo(const uint8_t* pixels, int stride, int64_t frame) {
    if (!videoEncoder) return;
    encoded.clear();
    videoEncoder->encode(pixels, stride, frame, encoded);
    for (EncodedPacket& p : encoded) {
        queuePacket(MediaPacket{kRtmpVideo, std::move(p.data), p.time, p.keyframe});
    }
    encoded.clear();
}

void LiveOutput::encodeAudio(const int16_t* samples, uint64_t frames) {
    if (!audioEncoder) return;
    encoded.clear();
    audioEncoder->encode(samples, frames, encoded);
    for (EncodedPacket& p : encoded) {
        queuePacket(MediaPacket{kRtmpAudio, std::move(p.data), p.time, p.keyframe});
    }
    encoded.clear();
}

void LiveOutput::startThread() {
    thread = std::thread([this] {
        try {
            run();
        } catch (...) {
            // Nothing may cross the thread boundary; the output simply stops sending.
            std::lock_guard<std::mutex> guard(lock);
            session = nullptr;
        }
    });
}

void LiveOutput::requestStop() {
    std::lock_guard<std::mutex> guard(lock);
    stopping = true;
    // A streaming output notices the flag at its next wait and ends politely; one that
    // is still connecting is cut short so that the stop does not wait for the server.
    if (session && state.load() != LiveLive) session->abort();
}

void LiveOutput::finishStop() {
    wake.notify_all();
    if (thread.joinable()) thread.join();
    if (videoEncoder) videoEncoder->close();
    if (audioEncoder) audioEncoder->close();
    videoEncoder.reset();
    audioEncoder.reset();
}

void LiveOutput::status(DestinationStatus& out) {
    std::lock_guard<std::mutex> guard(lock);
    out.id = destination.id;
    out.name = destination.name;
    out.state = state.load();
    out.error = error;
}
