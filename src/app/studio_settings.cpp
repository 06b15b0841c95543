// The Studio's side of the inspector and the settings window: the snapshot
// they draw from and the actions they hand back, carried out in the same frame.

#include "app/studio.h"
#include "media/cube_lut.h"
#include "ui/inspector.h"
#include "ui/settings_window.h"
#include "ui/style.h"
#include "util/folders.h"
#include "util/secret_store.h"
#include "util/shell.h"
#include "util/text.h"

namespace {

constexpr float kInspectorPadding = 14.0f;
constexpr int64_t kSecondNs = 1000000000LL;
constexpr const char* kKeySavedNotice = "Stream key saved in Windows Credential Manager";
constexpr const char* kKeyNotSavedNotice = "Could not save the stream key";

std::string destinationSecretKey(const std::string& id) { return "dest/" + id; }

}  // namespace

void Studio::drawInspector(ImVec2 pos, ImVec2 size) {
    const float s = uiScale();
    ImGui::SetCursorScreenPos(pos);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(kInspectorPadding * s, kInspectorPadding * s));
    ImGui::BeginChild("##inspector", size, ImGuiChildFlags_AlwaysUseWindowPadding);
    InspectorActions actions;
    if (project.activeScene >= 0 && size_t(project.activeScene) < project.scenes.size()) {
        Scene& scene = project.scenes[size_t(project.activeScene)];
        InspectorContext context;
        if (selectedLayer >= 0 && size_t(selectedLayer) < scene.layers.size())
            context.source = kit.sources->frameFor(scene.layers[size_t(selectedLayer)]);
        context.cameraNames = cameraNames;
        context.displayNames = displayNames;
        context.windowNames = windowNames;
        context.canvasSize = viewCanvas == 1 ? ImVec2(kVerticalDesignWidth, kVerticalDesignHeight)
                                             : ImVec2(kHorizontalDesignWidth, kHorizontalDesignHeight);
        context.arrangeTitle = arrangeTitleFor(viewCanvas);
        drawLayerInspector(inspectorTab, actions, scene, selectedLayer, context);
    }
    ImGui::EndChild();
    ImGui::PopStyleVar();
    applyInspectorActions(actions);
}

Layer* Studio::selectedLayerRecord() {
    if (project.activeScene < 0 || size_t(project.activeScene) >= project.scenes.size())
        return nullptr;
    Scene& scene = project.scenes[size_t(project.activeScene)];
    if (selectedLayer < 0 || size_t(selectedLayer) >= scene.layers.size()) return nullptr;
    return &scene.layers[size_t(selectedLayer)];
}

void Studio::applyInspectorActions(const InspectorActions& actions) {
    if (actions.refreshSources) {
        cameraNames = kit.sources->listCameras();
        displayNames = kit.sources->listDisplays();
        windowNames = kit.sources->listWindows();
    }
    if (actions.chooseLut && selectedLayerRecord()) {
        const std::string path = shell.pickOpenFile(hwnd, {{kLutFilterName, "*.cube"}});
        if (!path.empty()) useLutFile(path);
    }
    if (actions.chooseImage && selectedLayerRecord()) {
        const std::string path = shell.pickImage(hwnd);
        // The dialog is modal: fetch the layer again after it.
        if (Layer* layer = selectedLayerRecord(); layer && !path.empty()) layer->source = path;
    }
}

bool Studio::useLutFile(const std::string& path) {
    CubeLut lut;
    std::string error;
    if (!loadCubeLut(path, lut, error)) {
        toast.show("Could not use this LUT: " + error);
        return false;
    }
    if (Layer* layer = selectedLayerRecord()) layer->lutPath = path;
    return true;
}

const SettingsView& Studio::settingsView() {
    // Assigned over the last frame's snapshot, so that unchanged texts and lists copy into
    // the storage they already have.
    SettingsView& view = settingsSnapshot;
    view.recording = recording.recording;
    view.live = live.isLive();
    if (view.defaultRecordingFolder.empty())
        view.defaultRecordingFolder = wideToUtf8(defaultRecordingFolder());
    if (view.keyedDestinations != keyedDestinations) view.keyedDestinations = keyedDestinations;
    view.microphones = audioDevices;
    // The inputs' texts (behind their locks) and the control address are read only for the
    // tab that shows them (a tab just switched to shows them from its second frame).
    if (settings.tab == SettingsTab::Audio) {
        kit.micInput->copyStatus(view.micStatus);
        kit.micInput->copyActiveEffects(view.micEffects);
        kit.desktopInput->copyStatus(view.desktopStatus);
    }
    if (settings.tab == SettingsTab::Control) {
        if (remote.isRunning())
            localControlUrl(view.controlUrl);
        else
            view.controlUrl.clear();
    }
    view.vcamError = virtualCameraError;
    view.remoteError = remoteError;
    view.remoteClients = remote.clientCount();
    view.vcamRunning = kit.virtualCamera->isRunning();
    view.pairingCode = pairingCode;
    if (pairingCode.empty()) {
        view.pairingSecondsLeft = 0;
        view.localAddresses.clear();
    } else {
        view.pairingSecondsLeft = int((pairingDeadline - steadyNowNs()) / kSecondNs);
        view.localAddresses = pairingAddresses;
    }
    return view;
}

void Studio::drawSettings() {
    if (settings.open) settingsView();
    applySettingsActions(drawSettingsWindow(settings, project, settingsSnapshot));
}

void Studio::applySettingsActions(const SettingsActions& actions) {
    if (actions.rescanMicrophones) audioDevices = kit.listAudioDevices();
    if (actions.newRemoteAddress) restartRemote(true);
    if (actions.startPairing) startPairing();
    if (!actions.saveKeyDestinationId.empty()) {
        const std::string& id = actions.saveKeyDestinationId;
        if (storeSecret(destinationSecretKey(id), actions.streamKey)) {
            keyedDestinations.insert(id);
            // Only a stored key leaves the field; a failed save keeps it to try again.
            settings.typedStreamKeys[id].clear();
            toast.show(kKeySavedNotice);
        } else {
            toast.show(kKeyNotSavedNotice);
        }
    }
    if (!actions.forgetKeyDestinationId.empty()) {
        storeSecret(destinationSecretKey(actions.forgetKeyDestinationId), "");
        keyedDestinations.erase(actions.forgetKeyDestinationId);
    }
    if (actions.chooseFolder) {
        const std::string folder = shell.pickFolder(hwnd);
        if (!folder.empty()) project.recordingFolder = folder;
    }
    if (actions.chooseBackupFolder) {
        const std::string folder = shell.pickFolder(hwnd);
        if (!folder.empty()) project.backupFolder = folder;
    }
}
