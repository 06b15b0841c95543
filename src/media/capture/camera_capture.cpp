#include "media/capture/camera_capture.h"

#include <cassert>
#include <chrono>
#include <utility>

#include "media/capture/camera_frames.h"
#include "media/media.h"

void CameraCapture::setStatus(std::string_view text) {
    std::lock_guard<std::mutex> guard(lock);
    status.assign(text);
}

void handOffCameraFrame(CameraCapture& capture, int width, int height) {
    bool alpha = false;
    if (capture.removeBackground.load()) {
        if (!capture.remover) {
            capture.remover = std::make_unique<BackgroundRemover>(
                capture.makeMattingRuntime ? capture.makeMattingRuntime() : nullptr);
        }
        if (capture.remover->ensureReady()) {
            alpha = capture.remover->apply(capture.back.data(), width, height);
        } else {
            capture.setStatus(capture.remover->error());
        }
    }
    std::lock_guard<std::mutex> guard(capture.lock);
    capture.front.swap(capture.back);
    capture.width = width;
    capture.height = height;
    capture.newFrame = true;
    capture.hasAlpha = alpha;
}

void startCameraCapture(CameraCapture& capture, std::function<void(CameraCapture&)> loop) {
    assert(!capture.thread.joinable());
    capture.thread = std::thread([&capture, loop = std::move(loop)] { loop(capture); });
}

void stopCameraCapture(CameraCapture& capture) {
    capture.stop = true;
    {
        std::lock_guard<std::mutex> guard(capture.lock);
        if (capture.cancelRead) capture.cancelRead();
    }
    if (capture.thread.joinable()) capture.thread.join();
}

int64_t steadyNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void phoneCaptureLoop(CameraCapture& capture, PhoneFeed& feed, PhoneDecoder& decoder,
                      const std::function<int64_t()>& nowMs) {
    {
        std::lock_guard<std::mutex> guard(feed.lock);
        feed.queue.clear();
        feed.dropUntilKeyframe = true;
        feed.keyRequested.exchange(true);
    }
    capture.setStatus(kPhoneWaitingText);
    bool shown = false;
    PhonePacket packet;
    while (!capture.stop) {
        if (!feed.pop(packet, kPhonePopTimeoutMs)) {
            if (nowMs() - feed.lastPacketMs.load() >= kPhoneSilenceMs) {
                capture.setStatus(kPhoneWaitingText);
                shown = false;
            }
            continue;
        }
        const int rotation = packet.rotation;
        std::vector<uint8_t>& target = rotation == 0 ? capture.back : capture.rotated;
        int width = 0, height = 0;
        const bool produced = decoder.decode(packet.data.data(), packet.data.size(), target, width, height);
        if (!decoder.error().empty()) {
            // Whatever came out, the pictures after a lost unit stay spoilt until a key frame.
            feed.keyRequested = true;
            if (!produced) {
                capture.setStatus(decoder.error());
                shown = false;
            }
        }
        if (!produced) continue;
        if (rotation != 0) {
            rotateBgra(capture.rotated.data(), width, height, rotation, capture.back, width, height);
        }
        if (!shown) {
            capture.setStatus({});
            shown = true;
        }
        handOffCameraFrame(capture, width, height);
    }
}
