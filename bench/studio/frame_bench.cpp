// Cost of one studio frame on the CPU: the GUI frame with the studio frame drawn and
// rendered to draw lists, on a headless context. Measured idle and with the panels
// open, with the heap allocations made by the measured frames counted.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "app/studio.h"
#include "imgui.h"
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

void report(const char* what, Result r) {
    std::printf("%-52s %8.2f us  %6.2f allocations/frame\n", what, r.us, r.allocationsPerFrame);
}

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
    studio.settings.open = true;
    report("studio frame, settings window and teleprompter open", measure(studio, n));
    ImGui::DestroyContext();
    return 0;
}
