// The studio frame: fixed regions of the window, drawn once per displayed frame, and
// the actions of its panels applied in the same frame.

#include <algorithm>

#include "app/frame_rules.h"
#include "app/studio.h"
#include "imgui.h"
#include "imgui_internal.h"
#include "livedata/live_text.h"
#include "ui/layers_panel.h"
#include "ui/style.h"
#include "ui/teleprompter.h"
#include "ui/theme.h"
#include "ui/top_bar.h"
#include "ui/widgets.h"
#include "util/shell.h"

const char* const kStoppedOneChannelNotice = "Stopped one channel; the others are still live";
const char* const kFinishBeforeUpdateNotice =
    "Finish streaming and recording first, then click update again.";

namespace {
constexpr float kSidebarWidth = 260;
constexpr float kInspectorWidth = 320;
constexpr float kCaptionButtonWidth = 46;
constexpr int kCaptionButtons = 3;
constexpr float kProductNameInset = 20;
constexpr int64_t kAutosaveIntervalNs = 120LL * 1000000000LL;
constexpr int kAudioSettingsTab = 1;
constexpr int kDestinationsSettingsTab = 3;
constexpr size_t kVideoIdLength = 11;
const char* const kLoadWords[3] = {"Light load", "Moderate load", "Heavy load"};
const char* const kStudioHost = "https://studio.youtube.com";
const char* const kWebHost = "https://www.youtube.com";
const char* const kDimWindowName = "##dim";
constexpr ImU32 kDarkDim = 0x6E000000u;   // black at alpha 110
constexpr ImU32 kLightDim = 0x28000000u;  // black at alpha 40

// Dims the rectangle under the named window, when that window was drawn this frame. The
// panels are child windows, drawn after their parent's own list, so a rectangle on the root
// window's list would leave them bright: the dim is a window of its own, taking no input,
// kept just behind the front window whatever else comes and goes.
void dimBehindWindow(const char* frontName, ImVec2 min, ImVec2 max, ImU32 colour) {
    ImGuiWindow* front = ImGui::FindWindowByName(frontName);
    if (!front || !front->Active) return;
    ImGui::SetNextWindowPos(min);
    ImGui::SetNextWindowSize(ImVec2(max.x - min.x, max.y - min.y));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowRounding, 0.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0.0f);
    ImGui::PushStyleColor(ImGuiCol_WindowBg, colour);
    ImGui::Begin(kDimWindowName, nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoInputs | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoBringToFrontOnFocus |
                     ImGuiWindowFlags_NoSavedSettings);
    ImGuiWindow* dim = ImGui::GetCurrentWindow();
    ImGui::End();
    ImGui::PopStyleColor();
    ImGui::PopStyleVar(2);
    ImGui::BringWindowToDisplayBehind(dim, front);
}
}  // namespace

int loadLevelFor(double tickMsAverage, double frameIntervalMs) {
    const double ratio = frameIntervalMs > 0 ? tickMsAverage / frameIntervalMs : 0.0;
    return ratio < 0.5 ? 0 : ratio < 0.85 ? 1 : 2;
}

void loadStatusText(int level, bool recording, const std::string& fileName, std::string& out) {
    out.assign(kLoadWords[std::clamp(level, 0, 2)]);
    if (recording) out.append("  \xC2\xB7  ").append(fileName);
}

void fillGoLiveRow(const DestinationStatus& status, GoLiveRow& row) {
    row.id = status.id;
    row.name = status.name;
    row.live = status.state == LiveLive;
    row.statusText = status.state == LiveLive         ? "Live"
                     : status.state == LiveConnecting ? "Connecting\xE2\x80\xA6"
                                                      : "Reconnecting";
    if (!status.error.empty() && !row.live) row.statusText.append(": ").append(status.error);
}

int cameraStateOf(const Scene& scene) {
    int state = 0;
    for (const Layer& layer : scene.layers)
        if (layer.kind == LayerKind::Camera) state = std::max(state, layer.visible ? 2 : 1);
    return state;
}

bool isVideoId(const std::string& id) {
    return id.size() == kVideoIdLength && std::all_of(id.begin(), id.end(), [](char c) {
               return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '-';
           });
}

std::string streamDetailsUrl(const std::string& liveVideoId) {
    // The id arrives from the network: anything else would be spliced into the path.
    if (isVideoId(liveVideoId))
        return std::string(kStudioHost) + "/video/" + liveVideoId + "/livestreaming";
    return std::string(kWebHost) + "/livestreaming";
}

std::string streamDetailsUrlFor(const Project& project, const std::string& destinationId,
                                const std::vector<ChannelState>& channels) {
    for (const Destination& d : project.destinations) {
        if (d.id != destinationId) continue;
        for (const ChannelState& c : channels)
            if (c.channel == d.channel && !c.videoId.empty()) return streamDetailsUrl(c.videoId);
    }
    return streamDetailsUrl(std::string());
}

