// Cost of one idle studio frame on the CPU: the GUI frame with the studio
// frame drawn and rendered to draw lists, on a headless context.

#include <chrono>
#include <cstdio>

#include "app/studio.h"
#include "imgui.h"
#include "ui/style.h"
#include "ui/theme.h"

int main() {
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.DisplaySize = ImVec2(1440, 900);
    io.DeltaTime = 1.0f / 60.0f;
    io.BackendFlags |= ImGuiBackendFlags_RendererHasTextures;
    setTheme(true, "Studio");
    applyStyle(1.0f);

    Studio studio(nullptr);
    studio.project = makeDefaultProject();
    studio.nextAutosave = INT64_MAX;
    auto frame = [&] {
        ImGui::NewFrame();
        studio.drawFrame();
        ImGui::Render();
        for (ImTextureData* tex : ImGui::GetPlatformIO().Textures)
            if (tex->Status != ImTextureStatus_OK) tex->SetStatus(ImTextureStatus_OK), tex->SetTexID(1);
    };
    for (int i = 0; i < 100; ++i) frame();
    const int n = 5000;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) frame();
    auto t1 = std::chrono::steady_clock::now();
    double us = std::chrono::duration<double, std::micro>(t1 - t0).count() / n;
    std::printf("idle studio frame (GUI frame + studio frame + render): %.2f us\n", us);
    ImGui::DestroyContext();
    return 0;
}
