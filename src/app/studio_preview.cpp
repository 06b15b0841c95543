// The preview: canvas tabs, the canvas editors and the layout strip under them.

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/studio.h"
#include "imgui.h"
#include "project/layout_presets.h"
#include "ui/layout_gallery.h"
#include "ui/style.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

// Design pixels of the preview.
constexpr float kTabsWidth = 300.0f;
constexpr float kTabsTop = 14.0f;
constexpr float kStripHeight = 84.0f;
// Share of the width that the horizontal canvas gets when both are shown.
constexpr float kBothHorizontalShare = 0.7f;
constexpr int kBothTab = 2;

const char* const kCanvasTabs[] = {"Horizontal", "Vertical", "Both"};
const char* const kBothCaptions[2][2] = {
    {"Horizontal  \xC2\xB7  click to edit", "Horizontal  \xC2\xB7  editing"},
    {"Vertical  \xC2\xB7  click to edit", "Vertical  \xC2\xB7  editing"}};

Scene* activeSceneOf(Project& project) {
    if (project.activeScene < 0 || project.activeScene >= int(project.scenes.size())) return nullptr;
    return &project.scenes[size_t(project.activeScene)];
}

// The scene's name, or the name followed by " 2", " 3", ... when a saved layout has it.
std::string freeLayoutName(const std::vector<SavedLayout>& saved, const std::string& base) {
    std::string name = base;
    for (int n = 2; std::any_of(saved.begin(), saved.end(),
                                [&](const SavedLayout& l) { return l.name == name; });
         ++n)
        name = base + " " + std::to_string(n);
    return name;
}

// Saved layouts are made and applied with the horizontal rectangles in the primary slot.
void applyGalleryActions(Studio& studio, const LayoutGalleryActions& a) {
    std::vector<SavedLayout>& saved = studio.project.savedLayouts;
    if (a.applyPreset >= 0) studio.applyLayout(a.applyPreset);
    Scene* scene = activeSceneOf(studio.project);
    const int edited = studio.editCanvas;
    if (scene && a.applySaved >= 0 && a.applySaved < int(saved.size())) {
        studio.setEditCanvas(0);
        applySavedLayout(*scene, saved[size_t(a.applySaved)]);
        studio.layoutApplied = true;
        studio.setEditCanvas(edited);
    }
    if (a.deleteSaved >= 0 && a.deleteSaved < int(saved.size()))
        saved.erase(saved.begin() + a.deleteSaved);
    if (scene && a.save) {
        const std::string name = freeLayoutName(saved, scene->name);
        studio.setEditCanvas(0);
        saved.push_back(makeSavedLayout(*scene, name));
        studio.setEditCanvas(edited);
        studio.toast.show("Saved layout \"" + name + "\". It's at the end of the strip.");
    }
}

}  // namespace

void Studio::drawPreview(ImVec2 pos, ImVec2 size) {
    const float s = uiScale();
    const ThemePalette& p = palette();

    ImGui::SetCursorScreenPos(ImVec2(pos.x + (size.x - kTabsWidth * s) * 0.5f, pos.y + kTabsTop * s));
    if (segmentedControl("##preview", kCanvasTabs, 3, previewTab, kTabsWidth * s) &&
        previewTab != kBothTab)
        viewCanvas = previewTab;
    const float bandTop = pos.y + kTabsTop * s + ImGui::GetFrameHeight();

    const float stripTop = pos.y + size.y - kStripHeight * s;
    const Scene* scene = activeSceneOf(project);
    applyGalleryActions(*this, drawLayoutGallery(ImVec2(pos.x, stripTop),
                                                 ImVec2(size.x, kStripHeight * s),
                                                 scene ? scene->layoutPreset : -1, viewCanvas == 1,
                                                 project.savedLayouts));
    ImGui::GetWindowDrawList()->AddLine(ImVec2(pos.x, stripTop), ImVec2(pos.x + size.x, stripTop),
                                        p.border, 1.0f);

    ImU32 badge = 0;
    if (live.isLive()) {
        badge = p.danger;
        views[0].badgeText = live.statusText();
    } else if (recording.recording) {
        const int32_t t = std::max<int32_t>(0, recording.elapsedSeconds());
        char text[64];
        std::snprintf(text, sizeof text, "%s %02d:%02d:%02d",
                      recording.paused ? "Paused" : "Recording", int(t / 3600), int(t / 60 % 60),
                      int(t % 60));
        badge = recording.paused ? p.warning : p.danger;
        views[0].badgeText = text;
    } else {
        views[0].badgeText.clear();
    }
    views[0].badgeColour = views[1].badgeColour = badge;
    views[1].badgeText = views[0].badgeText;

    const float bandHeight = std::max(0.0f, stripTop - bandTop);
    if (previewTab == kBothTab) {
        const float left = std::floor(size.x * kBothHorizontalShare);
        drawCanvasEditor(0, ImVec2(pos.x, bandTop), ImVec2(left, bandHeight),
                         kBothCaptions[0][viewCanvas == 0]);
        drawCanvasEditor(1, ImVec2(pos.x + left, bandTop), ImVec2(size.x - left, bandHeight),
                         kBothCaptions[1][viewCanvas == 1]);
    } else {
        drawCanvasEditor(previewTab == 1 ? 1 : 0, ImVec2(pos.x, bandTop),
                         ImVec2(size.x, bandHeight), nullptr);
    }
    setEditCanvas(viewCanvas);
}

bool Studio::drawCanvasEditor(int canvas, ImVec2 pos, ImVec2 size, const char* caption) {
    assert(canvas == 0 || canvas == 1);
    setEditCanvas(canvas);
    Scene none;
    Scene* scene = activeSceneOf(project);
    ImTextureID texture = ImTextureID_Invalid;
    if (ICompositor* compositor = kit.compositors[canvas].get())
        if (ID3D11ShaderResourceView* view = compositor->canvasView())
            texture = ImTextureID(reinterpret_cast<uintptr_t>(view));
    const ImVec2 reference = canvas == 0 ? ImVec2(kHorizontalDesignWidth, kHorizontalDesignHeight)
                                         : ImVec2(kVerticalDesignWidth, kVerticalDesignHeight);
    ImGui::PushID(canvas);
    const bool clicked = views[size_t(canvas)].edit(scene ? *scene : none, selectedLayer, texture,
                                                    pos, size, reference, caption);
    ImGui::PopID();
    if (clicked) viewCanvas = canvas;
    return clicked;
}