void Studio::drawFrame() {
    const int64_t now = steadyNowNs();
    if (now >= nextAutosave) {
        nextAutosave = now + kAutosaveIntervalNs;
        setEditCanvas(0);
        project.save(projectPath);
    }

    setEditCanvas(viewCanvas);
    handleShortcuts();
    titleDragRects.clear();

    const float s = uiScale();
    const ThemePalette& p = palette();
    const ImGuiViewport* vp = ImGui::GetMainViewport();
    const ImVec2 O = vp->Pos;
    const float W = vp->Size.x, H = vp->Size.y;
    const float bar = kTitleBarHeight * s, side = kSidebarWidth * s;

    ImGui::SetNextWindowPos(O);
    ImGui::SetNextWindowSize(vp->Size);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowRounding, 0.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0.0f);
    ImGui::Begin("##root", nullptr,
                 ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse |
                     ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoBringToFrontOnFocus);
    ImGui::PopStyleVar(3);

    // Regions.
    auto activeScene = [this]() -> Scene* {
        return project.activeScene >= 0 && project.activeScene < int(project.scenes.size())
                   ? &project.scenes[size_t(project.activeScene)]
                   : nullptr;
    };
    const Scene* scene = activeScene();
    const bool inspectorShown =
        scene && selectedLayer >= 0 && selectedLayer < int(scene->layers.size());
    const float iw = inspectorShown ? kInspectorWidth * s : 0.0f;

    ImDrawList* dl = ImGui::GetWindowDrawList();
    dl->AddRectFilled(O, ImVec2(O.x + W, O.y + bar), p.titleBarBg);
    dl->AddRectFilled(ImVec2(O.x, O.y + bar), ImVec2(O.x + side, O.y + H), p.sidebarBg);
    dl->AddLine(ImVec2(O.x + side, O.y + bar), ImVec2(O.x + side, O.y + H), p.border, 1.0f);
    if (inspectorShown) {
        dl->AddRectFilled(ImVec2(O.x + W - iw, O.y + bar), ImVec2(O.x + W, O.y + H), p.inspectorBg);
        dl->AddLine(ImVec2(O.x + W - iw, O.y + bar), ImVec2(O.x + W - iw, O.y + H), p.border, 1.0f);
    }
    dl->AddLine(ImVec2(O.x, O.y + bar), ImVec2(O.x + W, O.y + bar), p.border, 1.0f);
    if (ImFont* f = uiFonts().semibold) {
        const char* name = "Quillhaven";
        ImVec2 ts = f->CalcTextSizeA(f->LegacySize, FLT_MAX, 0.0f, name);
        dl->AddText(f, f->LegacySize, ImVec2(O.x + kProductNameInset * s, O.y + (bar - ts.y) * 0.5f),
                    p.text, name);
    }
    titleDragRects.push_back({O.x, O.y, O.x + side, O.y + bar});
    if (int command = windowButtons(ImVec2(O.x + W, O.y), bar, isWindowMaximized(hwnd)))
        shell.captionCommand(hwnd, command);

    // Sidebar.
    ImGui::SetCursorScreenPos(ImVec2(O.x, O.y + bar));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(10 * s, 2 * s));
    ImGui::BeginChild("##sidebar", ImVec2(side, H - bar), ImGuiChildFlags_AlwaysUseWindowPadding);
    const int addKind = drawLayersPanel(project, selectedLayer);
    ImGui::EndChild();
    ImGui::PopStyleVar();
    if (addKind >= 0) addLayer(addKind);

    // Top bar.
    topBar.loadLevel = loadLevelFor(tickMsAverage, frameIntervalMs);
    topBar.recording = recording.recording;
    loadStatusText(topBar.loadLevel, topBar.recording, recording.currentFileName(),
                   topBar.statusText);
    topBar.paused = recording.paused;
    topBar.elapsedSeconds = recording.recording ? recording.elapsedSeconds() : 0;
    topBar.micLevel = kit.micInput->level();
    topBar.micMuted = kit.micInput->isMuted();
    // The status shows only in the mixer button's tooltip: it is read while that button is
    // under the mouse, so that a steady frame copies no text.
    if (GImGui->HoveredIdPreviousFrame == ImGui::GetID("##mixer"))
        topBar.micStatus = kit.micInput->status();
    topBar.teleprompterOpen = teleprompter.open;
    topBar.chatOnTop = project.chatOnTopShown;
    topBar.updateReady = updater.readyVersion(topBar.updateVersion);
    if (live.isLive()) {
        topBar.liveState = live.liveCount() < 1 ? 1 : 2;
        topBar.liveLabel = live.statusText();
    } else {
        topBar.liveState = 0;
        topBar.liveLabel.clear();
    }
    scene = activeScene();
    topBar.cameraState = scene ? cameraStateOf(*scene) : 0;
    const TopBarActions topActions =
        drawTopBar(ImVec2(O.x + side, O.y), W - side - kCaptionButtons * kCaptionButtonWidth * s,
                   topBar, titleDragRects);

    // Top-bar actions.
    if (topActions.record) toggleRecord();
    if (topActions.goLive || goLiveOpen) {
        goLiveOpen = false;
        ImGui::OpenPopup("##golive");
    }
    if (live.isLive()) {
        live.statuses(liveStatuses);
        goLiveRows.resize(liveStatuses.size());
        for (size_t i = 0; i < liveStatuses.size(); ++i)
            fillGoLiveRow(liveStatuses[i], goLiveRows[i]);
    } else {
        goLiveRows.clear();
    }
    applyGoLiveActions(
        drawGoLivePopup(topActions.goLiveAnchor, project, goLiveRows, keyedDestinations));
    if (topActions.mixer || mixerOpen) {
        mixerOpen = false;
        ImGui::OpenPopup("##mixer");
    }
    const MixerState mixerState{topBar.micLevel, kit.desktopInput->level(), topBar.micMuted,
                                kit.desktopInput->isMuted()};
    applyMixerActions(drawMixerPopup(topActions.mixerAnchor, project, mixerState));
    applyTopBarActions(topActions);

    drawPreview(ImVec2(O.x + side, O.y + bar), ImVec2(W - side - iw, H - bar));

    if (inspectorShown)
        drawInspector(ImVec2(O.x + W - iw, O.y + bar), ImVec2(iw, H - bar));

    drawTeleprompterShadow(dl, teleprompter);
    ImGui::End();

    drawTeleprompterPanel(project, teleprompter);
    drawSettings();
    // Everything behind the settings window but the title bar.
    dimBehindWindow(kSettingsWindowName, ImVec2(O.x, O.y + bar), ImVec2(O.x + W, O.y + H),
                    project.darkMode ? kDarkDim : kLightDim);
    toast.draw(O.x + side + (W - side - iw) / 2, O.y + H);
    setEditCanvas(0);
}

