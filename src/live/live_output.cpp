#include "live/live_output.h"

#include <cassert>
#include <system_error>
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

std::string LiveOutput::startThread() {
    assert(!thread.joinable());
    sending = true;
    try {
        thread = threadStarter([this] {
            try {
                run();
            } catch (...) {
                // Nothing may cross the thread boundary; the output simply stops sending.
            }
            std::lock_guard<std::mutex> guard(lock);
            sending = false;
            finished.notify_all();
        });
    } catch (const std::system_error&) {
        sending = false;
        return destination.name + ": the system could not start another thread";
    }
    return "";
}

void LiveOutput::requestStop() {
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
        // A streaming output says goodbye first; one that is still connecting has nothing
        // to say and is cut short, so that the stop does not wait for the server.
        if (session && state.load() != LiveLive) session->abort();
    }
    wake.notify_all();
}

bool LiveOutput::awaitSender(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> guard(lock);
    return finished.wait_until(guard, deadline, [this] { return !sending; });
}

void LiveOutput::finishStop() {
    assert(stopping);
    {
        std::lock_guard<std::mutex> guard(lock);
        // A goodbye that outlived its allowance, or a write stuck on a link that stopped
        // taking data: closing the connection ends either at once.
        if (session) session->abort();
    }
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
