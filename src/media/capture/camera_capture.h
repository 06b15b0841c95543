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
    // Ends a read the thread is blocked in (set by the loop while it holds a device); called
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
// (packed BGRA into `out`); false with an empty error() when it only wants more input.
class PhoneDecoder {
public:
    virtual ~PhoneDecoder() = default;
    virtual bool decode(const uint8_t* data, size_t size, std::vector<uint8_t>& out, int& width,
                        int& height) = 0;
    virtual const std::string& error() const = 0;
};

// How long a pop waits, and how long without a datagram counts as no phone.
constexpr int kPhonePopTimeoutMs = 300;
constexpr int64_t kPhoneSilenceMs = 2000;

// Feeds the phone's packets through `decoder` into the capture until its stop flag; `nowMs` is the
// steady clock in milliseconds (the clock that the feed's lastPacketMs is written with).
void phoneCaptureLoop(CameraCapture& capture, PhoneFeed& feed, PhoneDecoder& decoder,
                      const std::function<int64_t()>& nowMs);
int64_t steadyNowMs();