void Studio::applyGoLiveActions(const GoLiveActions& go) {
    if (go.goLive || go.endStream) toggleLive();
    if (go.openDestinations) {
        settings.open = true;
        settings.tab = kDestinationsSettingsTab;
    }
    if (!go.streamDetailsDestinationId.empty()) {
        const std::vector<ChannelState> channels =
            showcase ? showcaseChannelStates() : liveData.channelStates();
        openWithShell(streamDetailsUrlFor(project, go.streamDetailsDestinationId, channels));
    }
    if (!go.stopDestinationId.empty()) {
        if (live.outputs.size() == 1) {
            toggleLive();
        } else {
            live.stop(go.stopDestinationId);
            toast.show(kStoppedOneChannelNotice);
        }
    }
}

void Studio::applyMixerActions(const MixerActions& mix) {
    if (mix.toggleMicMute) kit.micInput->setMuted(!topBar.micMuted);
    if (mix.toggleDesktopMute) kit.desktopInput->setMuted(!kit.desktopInput->isMuted());
    if (mix.openAudioSettings) {
        settings.open = true;
        settings.tab = kAudioSettingsTab;
    }
}

void Studio::applyTopBarActions(const TopBarActions& a) {
    if (a.chatOnTop) project.chatOnTopShown = !project.chatOnTopShown;
    if (a.update) {
        std::string message;
        if (live.isLive() || recording.recording) {
            toast.show(kFinishBeforeUpdateNotice);
        } else if (shell.installUpdate(updater, message)) {
            updatePending = true;  // the main loop starts the new program after shutdown
            shell.captionCommand(hwnd, CaptionClose);
        } else {
            toast.show(message);
        }
    }
    if (a.camera) {
        const int before = topBar.cameraState;
        if (before == 0) addLayer(LayerKind::Camera);
        const bool shown = before != 2;  // a camera added here is shown: that is what was asked
        if (project.activeScene >= 0 && project.activeScene < int(project.scenes.size())) {
            for (Layer& layer : project.scenes[size_t(project.activeScene)].layers) {
                if (layer.kind != LayerKind::Camera) continue;
                layer.visible = shown;
                layer.verticalVisible = shown;
            }
        }
    }
    if (a.pause) recording.togglePause();
    if (a.mute) kit.micInput->setMuted(!topBar.micMuted);
    if (a.teleprompter) teleprompter.open = !teleprompter.open;
    if (a.settings) settings.open = !settings.open;
}
