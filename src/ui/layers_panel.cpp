#include "ui/layers_panel.h"

#include <algorithm>
#include <string>

#include "imgui.h"
#include "misc/cpp/imgui_stdlib.h"
#include "ui/style.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

constexpr int kShortcutScenes = 9;

float S(float v) { return v * uiScale(); }

bool validScene(const Project& project, int index) {
    return index >= 0 && index < int(project.scenes.size());
}

}  // namespace

void addScene(Project& project, int& selectedLayer) {
    Scene scene;
    scene.name = "Scene " + std::to_string(project.scenes.size() + 1);
    project.scenes.push_back(std::move(scene));
    project.activeScene = int(project.scenes.size()) - 1;
    selectedLayer = -1;
}

void duplicateScene(Project& project, int index) {
    if (!validScene(project, index)) return;
    Scene copy = project.scenes[size_t(index)];
    copy.name += " copy";
    project.scenes.insert(project.scenes.begin() + index + 1, std::move(copy));
    // The active scene stays the same scene when the copy lands before it.
    if (project.activeScene > index) ++project.activeScene;
}

void deleteScene(Project& project, int index, int& selectedLayer) {
    if (project.scenes.size() < 2 || !validScene(project, index)) return;
    project.scenes.erase(project.scenes.begin() + index);
    if (project.activeScene >= index) --project.activeScene;
    project.activeScene = std::clamp(project.activeScene, 0, int(project.scenes.size()) - 1);
    selectedLayer = -1;
}

bool offersQuickAdd(const Scene& scene) {
    return std::all_of(scene.layers.begin(), scene.layers.end(), [](const Layer& l) {
        return l.kind == LayerKind::Color || l.kind == LayerKind::Text ||
               l.kind == LayerKind::Chat || l.kind == LayerKind::LiveCounter;
    });
}

bool sectionHeaderWithButton(const char* title, const char* tooltip) {
    ImGui::Dummy(ImVec2(0, S(4)));
    ImVec2 titleTop = ImGui::GetCursorScreenPos();
    ImVec2 keep = ImGui::GetCursorPos();
    fieldLabel(title);
    ImVec2 after = ImGui::GetCursorPos();
    float right = ImGui::GetWindowPos().x + ImGui::GetWindowSize().x - S(10);
    ImGui::SetCursorScreenPos(ImVec2(right - S(28), titleTop.y - S(6)));
    bool clicked = iconButton(Icon::add, tooltip, false, palette().textSecondary, S(28));
    ImGui::SetCursorPos(ImVec2(keep.x, after.y));
    return clicked;
}

void drawScenesStrip(Project& project, int& selectedLayer) {
    if (sectionHeaderWithButton("Scenes", "New scene")) addScene(project, selectedLayer);
    int duplicateAt = -1, deleteAt = -1;
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(0, S(1)));
    for (int i = 0; i < int(project.scenes.size()); ++i) {
        Scene& scene = project.scenes[size_t(i)];
        ImGui::PushID(i);
        char digit[4] = "";
        if (i < kShortcutScenes) digit[0] = char('1' + i);
        if (listRowButton("##scene", Icon::scene, scene.name.c_str(), digit,
                          i == project.activeScene)) {
            project.activeScene = i;
            selectedLayer = -1;
        }
        ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(S(8), S(8)));
        if (ImGui::BeginPopupContextItem("scenemenu")) {
            ImGui::SetNextItemWidth(S(200));
            ImGui::InputText("##name", &scene.name);
            if (ImGui::Selectable("Duplicate")) duplicateAt = i;
            if (project.scenes.size() >= 2 && ImGui::Selectable("Delete")) deleteAt = i;
            ImGui::EndPopup();
        }
        ImGui::PopStyleVar();
        ImGui::PopID();
    }
    ImGui::PopStyleVar();
    if (duplicateAt >= 0) duplicateScene(project, duplicateAt);
    if (deleteAt >= 0) deleteScene(project, deleteAt, selectedLayer);
}

void drawLayerRows(Scene& scene, int& selectedLayer) {
    const ThemePalette& p = palette();
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(0, S(1)));
    for (int i = int(scene.layers.size()) - 1; i >= 0; --i) {
        Layer& layer = scene.layers[size_t(i)];
        ImGui::PushID(i);
        ImVec2 rowPos = ImGui::GetCursorScreenPos();
        float rowRight = rowPos.x + ImGui::GetContentRegionAvail().x;
        ImGui::SetNextItemAllowOverlap();
        if (listRowButton("##layer", layerKindIcon(layer.kind), layer.name.c_str(), nullptr,
                          i == selectedLayer))
            selectedLayer = i;
        ImVec2 below = ImGui::GetCursorScreenPos();
        ImGui::SetCursorScreenPos(ImVec2(rowRight - S(30), rowPos.y + S(3)));
        if (layer.visible
                ? iconButton(Icon::eye, "Hide", false, colorWithAlpha(p.textSecondary, 0.8f), S(28))
                : iconButton(Icon::eyeClosed, "Show", false, p.textSecondary, S(28)))
            layer.visible = !layer.visible;
        ImGui::SetCursorScreenPos(below);
        ImGui::PopID();
    }
    ImGui::Dummy(ImVec2(0, 0));  // the list's extent ends at the last row
    ImGui::PopStyleVar();
}

int drawLayersPanel(Project& project, int& selectedLayer) {
    drawScenesStrip(project, selectedLayer);
    int result = -1;
    ImGui::Dummy(ImVec2(0, S(10)));
    if (sectionHeaderWithButton("Layers", "Add layer")) ImGui::OpenPopup("addmenu");
    ImGui::SetNextWindowSizeConstraints(ImVec2(S(170), 0), ImVec2(FLT_MAX, FLT_MAX));
    if (ImGui::BeginPopup("addmenu")) {
        for (int kind = 0; kind < LayerKind::Count; ++kind) {
            ImGui::PushID(kind);
            if (listRowButton("##kind", layerKindIcon(kind), layerKindName(kind), nullptr, false)) {
                result = kind;
                ImGui::CloseCurrentPopup();
            }
            ImGui::PopID();
        }
        ImGui::EndPopup();
    }
    if (!validScene(project, project.activeScene)) return result;
    Scene& scene = project.scenes[size_t(project.activeScene)];
    drawLayerRows(scene, selectedLayer);
    if (offersQuickAdd(scene)) {
        ImGui::Dummy(ImVec2(0, S(14)));
        fieldLabel("Add to this scene");
        ImGui::Dummy(ImVec2(0, S(2)));
        float w = (ImGui::GetContentRegionAvail().x - S(8)) / 2;
        static const struct {
            const char* label;
            int kind;
        } kQuick[4] = {{"Game or app", LayerKind::GameOrApp},
                       {"Camera", LayerKind::Camera},
                       {"Screen", LayerKind::Screen},
                       {"Image", LayerKind::Image}};
        for (int i = 0; i < 4; ++i) {
            if (i % 2 == 1) ImGui::SameLine(0, S(8));
            if (roundedButton(kQuick[i].label, false, w)) result = kQuick[i].kind;
        }
    }
    return result;
}
