// The state a camera source shares with its capture thread, the hand-off of finished frames
// between them and the phone camera's loop. Portable: the device, the decoder and the matting
// runtime come in from outside.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "media/capture/matting.h"

struct PhoneFeed;

constexpr char kCameraStartingText[] = "Starting camera\xE2\x80\xA6";
constexpr char kCameraNotFoundText[] = "Camera not found";
constexpr char kCameraBusyText[] = "Camera is busy or blocked in Windows privacy settings";
constexpr char kCameraStoppedText[] = "Camera stopped (unplugged or used by another app)";
constexpr char kPhoneWaitingText[] = "Waiting for your phone: open Quillhaven Remote and turn on Camera";
// The device index that names the phone camera rather than a local one.
constexpr int kPhoneCameraIndex = 1000;

struct CameraCapture {
    std::thread thread;
    std::atomic<bool> stop{false};
    std::mutex lock;  // guards everything below except removeBackground and remover
    std::vector<uint8_t> front;
    int32_t width = 0, height = 0;
    bool newFrame = false;
    bool hasAlpha = false;
    // Ends the thread's wait for the next frame (set by the loop while it holds a device); called
    // under `lock` by stopCameraCapture, so a camera that stopped delivering cannot hold up a join.
    std::function<void()> cancelRead;
    std::atomic<bool> removeBackground{false};
    std::unique_ptr<BackgroundRemover> remover;  // capture thread only
    // How the remover is made on first use; the platform's runtime unless a test says otherwise.
    std::function<std::unique_ptr<MattingRuntime>()> makeMattingRuntime = platformMattingRuntime;
    std::vector<uint8_t> back;     // capture thread only, filled without the lock
    std::vector<uint8_t> rotated;  // capture thread only: the phone path's decode target
    std::string status = kCameraStartingText;

    // Assigned in place: a text set again on every frame (a failing removal) reuses the storage.
    void setStatus(std::string_view text);
};

// Removes the background when asked, then swaps `back` in as the newest frame.
void handOffCameraFrame(CameraCapture& capture, int width, int height);

// Runs `loop` on the capture's thread.
void startCameraCapture(CameraCapture& capture, std::function<void(CameraCapture&)> loop);
// Asks the thread to end, breaks off a blocked read and joins it.
void stopCameraCapture(CameraCapture& capture);

// Decodes the phone's H.264 access units. decode is true when at least one picture came out
// (packed BGRA into `out`); false with an empty error() when it only wants more input. error() is
// also set beside a picture when a unit was lost, as the pictures after it need a key frame.
class PhoneDecoder {
public:
    virtual ~PhoneDecoder() = default;
    virtual bool decode(const uint8_t* data, size_t size, std::vector<uint8_t>& out, int& width,
                        int& height) = 0;
    virtual const std::string& error() const = 0;
};

// What a decoder transform answered to one offered access unit.
enum class DecoderInput { Taken, Full, Refused };
// The size of the last picture a drain of the transform wrote into the output; 0 x 0 for none.
struct PictureSize {
    int width = 0, height = 0;
};

// One access unit through a decoder transform: when it is full it is drained first and offered the
// unit once more; when it took the unit it is drained again. `offer`() -> DecoderInput, `drain`()
// -> PictureSize. True when a picture came out: width and height are then those of the last picture
// written, whichever drain wrote it. `taken` says whether the transform took the unit at all.
template <class Offer, class Drain>
bool feedDecoderTransform(Offer&& offer, Drain&& drain, int& width, int& height, bool& taken) {
    PictureSize last;
    DecoderInput answer = offer();
    if (answer == DecoderInput::Full) {
        last = drain();
        answer = offer();
    }
    taken = answer == DecoderInput::Taken;
    if (taken) {
        const PictureSize more = drain();
        if (more.width > 0) last = more;
    }
    if (last.width <= 0 || last.height <= 0) return false;
    width = last.width;
    height = last.height;
    return true;
}

// How long a pop waits, and how long without a datagram counts as no phone.
constexpr int kPhonePopTimeoutMs = 300;
constexpr int64_t kPhoneSilenceMs = 2000;

// Feeds the phone's packets through `decoder` into the capture until its stop flag; `nowMs` is the
// steady clock in milliseconds (the clock that the feed's lastPacketMs is written with).
void phoneCaptureLoop(CameraCapture& capture, PhoneFeed& feed, PhoneDecoder& decoder,
                      const std::function<int64_t()>& nowMs);
int64_t steadyNowMs();
