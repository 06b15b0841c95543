#pragma once
// The one controller of the process: owns the project and every runtime, and
// drives them from start-up, the per-frame tick and shutdown. Main thread only.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/recording_session.h"
#include "app/toast.h"
#include "live/live_session.h"
#include "livedata/chat_on_top.h"
#include "livedata/live_data_feed.h"
#include "media/audio/audio_mixer.h"
#include "media/media.h"
#include "media/media_kit.h"
#include "project/project.h"
#include "remote/discovery.h"
#include "remote/remote_server.h"
#include "ui/panel_state.h"
#include "ui/settings_window.h"
#include "ui/top_bar.h"
#include "update/updater.h"
#include "util/shell.h"

struct InspectorActions;
struct SettingsActions;

// Steady-clock nanoseconds.
int64_t steadyNowNs();

// What the studio asks of a person and of the system outside its window: the
// modal pickers, the update's swap and the caption commands. Tests answer in
// their place.
struct StudioShell {
    std::function<std::string(WindowHandle)> pickFolder = ::pickFolder;
    std::function<std::string(WindowHandle)> pickImage = openImageFileDialog;
    std::function<std::string(WindowHandle, const std::vector<FileFilter>&)> pickOpenFile =
        ::pickOpenFile;
    std::function<bool(Updater&, std::string&)> installUpdate = [](Updater& updater,
                                                                  std::string& message) {
        return updater.install(message);
    };
    std::function<void(WindowHandle, int)> captionCommand = runCaptionCommand;
};

class Studio {
public:
    Studio(MediaKit kit, void* window);
    // A studio without a GPU: every media part is a stand-in.
    explicit Studio(void* window);
    ~Studio();
    Studio(const Studio&) = delete;
    Studio& operator=(const Studio&) = delete;

    // Studios alive in this process (one while the program runs).
    static int liveInstances();

    bool startUp();
    bool shutdown();

    void tick();
    void updateTransition();
    void applyAudioDevices();
    void updateAudioCapture();
    void handleShortcuts();
    void addLayer(int kind);
    void setEditCanvas(int canvas);
    void applyLayout(int preset);
    void toggleRecord();
    void toggleLive();
    void drawFrame();
    // The preview area between the sidebar and the inspector.
    void drawPreview(ImVec2 pos, ImVec2 size);
    // One canvas editor; a click makes its canvas the viewed one. Returns that click.
    bool drawCanvasEditor(int canvas, ImVec2 pos, ImVec2 size, const char* caption);
    void drawInspector(ImVec2 pos, ImVec2 size);
    void applyInspectorActions(const InspectorActions& actions);
    // Test-loads a .cube file and makes it the selected layer's LUT; a file
    // that does not load leaves the LUT as it was and says why.
    bool useLutFile(const std::string& utf8Path);
    Layer* selectedLayerRecord();
    // What the settings window shows, refilled in place (settingsSnapshot).
    const SettingsView& settingsView();
    void drawSettings();
    void applySettingsActions(const SettingsActions& actions);
    // The panels' clicks, applied by the frame (topBar holds what the bar showed).
    void applyTopBarActions(const TopBarActions& actions);
    void applyGoLiveActions(const GoLiveActions& actions);
    void applyMixerActions(const MixerActions& actions);

    void restartRemote(bool resetToken);
    void startPairing();
    void handleRemoteMessages();
    std::string runRemoteOperation(const RemoteMessage& message);
    // Builds the status into remoteStatus.json and returns it.
    const std::string& statusJson();
    // The status of this tick, built again only after an operation that may change it.
    const std::string& currentStatus();
    std::string chatJson(const std::vector<ChatEntry>& entries, bool reset);
    // Written over `out`, which keeps its storage.
    void localControlUrl(std::string& out) const;
    void updateLiveData();

    // Start-up steps that depend only on the project and the environment.
    void loadProject();
    void applyStartupWords(const std::string& words);
    void applyPairingCode(const std::string& code);

    std::vector<TitleRect> titleDragRects;
    bool updatePending = false;
    StudioShell shell;
    MediaKit kit;
    void* hwnd = nullptr;
    Project project;
    std::string projectPath;  // UTF-8
    int selectedLayer = -1;
    std::vector<std::string> cameraNames;
    std::vector<std::string> displayNames;
    std::vector<std::string> windowNames;
    int viewCanvas = 0;
    int editCanvas = 0;
    int previewTab = 0;
    int lastShownScene = -1;
    bool layoutApplied = false;
    int64_t transitionStart = 0;
    int layoutSignature = -1;
    // Built from the media kit by the constructor.
    RecordingSession recording{RecordingSession::RecorderFactory{}, nullptr, nullptr, nullptr};
    LiveSession live{&kit};
    LiveDataFeed liveData;
    std::unique_ptr<ChatOnTopWindow> chatOnTop;
    Updater updater;
    bool audioOn = false;
    bool recordingStartedByLive = false;
    std::vector<int16_t> mixedSamples;
    std::vector<int16_t> micSamples;
    std::vector<int16_t> desktopSamples;
    AudioMixer mixer;
    std::string appliedMicDeviceId;
    bool appliedVoiceProcessing = true;
    bool appliedDesktopAudio = true;
    bool audioApplied = false;
    std::vector<AudioDevice> audioDevices;
    RemoteServer remote;
    bool virtualCameraFailed = false;
    std::string virtualCameraError;  // as its last start left it
    int64_t nextVirtualCameraFrame = 0;
    bool remoteAppliedEnabled = false;
    int remoteAppliedPort = 7469;
    bool remoteAppliedLan = false;
    bool remoteApplied = false;
    std::string remoteToken;
    std::string remoteError;
    Discovery discovery;
    int phoneCameraClient = 0;
    int64_t lastChatSeq = 0;
    // Kept between builds of the status, which reuse their storage.
    struct RemoteStatus {
        std::string json;
        std::string chatNote;
        std::vector<ChannelState> channels;
        bool current = false;  // json still holds for this tick
    } remoteStatus;
    std::string pairingCode;
    std::vector<std::string> pairingAddresses;  // this PC's, as pairing started
    int64_t nextAutosave = 0;
    int clientsAtPairingStart = 0;
    int64_t pairingDeadline = 0;
    bool goLiveOpen = false;
    bool mixerOpen = false;
    bool showcase = false;
    std::set<std::string> keyedDestinations;
    double tickMsAverage = 0;
    double frameIntervalMs = 33.3;
    std::array<CanvasView, 2> views;
    int inspectorTab = 0;
    TeleprompterState teleprompter;
    SettingsWindowState settings;
    Toast toast;
    // Refilled every frame, kept so that a steady frame allocates nothing.
    TopBarState topBar;
    std::vector<DestinationStatus> liveStatuses;
    std::vector<GoLiveRow> goLiveRows;
    SettingsView settingsSnapshot;
};
