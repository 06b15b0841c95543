#include <initguid.h>
#include <windows.h>
#include <mmdeviceapi.h>
#include <audioclient.h>
#include <functiondiscoverykeys_devpkey.h>
#include <mmreg.h>
#include <ks.h>
#include <ksmedia.h>

#include "media/audio/wasapi_audio_input.h"
#include "util/text.h"
#include "util/win32_missing.h"

static_assert(kAccessDenied == static_cast<int32_t>(E_ACCESSDENIED));
static_assert(kDeviceInvalidated == static_cast<int32_t>(AUDCLNT_E_DEVICE_INVALIDATED));
static_assert(kDeviceInUse == static_cast<int32_t>(AUDCLNT_E_DEVICE_IN_USE));

namespace {

template <typename T>
void releaseCom(T*& p) {
    if (p) {
        p->Release();
        p = nullptr;
    }
}

// Everything one capture thread opens, released in reverse order on the same thread.
class WasapiStream : public ICaptureStream {
public:
    WasapiStream() {
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        comStarted = SUCCEEDED(hr);
    }
    ~WasapiStream() override {
        if (started) client->Stop();
        releaseCom(capture);
        releaseCom(client);
        releaseCom(device);
        releaseCom(enumerator);
        if (comStarted) CoUninitialize();
    }

    bool nextPacketSize(uint32_t& frames) override {
        UINT32 n = 0;
        if (!succeeded(capture->GetNextPacketSize(&n))) return false;
        // With nothing waiting, the client's padding is asked too: some audio stacks (Wine's)
        // keep answering an empty packet for an endpoint that is gone, and say so only here.
        UINT32 padding = 0;
        if (n == 0 && !succeeded(client->GetCurrentPadding(&padding))) return false;
        frames = n;
        return true;
    }

    bool getBuffer(CaptureBuffer& buffer) override {
        BYTE* data = nullptr;
        UINT32 frames = 0;
        DWORD flags = 0;
        const HRESULT hr = capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr);
        if (!succeeded(hr)) return false;
        held = hr == S_OK;  // AUDCLNT_S_BUFFER_EMPTY hands out nothing to release
        buffer.data = data;
        buffer.frames = held ? frames : 0;
        buffer.silent = (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
        return true;
    }

    void releaseBuffer(uint32_t frames) override {
        if (!held) return;
        capture->ReleaseBuffer(frames);
        held = false;
    }

    bool deviceLost() const override { return lost; }

    bool succeeded(HRESULT hr) {
        if (hr == AUDCLNT_E_DEVICE_INVALIDATED) lost = true;
        return SUCCEEDED(hr);
    }

    bool comStarted = false;
    bool lost = false;
    bool started = false;
    bool held = false;
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    IAudioClient* client = nullptr;
    IAudioCaptureClient* capture = nullptr;
};

CaptureOpenResult failed(const char* text) {
    CaptureOpenResult r;
    r.error = text;
    return r;
}

// The voice effects the system applies to this stream, by their user-facing names.
std::string describeAudioEffects(IAudioClient* client) {
    IAudioEffectsManager* manager = nullptr;
    if (!client || FAILED(client->GetService(IID_IAudioEffectsManager, reinterpret_cast<void**>(&manager))) ||
        !manager) {
        return "";
    }
    AUDIO_EFFECT* effects = nullptr;
    UINT32 count = 0;
    std::string text;
    if (SUCCEEDED(manager->GetAudioEffects(&effects, &count)) && effects) {
        struct Named {
            const GUID* type;
            const char* name;
        };
        const Named names[] = {
            {&AUDIO_EFFECT_TYPE_ACOUSTIC_ECHO_CANCELLATION, "echo cancellation"},
            {&AUDIO_EFFECT_TYPE_NOISE_SUPPRESSION, "noise suppression"},
            {&AUDIO_EFFECT_TYPE_DEEP_NOISE_SUPPRESSION, "AI noise suppression"},
            {&AUDIO_EFFECT_TYPE_AUTOMATIC_GAIN_CONTROL, "auto gain"},
            {&AUDIO_EFFECT_TYPE_BEAMFORMING, "beamforming"},
        };
        for (UINT32 i = 0; i < count; ++i) {
            if (effects[i].state != AUDIO_EFFECT_STATE_ON) continue;
            for (const Named& n : names) {
                if (IsEqualGUID(effects[i].id, *n.type)) {
                    if (!text.empty()) text += ", ";
                    text += n.name;
                    break;
                }
            }
        }
        CoTaskMemFree(effects);
    }
    manager->Release();
    return text;
}

}  // namespace

