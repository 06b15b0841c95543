// Cost of one studio frame on the CPU: the GUI frame with the studio frame drawn and
// rendered to draw lists, on a headless context. Measured idle and with the panels
// open, with the heap allocations made by the measured frames counted: every case is
// a steady state, so any allocation fails the run.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <thread>

#include "app/studio.h"
#include "imgui.h"
#include "live/session/live_fakes.h"
#include "recording/recording_fakes.h"
#include "ui/settings_window.h"
#include "ui/style.h"
#include "ui/theme.h"

namespace {
std::atomic<long long> gAllocations{0};
}

// Every allocation of the program is counted; the replacements pair malloc with free,
// which GCC cannot see through the standard containers' inlined code.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    ++gAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

void* countingAlloc(size_t size, void*) {
    ++gAllocations;
    return std::malloc(size);
}
void countingFree(void* p, void*) { std::free(p); }

struct Result {
    double us;
    double allocationsPerFrame;
};

Result measure(Studio& studio, int frames) {
    auto frame = [&] {
        ImGui::NewFrame();
        studio.drawFrame();
        ImGui::Render();
        for (ImTextureData* tex : ImGui::GetPlatformIO().Textures)
            if (tex->Status != ImTextureStatus_OK)
                tex->SetStatus(ImTextureStatus_OK), tex->SetTexID(1);
    };
    for (int i = 0; i < 200; ++i) frame();
    const long long before = gAllocations.load();
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) frame();
    auto t1 = std::chrono::steady_clock::now();
    return {std::chrono::duration<double, std::micro>(t1 - t0).count() / frames,
            double(gAllocations.load() - before) / frames};
}

// Cases whose measured frames allocated: every case is a steady state.
int gAllocatingCases = 0;

void report(const char* what, Result r) {
    std::printf("%-72s %8.2f us  %6.2f allocations/frame\n", what, r.us, r.allocationsPerFrame);
    if (r.allocationsPerFrame > 0) ++gAllocatingCases;
}

// A long path, as a file picked from a nested folder gives.
constexpr const char* kLongFolder =
    "C:\\Users\\Presenter\\Videos\\Quillhaven recordings of the weekly show";

}  // namespace

