#pragma once
// The top bar right of the sidebar, the go-live popup and the audio mixer popup.
// Pure drawing: each reads a state record and returns what was clicked; the studio
// frame applies it.

#include <set>
#include <string>
#include <vector>

#include "imgui.h"
#include "project/project.h"
#include "ui/panel_state.h"

namespace Icon {
constexpr unsigned camera = 0xE4DA;
constexpr unsigned microphone = 0xE326;
constexpr unsigned microphoneOff = 0xE328;
constexpr unsigned resume = 0xE3D0;
constexpr unsigned pause = 0xE39E;
constexpr unsigned teleprompter = 0xE484;
constexpr unsigned settings = 0xE272;
constexpr unsigned update = 0xE036;
constexpr unsigned chatOnTop = 0xE17C;
constexpr unsigned pcSound = 0xE44A;
constexpr unsigned pcSoundOff = 0xE458;
}  // namespace Icon

struct TopBarState {
    bool recording = false;
    bool paused = false;
    int elapsedSeconds = 0;
    float micLevel = 0;
    bool micMuted = false;
    std::string micStatus;  // empty while capturing
    bool teleprompterOpen = false;
    std::string statusText;
    int loadLevel = 0;  // 0 light, 1 moderate, 2 heavy
    int liveState = 0;  // 0 not live, 1 connecting, 2 live
    std::string liveLabel;
    int cameraState = 0;  // 0 no camera layer, 1 camera layers hidden, 2 a camera layer shown
    bool chatOnTop = false;
    bool updateReady = false;
    std::string updateVersion;
};

struct TopBarActions {
    bool record = false;
    bool pause = false;
    bool mute = false;
    bool teleprompter = false;
    bool settings = false;
    bool goLive = false;
    bool camera = false;
    bool mixer = false;
    bool chatOnTop = false;
    bool update = false;
    ImVec2 goLiveAnchor{0, 0};  // bottom-right corner of the go-live pill
    ImVec2 mixerAnchor{0, 0};
};

// One live output as the go-live popup shows it.
struct GoLiveRow {
    std::string id;
    std::string name;
    std::string statusText;
    bool live = false;
};

struct GoLiveActions {
    bool goLive = false;
    bool endStream = false;
    bool openDestinations = false;
    std::string stopDestinationId;
    std::string streamDetailsDestinationId;
};

struct MixerState {
    float micLevel = 0;
    float desktopLevel = 0;
    bool micMuted = false;
    bool desktopMuted = false;
};

struct MixerActions {
    bool toggleMicMute = false;
    bool toggleDesktopMute = false;
    bool openAudioSettings = false;
};

// Design height of the title bar that holds the top bar.
constexpr float kTitleBarHeight = 56;

// The bar's empty areas are appended to dragRects (caption for moving the window).
TopBarActions drawTopBar(ImVec2 pos, float width, const TopBarState& state,
                         std::vector<TitleRect>& dragRects);
bool drawRecordButton(ImVec2 min, ImVec2 max, const char* label, bool recording);
bool drawLiveButton(ImVec2 min, ImVec2 max, const TopBarState& state);

// Call every frame; draws only while the popup "##golive" is open. Writes
// Destination.streamHere and Project.recordWhenLive.
GoLiveActions drawGoLivePopup(ImVec2 anchor, Project& project, const std::vector<GoLiveRow>& rows,
                              const std::set<std::string>& keyedDestinations);
void drawStreamDetailsLink(const Project& project, const std::string& destinationId,
                           GoLiveActions& actions);
// Call every frame; draws only while "##mixer" is open. Writes the gains and desktopAudio.
MixerActions drawMixerPopup(ImVec2 anchor, Project& project, const MixerState& state);
bool mixerChannelStrip(const char* label, unsigned icon, unsigned mutedIcon, float& gain,
                       float level, bool muted, float width);

// What the main go-live button of the popup says and does, from the destinations.
struct GoLivePlan {
    int channels = 0;  // enabled and ready
    int missing = 0;   // enabled without a server or a stored key
};
GoLivePlan planGoLive(const Project& project, const std::set<std::string>& keyedDestinations);
bool destinationReady(const Destination& d, const std::set<std::string>& keyedDestinations);
