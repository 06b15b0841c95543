#pragma once
// A Dear ImGui context without a renderer, driven by scripted mouse events.

#include <functional>

#include "imgui.h"
#include "imgui_internal.h"
#include "ui/item_log.h"
#include "ui/style.h"
#include "ui/theme.h"

class HeadlessGui {
public:
    explicit HeadlessGui(float dpiScale = 1.0f) {
        ctx_ = ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(1280, 800);
        io.DeltaTime = 1.0f / 60.0f;
        io.BackendFlags |= ImGuiBackendFlags_RendererHasTextures;
        applyStyle(dpiScale);
        ItemLog::enable(true);
    }
    ~HeadlessGui() {
        ItemLog::enable(false);
        ImGui::DestroyContext(ctx_);
    }
    HeadlessGui(const HeadlessGui&) = delete;
    HeadlessGui& operator=(const HeadlessGui&) = delete;

    // One frame with the body drawn inside a plain window at the top left.
    void frame(const std::function<void()>& body) {
        ImGui::NewFrame();
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImVec2(1000, 700));
        ImGui::Begin("test", nullptr, ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoSavedSettings);
        body();
        ImGui::End();
        endFrame();
    }
    // A frame drawn by the body without the test window (for full-window code).
    void bareFrame(const std::function<void()>& body) {
        ImGui::NewFrame();
        body();
        endFrame();
    }

    // Renders and, as there is no renderer, marks the font textures as handled.
    static void endFrame() {
        ImGui::Render();
        for (ImTextureData* tex : ImGui::GetPlatformIO().Textures) {
            if (tex->Status == ImTextureStatus_WantCreate || tex->Status == ImTextureStatus_WantUpdates)
                tex->SetStatus(ImTextureStatus_OK), tex->SetTexID(ImTextureID(1));
            else if (tex->Status == ImTextureStatus_WantDestroy)
                tex->SetStatus(ImTextureStatus_Destroyed), tex->SetTexID(ImTextureID_Invalid);
        }
    }

    void mouseTo(ImVec2 p) { ImGui::GetIO().AddMousePosEvent(p.x, p.y); }
    void mouseDown() { ImGui::GetIO().AddMouseButtonEvent(0, true); }
    void mouseUp() { ImGui::GetIO().AddMouseButtonEvent(0, false); }

    // Centre of an item logged in the last frame, by its id.
    static ImVec2 centreOf(ImGuiID id) {
        const LoggedItem* item = ItemLog::find(id);
        return item ? item->rect.GetCenter() : ImVec2(-1000, -1000);
    }

    // Clicks an item: move there, press in one frame, release in the next.
    void click(ImGuiID id, const std::function<void()>& body) { clickAt(centreOf(id), body, false); }
    // The same at a point, with bare frames when asked.
    void clickAt(ImVec2 p, const std::function<void()>& body, bool bare) {
        auto run = [&] { bare ? bareFrame(body) : frame(body); };
        mouseTo(p);
        run();
        mouseDown();
        run();
        mouseUp();
        run();
    }

private:
    ImGuiContext* ctx_ = nullptr;
};

// Id of an item made inside the test window with the given id path.
inline ImGuiID testWindowId(const char* label) {
    ImGuiWindow* w = ImGui::FindWindowByName("test");
    return w ? w->GetID(label) : 0;
}
