// The studio's actions that the keyboard, the panels and the remote operations share.

#include <algorithm>
#include <string>

#include "app/image_fit.h"
#include "app/recording_session.h"
#include "app/studio.h"
#include "imgui.h"
#include "project/layout_presets.h"
#include "util/shell.h"

namespace {

bool pressed(ImGuiKey key) { return ImGui::IsKeyPressed(key, false); }

ImGuiKey keyAfter(ImGuiKey first, int offset) { return static_cast<ImGuiKey>(static_cast<int>(first) + offset); }

}  // namespace

void Studio::handleShortcuts() {
    const ImGuiIO& io = ImGui::GetIO();
    if (io.WantTextInput) return;  // typing in a field never drives the studio

    const int sceneCount = static_cast<int>(project.scenes.size());
    for (int i = 0; i < sceneCount && i <= 8; ++i) {
        if (!io.KeyCtrl && pressed(keyAfter(ImGuiKey_1, i))) {
            project.activeScene = i;
            selectedLayer = -1;
        }
    }
    for (int j = 0; j <= 8; ++j) {
        if (ImGui::GetIO().KeyCtrl && pressed(keyAfter(ImGuiKey_1, j))) applyLayout(j);
    }

    if (ImGui::GetIO().KeyCtrl && pressed(ImGuiKey_R)) toggleRecord();
    if (ImGui::GetIO().KeyCtrl && pressed(ImGuiKey_L)) toggleLive();
    if (ImGui::GetIO().KeyCtrl && pressed(ImGuiKey_M) && kit.micInput) kit.micInput->setMuted(!kit.micInput->isMuted());
    if (ImGui::GetIO().KeyCtrl && pressed(ImGuiKey_P)) recording.togglePause();
    if (ImGui::GetIO().KeyCtrl && pressed(ImGuiKey_T)) teleprompter.open = !teleprompter.open;
    if (ImGui::GetIO().KeyCtrl && pressed(ImGuiKey_Comma)) settings.open = !settings.open;

    if (ImGui::GetIO().KeyCtrl && pressed(ImGuiKey_S)) {
        // The file always gets the horizontal rectangles in the primary slot.
        if (editCanvas != 0) setEditCanvas(0);
        const bool saved = project.save(projectPath);
        toast.show(saved ? "Project saved" : "Could not save");
        if (viewCanvas != editCanvas) setEditCanvas(viewCanvas);
    }

    const bool haveScene = project.activeScene >= 0 && project.activeScene < static_cast<int>(project.scenes.size());
    if (!haveScene) return;
    Scene& scene = project.scenes[static_cast<size_t>(project.activeScene)];

    for (int n = 1; n <= 12; ++n) {
        if (!pressed(keyAfter(ImGuiKey_F1, n - 1))) continue;
        for (Layer& layer : scene.layers) {
            if (layer.toggleKey != n) continue;
            // Both canvases follow the inverse of the slot being edited, so a layer hidden on
            // one canvas only ends up the same on both.
            const bool shown = layer.visible;
            layer.visible = !shown;
            layer.verticalVisible = !shown;
        }
    }

    if (teleprompter.open && pressed(ImGuiKey_Space)) teleprompter.playing = !teleprompter.playing;

    if (selectedLayer < 0 || selectedLayer >= static_cast<int>(scene.layers.size())) return;
    Layer& layer = scene.layers[static_cast<size_t>(selectedLayer)];
    const float step = layer.locked ? 0.0f : (ImGui::GetIO().KeyShift ? 10.0f : 1.0f);
    if (ImGui::IsKeyPressed(ImGuiKey_LeftArrow, true)) layer.x -= step;
    if (ImGui::IsKeyPressed(ImGuiKey_RightArrow, true)) layer.x += step;
    if (ImGui::IsKeyPressed(ImGuiKey_UpArrow, true)) layer.y -= step;
    if (ImGui::IsKeyPressed(ImGuiKey_DownArrow, true)) layer.y += step;
    if (pressed(ImGuiKey_Delete)) {
        selectedLayer = Scene::removeLayer(scene.layers, selectedLayer);
    } else if (ImGui::GetIO().KeyCtrl && pressed(ImGuiKey_D)) {
        selectedLayer = scene.duplicateLayer(selectedLayer);
    }
}

void Studio::addLayer(int kind) {
    if (project.activeScene < 0 || project.activeScene >= static_cast<int>(project.scenes.size())) return;
    Scene& scene = project.scenes[static_cast<size_t>(project.activeScene)];
    const auto sameKind = std::count_if(scene.layers.begin(), scene.layers.end(),
                                        [kind](const Layer& l) { return l.kind == kind; });
    std::string name = layerKindName(kind);
    if (sameKind + 1 >= 2) name.append(" ").append(std::to_string(sameKind + 1));
    Layer layer = makeLayer(kind, name);

    if (kind == LayerKind::Image) {
        const std::string path = shell.pickImage(hwnd);
        if (path.empty()) return;  // cancelled: nothing is added
        layer.source = path;
        const SourceFrame frame = kit.sources->frameFor(layer);
        fitImageLayer(layer, frame.width, frame.height);
    }
    if (editCanvas == 1) layer.swapCanvasRects();
    scene.layers.push_back(std::move(layer));
    selectedLayer = static_cast<int>(scene.layers.size()) - 1;
}

void Studio::setEditCanvas(int canvas) {
    if (canvas == editCanvas) return;
    for (Scene& scene : project.scenes) scene.swapCanvasRects();
    editCanvas = canvas;
}

void Studio::applyLayout(int preset) {
    if (project.activeScene < 0 || project.activeScene >= static_cast<int>(project.scenes.size())) return;
    setEditCanvas(0);  // presets are laid out with the horizontal rectangles in the primary slot
    Scene& scene = project.scenes[static_cast<size_t>(project.activeScene)];
    applyLayoutPreset(scene, preset);
    layoutSignature = ::layoutSignature(scene);
    layoutApplied = true;
    if (viewCanvas != editCanvas) setEditCanvas(viewCanvas);
}

void Studio::toggleRecord() {
    std::string error;
    if (recording.recording) {
        recording.stop();
        recordingStartedByLive = false;
    } else if (project.activeScene >= 0 && project.activeScene < static_cast<int>(project.scenes.size())) {
        error = recording.start(project, project.scenes[static_cast<size_t>(project.activeScene)]);
    }
    updateAudioCapture();
    const RecordingNotice notice = noticeAfterToggle(recording, error);
    if (!notice.text.empty()) toast.show(notice.text, notice.path);
}
