// The studio's audio input against real endpoints: Wine over a private PulseAudio whose null sink
// plays a 440 Hz tone (real_sound.sh). The sink's monitor is a capture endpoint.
#include "media/audio/wasapi_audio_input.h"
#include "util/text.h"

#include <audioclient.h>
#include <gtest/gtest.h>
#include <mmdeviceapi.h>
#include <objbase.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 48000;
constexpr double kTone = 440.0;

std::string settledStatus(WasapiAudioInput& input) {
    const auto deadline = Clock::now() + 20s;
    while (Clock::now() < deadline && input.status().rfind("Opening", 0) == 0) std::this_thread::sleep_for(5ms);
    return input.status();
}

// Collects `seconds` of 48 kHz stereo from a running input.
std::vector<int16_t> collect(WasapiAudioInput& input, double seconds) {
    std::vector<int16_t> all, part;
    const size_t want = static_cast<size_t>(seconds * kRate) * 2;
    const auto deadline = Clock::now() + 60s;
    while (all.size() < want && Clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
        input.takeSamples(part);
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// Rising zero crossings of the left channel, interpolated between samples.
std::vector<double> risingCrossings(const std::vector<int16_t>& stereo) {
    std::vector<double> at;
    for (size_t i = 1; i < stereo.size() / 2; ++i) {
        const int a = stereo[(i - 1) * 2], b = stereo[i * 2];
        if (a < 0 && b >= 0) at.push_back(static_cast<double>(i - 1) + static_cast<double>(-a) / (b - a));
    }
    return at;
}

// The endpoint's own shared-mode format, which the input converts from: PulseAudio's monitor
// offers 44,100 Hz float, so the 48 kHz the input hands out has been resampled.
std::string mixFormatOf(const std::string& id) {
    using Microsoft::WRL::ComPtr;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ComPtr<IMMDeviceEnumerator> devices;
    ComPtr<IMMDevice> device;
    ComPtr<IAudioClient> client;
    WAVEFORMATEX* format = nullptr;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, IID_PPV_ARGS(&devices))) ||
        FAILED(devices->GetDevice(utf8ToWide(id).c_str(), &device)) ||
        FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, &client)) ||
        FAILED(client->GetMixFormat(&format)))
        return "none";
    const bool isFloat = format->wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
                         (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE && format->wBitsPerSample == 32 &&
                          reinterpret_cast<WAVEFORMATEXTENSIBLE*>(format)->SubFormat ==
                              KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
    const std::string text = std::to_string(format->nSamplesPerSec) + " Hz " +
                             std::to_string(format->nChannels) + " ch " + (isFloat ? "float" : "integer");
    CoTaskMemFree(format);
    return text;
}

}  // namespace