CaptureOpenResult openSystemCapture(const AudioInputSettings& settings) {
    auto stream = std::make_unique<WasapiStream>();
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&stream->enumerator)))) {
        return failed("Audio is unavailable");
    }

    HRESULT hr;
    if (settings.loopback) {
        hr = stream->enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &stream->device);
    } else if (settings.deviceId.empty()) {
        hr = stream->enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, &stream->device);
    } else {
        hr = stream->enumerator->GetDevice(utf8ToWide(settings.deviceId).c_str(), &stream->device);
    }
    if (FAILED(hr) || !stream->device) {
        if (settings.loopback) return failed(kNoSpeakers);
        return failed(settings.deviceId.empty() ? "No microphone found" : kUnplugged);
    }
    // A chosen microphone stays known to the system once unplugged: GetDevice still finds it and
    // only its state says it is gone.
    DWORD state = 0;
    if (!settings.loopback && !settings.deviceId.empty() && SUCCEEDED(stream->device->GetState(&state)) &&
        state != DEVICE_STATE_ACTIVE) {
        return failed(kUnplugged);
    }

    hr = stream->device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                  reinterpret_cast<void**>(&stream->client));
    if (FAILED(hr)) return failed(clientFailureStatus(settings, hr, kMicrophoneUnavailable));
    if (wantsVoiceProcessing(settings)) {
        IAudioClient2* client2 = nullptr;
        if (SUCCEEDED(stream->client->QueryInterface(__uuidof(IAudioClient2),
                                                     reinterpret_cast<void**>(&client2)))) {
            AudioClientProperties props = {};
            props.cbSize = sizeof(props);
            props.bIsOffload = FALSE;
            props.eCategory = AudioCategory_Communications;
            props.Options = AUDCLNT_STREAMOPTIONS_NONE;
            client2->SetClientProperties(&props);  // a refusal only loses the voice effects
            client2->Release();
        }
    }

    WAVEFORMATEX* mix = nullptr;
    hr = stream->client->GetMixFormat(&mix);
    if (FAILED(hr) || !mix) return failed(clientFailureStatus(settings, hr, kMicrophoneUnavailable));
    bool isFloat = mix->wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
    bool isInteger = mix->wFormatTag == WAVE_FORMAT_PCM;
    if (mix->wFormatTag == WAVE_FORMAT_EXTENSIBLE && mix->cbSize >= 22) {
        const auto* ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(mix);
        isFloat = IsEqualGUID(ext->SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
        isInteger = IsEqualGUID(ext->SubFormat, KSDATAFORMAT_SUBTYPE_PCM);
    }
    CaptureOpenResult result;
    result.format.channels = mix->nChannels;
    result.format.rate = static_cast<int>(mix->nSamplesPerSec);
    result.format.isFloat = isFloat;
    const bool usable = (isFloat ? mix->wBitsPerSample == 32 : isInteger && mix->wBitsPerSample == 16) &&
                        mix->nChannels >= 1 && mix->nSamplesPerSec > 0;
    if (!usable) {
        CoTaskMemFree(mix);
        return failed(kFormatNotSupported);
    }
    hr = stream->client->Initialize(AUDCLNT_SHAREMODE_SHARED,
                                    settings.loopback ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0, 10000000, 0,
                                    mix, nullptr);
    CoTaskMemFree(mix);
    // Initialize refuses with E_ACCESSDENIED while microphone access is off in the privacy
    // settings, and with AUDCLNT_E_DEVICE_INVALIDATED for an endpoint unplugged since it was found.
    if (SUCCEEDED(hr)) {
        hr = stream->client->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void**>(&stream->capture));
    }
    if (SUCCEEDED(hr)) hr = stream->client->Start();
    if (FAILED(hr)) return failed(clientFailureStatus(settings, hr, kFormatNotSupported));
    stream->started = true;
    result.effects = describeAudioEffects(stream->client);
    result.stream = std::move(stream);
    return result;
}

std::vector<AudioDevice> listAudioInputs() {
    std::vector<AudioDevice> devices;
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDeviceCollection* collection = nullptr;
    if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                   __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&enumerator))) &&
        SUCCEEDED(enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, &collection))) {
        UINT count = 0;
        collection->GetCount(&count);
        for (UINT i = 0; i < count; ++i) {
            IMMDevice* device = nullptr;
            if (FAILED(collection->Item(i, &device)) || !device) continue;
            LPWSTR id = nullptr;
            if (SUCCEEDED(device->GetId(&id)) && id) {
                AudioDevice entry;
                entry.id = wideToUtf8(id);
                entry.name = entry.id;
                IPropertyStore* props = nullptr;
                if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, &props)) && props) {
                    PROPVARIANT value;
                    PropVariantInit(&value);
                    if (SUCCEEDED(props->GetValue(PKEY_Device_FriendlyName, &value)) &&
                        value.vt == VT_LPWSTR && value.pwszVal) {
                        entry.name = wideToUtf8(value.pwszVal);
                    }
                    PropVariantClear(&value);
                    props->Release();
                }
                devices.push_back(std::move(entry));
                CoTaskMemFree(id);
            }
            device->Release();
        }
    }
    releaseCom(collection);
    releaseCom(enumerator);
    if (SUCCEEDED(init)) CoUninitialize();
    return devices;
}
