#pragma once
// The studio's audio input: one capture thread per input polls the endpoint, converts what it
// delivers to 48 kHz stereo int16, keeps a peak level and, while collecting, hands the samples
// to the main thread through a locked buffer. The endpoint itself is reached through a stream
// opened on the capture thread, so the thread's logic runs the same against a fake endpoint.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/audio/resample.h"
#include "media/media.h"

// Status texts of an endpoint that is gone, whether at the start or while capturing.
inline constexpr const char* kUnplugged = "That microphone is unplugged";
inline constexpr const char* kNoSpeakers = "No speakers found";
inline constexpr const char* kMicrophoneUnavailable = "Microphone unavailable";
inline constexpr const char* kFormatNotSupported = "Microphone format not supported";

// Audio client results that name their cause (the platform's HRESULT values, as int32_t).
inline constexpr int32_t kAccessDenied = static_cast<int32_t>(0x80070005);       // E_ACCESSDENIED
inline constexpr int32_t kDeviceInvalidated = static_cast<int32_t>(0x88890004);  // AUDCLNT_E_DEVICE_INVALIDATED
inline constexpr int32_t kDeviceInUse = static_cast<int32_t>(0x8889000A);        // AUDCLNT_E_DEVICE_IN_USE

struct CaptureFormat {
    int channels = 2;
    int rate = 48000;
    bool isFloat = true;  // float32 samples, else int16
};

struct CaptureBuffer {
    const void* data = nullptr;
    uint32_t frames = 0;
    bool silent = false;
};

// An opened, started endpoint. Owned and used by the capture thread only.
class ICaptureStream {
public:
    virtual ~ICaptureStream() = default;
    // Frames waiting in the next packet; false when the endpoint fails.
    virtual bool nextPacketSize(uint32_t& frames) = 0;
    // The next packet; false when the endpoint fails. Zero frames means nothing was delivered.
    virtual bool getBuffer(CaptureBuffer& buffer) = 0;
    virtual void releaseBuffer(uint32_t frames) = 0;
    // True once a failed call said the endpoint is gone (unplugged, or its driver removed it).
    virtual bool deviceLost() const = 0;
};

struct CaptureOpenResult {
    std::unique_ptr<ICaptureStream> stream;  // null on failure
    CaptureFormat format;
    std::string error;    // the status text on failure
    std::string effects;  // voice effects the system applies, joined by ", "
};

// Runs on the capture thread; everything it opens lives in the returned stream.
using CaptureOpener = std::function<CaptureOpenResult(const AudioInputSettings&)>;

CaptureOpenResult openSystemCapture(const AudioInputSettings& settings);

// The communications category (and with it the system's voice effects) is asked for the
// microphone only, never for desktop sound.
bool wantsVoiceProcessing(const AudioInputSettings& settings);

// The status of an endpoint that went away after it was found.
const char* lostEndpointStatus(const AudioInputSettings& settings);
// The status when the audio client refuses to open the stream with `result`: a gone endpoint
// and a refusal (privacy settings, another program holding the device exclusively) say so;
// any other cause reads `otherwise`.
const char* clientFailureStatus(const AudioInputSettings& settings, int32_t result, const char* otherwise);
std::vector<AudioDevice> listAudioInputs();

class WasapiAudioInput : public IAudioInput {
public:
    explicit WasapiAudioInput(CaptureOpener opener = openSystemCapture);
    ~WasapiAudioInput() override;

    void start(const AudioInputSettings& settings) override;
    void stop() override;
    float level() const override;
    bool isMuted() const override;
    void setMuted(bool muted) override;
    int sampleRate() const override;
    std::string status() const override;
    std::string activeEffects() const override;
    void copyStatus(std::string& out) const override;
    void copyActiveEffects(std::string& out) const override;
    void setCollecting(bool on) override;
    void takeSamples(std::vector<int16_t>& samples) override;

private:
    void captureThread(AudioInputSettings settings);
    void drainPackets(ICaptureStream& stream, const CaptureFormat& format,
                      ResamplerState& resampler, std::vector<int16_t>& local, float& peak);
    void setStatus(const std::string& text);

    CaptureOpener opener;
    std::thread thread;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> muted{false};
    std::atomic<float> levelValue{0.0f};
    std::atomic<int32_t> rate{0};
    mutable std::mutex lock;
    std::vector<int16_t> buffer;
    bool collecting = false;
    std::string statusText;
    std::string effectsText;
    AudioInputSettings settings;
};