TEST(RealMicrophone, TheToneArrivesAt440HzWithoutGapsAndMuteSilencesIt) {
    const std::vector<AudioDevice> devices = listAudioInputs();
    ASSERT_FALSE(devices.empty()) << "Wine lists no capture endpoint: is PulseAudio running?";
    std::string names;
    for (const AudioDevice& d : devices) {
        EXPECT_FALSE(d.id.empty());
        EXPECT_FALSE(d.name.empty());
        names += (names.empty() ? "" : ", ") + d.name + " [" + d.id + "]";
    }
    RecordProperty("endpoints", names);

    // The null sink's monitor, listed by its friendly name.
    const auto sink = std::find_if(devices.begin(), devices.end(),
                                   [](const AudioDevice& d) { return d.name == "Monitor of Null Output"; });
    ASSERT_NE(sink, devices.end()) << "endpoints: " << names;
    EXPECT_EQ(mixFormatOf(sink->id), "44100 Hz 2 ch float");
    WasapiAudioInput mic;
    mic.start({sink->id, false, false});
    ASSERT_EQ(settledStatus(mic), "");
    EXPECT_EQ(mic.sampleRate(), kRate);
    mic.setCollecting(true);
    const std::vector<int16_t> tone = collect(mic, 10.0);
    ASSERT_GE(tone.size(), size_t(10 * kRate * 2));
    EXPECT_GT(mic.level(), 0.05f);  // the tone peaks at 1/8 of full scale

    // Frequency from the crossings after the first tenth of a second; every period within 2 % of
    // the tone's, so a lost or repeated packet anywhere shows as one period out of line.
    std::vector<double> crossings = risingCrossings(tone);
    crossings.erase(crossings.begin(), std::lower_bound(crossings.begin(), crossings.end(), kRate / 10.0));
    ASSERT_GT(crossings.size(), 1000u);
    const double hz = (crossings.size() - 1) * kRate / (crossings.back() - crossings.front());
    RecordProperty("frequency", std::to_string(hz));
    EXPECT_NEAR(hz, kTone, 2.0);
    int outOfLine = 0;
    for (size_t i = 1; i < crossings.size(); ++i)
        if (std::abs(crossings[i] - crossings[i - 1] - kRate / kTone) > kRate / kTone * 0.02) ++outOfLine;
    EXPECT_EQ(outOfLine, 0) << "gaps in the captured tone";

    mic.setMuted(true);
    EXPECT_TRUE(mic.isMuted());
    collect(mic, 0.3);  // what was already converted before muting
    const std::vector<int16_t> muted = collect(mic, 0.5);
    EXPECT_TRUE(std::all_of(muted.begin(), muted.end(), [](int16_t v) { return v == 0; }));
    // Stopping, or destroying without a stop, while the endpoint streams returns (the test's time
    // limit catches a hang).
    mic.stop();
    WasapiAudioInput other;
    other.start({sink->id, false, false});
    ASSERT_EQ(settledStatus(other), "");
    other.setCollecting(true);
    EXPECT_FALSE(collect(other, 0.2).empty());
}

TEST(RealDesktopSound, LoopbackRefusedWithItsText) {
    WasapiAudioInput desktop;
    desktop.start({"", true, false});
    // Wine opens the loopback stream but refuses its capture client.
    EXPECT_EQ(settledStatus(desktop), "Microphone format not supported");
    EXPECT_EQ(desktop.sampleRate(), 0);
}

// The script loads a sink described as "Unplug" whose monitor is a capture endpoint of its own,
// and unloads it once this test says it captures from it. The test leaves the endpoint's
// identifier for UnpluggedInTheNextRun, which the script runs in a new process (Wine reads its
// endpoints once a process).
TEST(RealMicrophone, UnpluggedWhileCapturing) {
    const std::vector<AudioDevice> devices = listAudioInputs();
    const auto it = std::find_if(devices.begin(), devices.end(),
                                 [](const AudioDevice& d) { return d.name == "Monitor of Unplug"; });
    ASSERT_NE(it, devices.end()) << "no endpoint for the sink to unplug";
    const char* dir = std::getenv("QH_SOUND_SIGNALS");
    ASSERT_TRUE(dir && *dir);
    std::ofstream(std::filesystem::path(dir) / "unplug-id") << it->id;
    WasapiAudioInput mic;
    mic.start({it->id, false, false});
    ASSERT_EQ(settledStatus(mic), "");
    std::ofstream(std::filesystem::path(dir) / "capturing") << "1";
    const auto deadline = Clock::now() + 60s;
    while (Clock::now() < deadline && mic.status().empty()) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(mic.status(), "That microphone is unplugged");
    EXPECT_EQ(mic.sampleRate(), 0);
}

TEST(RealMicrophone, UnpluggedInTheNextRun) {
    const char* id = std::getenv("QH_UNPLUGGED_ID");
    if (!id || !*id) GTEST_SKIP() << "runs after the sink is gone";
    WasapiAudioInput mic;
    mic.start({id, false, false});
    EXPECT_EQ(settledStatus(mic), "That microphone is unplugged");
}
