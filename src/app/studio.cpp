#include "app/studio.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <utility>

#include "app/startup_rules.h"
#include "ui/style.h"
#include "ui/theme.h"
#include "util/folders.h"
#include "util/secret_store.h"
#include "util/text.h"

namespace {

constexpr int64_t kSecondNs = 1000000000LL;
constexpr int64_t kAutosaveIntervalNs = 120 * kSecondNs;
const char* const kUpdateManifestUrl = "https://updates.quillhaven.app/update.json";

const char* envValue(const char* name) { return std::getenv(name); }

}  // namespace

int64_t steadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {
std::atomic<int> gLiveStudios{0};
}

Studio::Studio(void* window) : Studio(MediaKit{}, window) {}

namespace {
MediaKit completeKit(MediaKit kit) {
    fillUnavailableParts(kit);
    return kit;
}
}  // namespace

Studio::Studio(MediaKit mediaKit, void* window)
    : kit(completeKit(std::move(mediaKit))),
      hwnd(window),
      recording(kit.makeRecorder, kit.compositors[0].get(), kit.compositors[1].get(), kit.micInput.get()) {
    nextAutosave = steadyNowNs() + kAutosaveIntervalNs;
    ++gLiveStudios;
}

Studio::~Studio() { --gLiveStudios; }

int Studio::liveInstances() { return gLiveStudios.load(); }

void Studio::loadProject() {
    projectPath = wideToUtf8(joinPath(profileFolder(), L"project.txt"));
    switch (loadProjectWithRecovery(project, projectPath, realProjectFileOps())) {
    case ProjectLoadOutcome::RestoredFromBackup:
        toast.show(kRestoredNotice);
        break;
    case ProjectLoadOutcome::StartedFresh:
        toast.show(kStartedFreshNotice);
        break;
    case ProjectLoadOutcome::Loaded:
    case ProjectLoadOutcome::FirstRun:
        break;
    }
}

void Studio::applyStartupWords(const std::string& text) {
    UiWords w = parseUiWords(text);
    if (w.settingsTab >= 0) {
        settings.open = true;
        settings.tab = w.settingsTab;
    }
    if (w.selectLayer >= 0) selectedLayer = w.selectLayer;
    if (w.inspectTab >= 0) inspectorTab = w.inspectTab;
    if (w.both) previewTab = 2;
    if (w.prompter) teleprompter.open = true;
    goLiveOpen = w.golive;
    mixerOpen = w.mixer;
    if (w.livedemo) {
        addLayer(LayerKind::Chat);
        addLayer(LayerKind::LiveCounter);
    }
    showcase = w.showcase;
    if (showcase)
        for (const Destination& d : project.destinations) keyedDestinations.insert(d.id);
}

bool Studio::startUp() {
    for (auto& compositor : kit.compositors)
        if (compositor && !compositor->init()) return false;
    loadProject();
    cameraNames = kit.sources->listCameras();
    displayNames = kit.sources->listDisplays();
    windowNames = kit.sources->listWindows();
    setTheme(project.darkMode, project.themeName);
    setTextScale(project.textSizePercent / 100.0f);
    audioDevices = kit.listAudioDevices();
    applyAudioDevices();
    for (const Destination& d : project.destinations)
        if (!loadSecret("dest/" + d.id).empty()) keyedDestinations.insert(d.id);
    removeOldExe();
    if (const std::string error = updater.start(kUpdateManifestUrl, profileFolder()); !error.empty())
        toast.show(error);
    if (const char* words = envValue("QUILLHAVEN_UI")) applyStartupWords(words);
    if (const char* code = envValue("QUILLHAVEN_PAIR")) applyPairingCode(code);
    return true;
}

bool Studio::shutdown() {
    kit.virtualCamera->stop();
    remote.stop();
    discovery.stop();
    // Streams and files are finished here, while the device and the GUI still exist, and
    // before the audio inputs they were fed from stop.
    live.stopAll();
    recording.stop();
    recordingStartedByLive = false;
    kit.micInput->stop();
    kit.desktopInput->stop();
    kit.sources->clear();
    setEditCanvas(0);
    return project.save(projectPath);
}