int main() {
    ImGui::SetAllocatorFunctions(countingAlloc, countingFree);
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.DisplaySize = ImVec2(1440, 900);
    io.DeltaTime = 1.0f / 60.0f;
    io.BackendFlags |= ImGuiBackendFlags_RendererHasTextures;
    setTheme(true, "Studio");
    applyStyle(1.0f);

    const int n = 3000;
    Studio studio(nullptr);
    studio.project = makeDefaultProject();
    studio.nextAutosave = INT64_MAX;
    report("idle studio frame (GUI frame + studio frame + render)", measure(studio, n));

    // Every panel of the frame open: a selected layer, the teleprompter reading a script
    // and the go-live popup over two channels.
    for (int i = 0; i < 2; ++i) {
        Destination d;
        d.id = i ? "backup" : "main";
        d.name = i ? "Backup server" : "YouTube";
        d.serverUrl = i ? "rtmp://backup.example.net/live" : "rtmp://a.rtmp.youtube.com/live2";
        studio.project.destinations.push_back(d);
        studio.keyedDestinations.insert(d.id);
    }
    studio.selectedLayer = 0;
    studio.teleprompter.open = true;
    for (int i = 0; i < 60; ++i)
        studio.project.prompterText += "Welcome back to the stream, everyone. ";
    studio.goLiveOpen = true;
    report("studio frame, go-live popup and teleprompter open", measure(studio, n));
    studio.mixerOpen = true;
    report("studio frame, mixer and teleprompter open", measure(studio, n));

    // The inspector on a picture with a long file name, on both of its tabs.
    Scene& scene = studio.project.scenes[size_t(studio.project.activeScene)];
    Layer picture = makeLayer(LayerKind::Image, "Overlay");
    picture.source = std::string(kLongFolder) + "\\A rather long name for the lower third.png";
    picture.lutPath = std::string(kLongFolder) + "\\Warm evening look for the stream.cube";
    scene.layers.push_back(picture);
    const int titleLayer = studio.selectedLayer;
    studio.selectedLayer = int(scene.layers.size()) - 1;
    report("studio frame, inspector (Layer) on a picture, teleprompter open", measure(studio, n));
    studio.inspectorTab = 1;
    report("studio frame, inspector (Filters) on a picture, teleprompter open",
           measure(studio, n));
    studio.inspectorTab = 0;
    studio.selectedLayer = titleLayer;

    // Settings with every note showing: long folders and show name, a refused URL, a phone
    // being paired and remote control running with its address.
    studio.project.showName = "The weekly show with a long name";
    studio.project.recordingFolder = kLongFolder;
    studio.project.backupFolder = std::string(kLongFolder) + " (backup)";
    Destination refused;
    refused.id = "refused";
    refused.name = "Typed by hand";
    refused.serverUrl = "http://example.com/live";
    studio.project.destinations.push_back(refused);
    studio.pairingCode = "482913";
    studio.pairingDeadline = steadyNowNs() + 180LL * 1000000000LL;
    studio.pairingAddresses = {"192.168.178.42", "10.0.0.17"};
    studio.project.remoteControl = true;
    studio.remoteToken = std::string(32, 'a');
    for (int attempt = 0; attempt < 50 && !studio.remote.isRunning(); ++attempt)
        studio.remote.start(20000 + attempt * 613, false, studio.remoteToken);
    if (!studio.remote.isRunning())
        std::fprintf(stderr, "remote control did not start: the Control tab shows no address\n");
    studio.settings.open = true;
    static const char* const kSettingsLines[SettingsTab::Count] = {
        "studio frame, settings (Video) and teleprompter open",
        "studio frame, settings (Audio) and teleprompter open",
        "studio frame, settings (Recording) and teleprompter open",
        "studio frame, settings (Destinations) and teleprompter open",
        "studio frame, settings (Control, remote running) and teleprompter open"};
    for (int tab = 0; tab < SettingsTab::Count; ++tab) {
        studio.settings.tab = tab;
        report(kSettingsLines[tab], measure(studio, n));
    }
    studio.settings.open = false;
    studio.remote.stop();
    studio.project.destinations.pop_back();
    studio.project.backupFolder.clear();  // the recording below writes no copy

    // Recording and live on both channels, as for most of a show: the top bar shows the
    // file name and the go-live popup a row per channel. Recorders, encoders and the
    // server are the tests' stand-ins, so only the frame is measured.
    fakes::RecorderBook book;
    const CanvasSettings* sizes = studio.project.canvases.data();
    livefake::PixelCanvas canvases[2] = {{sizes[0].width, sizes[0].height, sizes[0].width * 4},
                                         {sizes[1].width, sizes[1].height, sizes[1].width * 4}};
    const std::string folder = fakes::scratchFolder("studio-frame-bench");
    studio.project.recordingFolder = folder;
    studio.recording.makeRecorder = [&](Container c) {
        return std::make_unique<fakes::FakeRecorder>(book, c);
    };
    studio.recording.compositors[0] = &canvases[0];
    studio.recording.compositors[1] = &canvases[1];
    auto encoders = std::make_shared<livefake::EncoderLog>();
    LiveMediaAccess access;
    access.makeVideoEncoder = [&]() -> std::unique_ptr<IVideoPacketEncoder> {
        return std::make_unique<livefake::FakeVideoEncoder>(encoders);
    };
    access.makeAudioEncoder = [&]() -> std::unique_ptr<IAudioPacketEncoder> {
        return std::make_unique<livefake::FakeAudioEncoder>(encoders);
    };
    access.compositor = [&](int c) -> ICompositor* { return &canvases[c]; };
    access.makePublisher = livefake::publisherFactory(std::make_shared<livefake::PublishLog>());
    studio.live.kit = access;
    std::string error = studio.recording.start(studio.project, studio.project.scenes[0]);
    if (error.empty())
        error = studio.live.start(studio.project, [](const Destination&) { return "bench-key"; });
    // A channel is live from its first key frame on.
    if (error.empty()) studio.live.pushMedia(studio.project, {});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (error.empty() && studio.live.liveCount() < 2) {
        if (std::chrono::steady_clock::now() > deadline) error = "the channels did not go live";
        std::this_thread::yield();
    }
    if (!error.empty()) {
        std::fprintf(stderr, "could not record and go live: %s\n", error.c_str());
        studio.live.stopAll();
        studio.recording.stop();
        return 1;
    }
    studio.goLiveOpen = true;
    report("studio frame, recording, live on 2, go-live popup", measure(studio, n));
    studio.live.stopAll();
    studio.recording.stop();
    std::filesystem::remove_all(folder);
    ImGui::DestroyContext();
    if (gAllocatingCases > 0) {
        std::fprintf(stderr, "%d steady frame case(s) allocate: a frame must not\n",
                     gAllocatingCases);
        return 1;
    }
    return 0;
}
