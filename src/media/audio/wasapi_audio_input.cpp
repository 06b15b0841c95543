#include "media/audio/wasapi_audio_input.h"

#include <algorithm>
#include <chrono>

namespace {

const char* const kOpeningMicrophone = "Opening microphone\xE2\x80\xA6";
const char* const kOpeningDesktop = "Opening desktop audio\xE2\x80\xA6";

}  // namespace

bool wantsVoiceProcessing(const AudioInputSettings& s) { return s.voiceProcessing && !s.loopback; }

const char* lostEndpointStatus(const AudioInputSettings& s) { return s.loopback ? kNoSpeakers : kUnplugged; }

const char* clientFailureStatus(const AudioInputSettings& s, int32_t result, const char* otherwise) {
    if (result == kDeviceInvalidated) return lostEndpointStatus(s);
    if (result == kAccessDenied || result == kDeviceInUse) return kMicrophoneUnavailable;
    return otherwise;
}

WasapiAudioInput::WasapiAudioInput(CaptureOpener captureOpener)
    : opener(std::move(captureOpener)), statusText(kOpeningMicrophone) {}

WasapiAudioInput::~WasapiAudioInput() { stop(); }

void WasapiAudioInput::start(const AudioInputSettings& newSettings) {
    stop();
    settings = newSettings;
    stopRequested = false;
    rate = 0;
    levelValue = 0.0f;
    {
        std::lock_guard<std::mutex> guard(lock);
        statusText = settings.loopback ? kOpeningDesktop : kOpeningMicrophone;
        effectsText.clear();
    }
    thread = std::thread(&WasapiAudioInput::captureThread, this, settings);
}

void WasapiAudioInput::stop() {
    stopRequested = true;
    if (thread.joinable()) thread.join();
}

float WasapiAudioInput::level() const { return levelValue.load(); }
bool WasapiAudioInput::isMuted() const { return muted.load(); }
void WasapiAudioInput::setMuted(bool on) { muted = on; }
int WasapiAudioInput::sampleRate() const { return rate.load(); }

std::string WasapiAudioInput::status() const {
    std::lock_guard<std::mutex> guard(lock);
    return statusText;
}

std::string WasapiAudioInput::activeEffects() const {
    std::lock_guard<std::mutex> guard(lock);
    return effectsText;
}

void WasapiAudioInput::copyStatus(std::string& out) const {
    std::lock_guard<std::mutex> guard(lock);
    out = statusText;
}

void WasapiAudioInput::copyActiveEffects(std::string& out) const {
    std::lock_guard<std::mutex> guard(lock);
    out = effectsText;
}

void WasapiAudioInput::setCollecting(bool on) {
    std::lock_guard<std::mutex> guard(lock);
    buffer.clear();
    collecting = on;
}

void WasapiAudioInput::takeSamples(std::vector<int16_t>& samples) {
    std::lock_guard<std::mutex> guard(lock);
    samples.swap(buffer);
    buffer.clear();  // keeps the caller's old storage for the next packets
}

void WasapiAudioInput::setStatus(const std::string& text) {
    std::lock_guard<std::mutex> guard(lock);
    statusText = text;
}

void WasapiAudioInput::captureThread(AudioInputSettings threadSettings) {
    CaptureOpenResult opened = opener(threadSettings);
    if (!opened.stream) {
        setStatus(opened.error);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        effectsText = opened.effects;
    }
    rate = 48000;
    ResamplerState resampler;
    resampler.inRate = opened.format.rate;
    resampler.outRate = 48000;
    setStatus("");

    float peak = 0.0f;
    std::vector<int16_t> local;
    while (!stopRequested) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        drainPackets(*opened.stream, opened.format, resampler, local, peak);
        if (opened.stream->deviceLost()) {
            // Nothing more will come from this endpoint: the input fails as if it had been
            // missing at the start, and the next start looks for it again.
            setStatus(lostEndpointStatus(threadSettings));
            rate = 0;
            levelValue = 0.0f;
            break;
        }
    }
    opened.stream.reset();  // stops the endpoint and releases it on this thread
}

void WasapiAudioInput::drainPackets(ICaptureStream& stream, const CaptureFormat& format,
                                    ResamplerState& resampler, std::vector<int16_t>& local,
                                    float& peak) {
    float wakePeak = 0.0f;
    uint32_t waiting = 0;
    // A stop request ends the loop between packets, and a packet size that promises frames
    // the endpoint never delivers waits for the next wake-up instead of spinning here: a
    // device that stalls must never hold up stop or destruction.
    while (!stopRequested && stream.nextPacketSize(waiting) && waiting != 0) {
        CaptureBuffer got;
        if (!stream.getBuffer(got)) break;
        if (got.frames == 0) {
            stream.releaseBuffer(0);
            break;
        }
        CapturedPacket packet;
        packet.data = got.data;
        packet.frames = got.frames;
        packet.channels = format.channels;
        packet.isFloat = format.isFloat;
        packet.silent = got.silent;
        wakePeak = std::max(wakePeak, convertToStereo16(packet, muted.load(), local));
        {
            std::lock_guard<std::mutex> guard(lock);
            if (collecting) resampleStereo16(resampler, local.data(), got.frames, buffer);
        }
        stream.releaseBuffer(got.frames);
    }
    peak = std::max(peak * 0.85f, wakePeak);
    levelValue = peak;
}
