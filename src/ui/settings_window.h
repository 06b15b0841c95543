#pragma once
// The settings window: Video, Audio, Recording, Destinations and Control tabs.
// Controls write straight into the Project; what needs the Studio comes back
// as SettingsActions, and what the window shows of the running studio comes in
// a SettingsView snapshot. The window holds no state besides
// SettingsWindowState.

#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "imgui.h"
#include "media/media.h"
#include "project/project.h"
#include "ui/panel_state.h"

struct SettingsView {
    bool recording = false;
    bool live = false;
    std::string defaultRecordingFolder;  // UTF-8
    std::set<std::string> keyedDestinations;
    std::vector<AudioDevice> microphones;
    std::string micStatus;
    std::string micEffects;
    std::string desktopStatus;
    std::string controlUrl;  // empty while the remote server is not running
    std::string remoteError;
    int remoteClients = 0;
    std::string pairingCode;
    int pairingSecondsLeft = 0;
    std::vector<std::string> localAddresses;
    bool vcamRunning = false;
    std::string vcamError;
};

struct SettingsActions {
    bool chooseFolder = false;
    bool chooseBackupFolder = false;
    std::string saveKeyDestinationId;
    std::string streamKey;
    std::string forgetKeyDestinationId;
    bool rescanMicrophones = false;
    bool newRemoteAddress = false;
    bool startPairing = false;
};

namespace SettingsTab {
enum : int { Video = 0, Audio = 1, Recording = 2, Destinations = 3, Control = 4 };
constexpr int Count = 5;
}  // namespace SettingsTab

// Shown above a locked tab.
constexpr const char* kLockedWhileLive = "End the stream to change these settings.";
constexpr const char* kLockedWhileRecording = "Stop recording to change these settings.";

// The lock note of a tab in this state, or null when the tab can be edited.
const char* settingsLockNote(int tab, bool live, bool recording);

constexpr const char* kSettingsWindowName = "Settings";

SettingsActions drawSettingsWindow(SettingsWindowState& state, Project& project,
                                   const SettingsView& view);

void drawVideoSettings(Project& project);
void drawAudioSettings(SettingsWindowState& state, Project& project, const SettingsView& view,
                       SettingsActions& actions);
void drawRecordingSettings(SettingsWindowState& state, Project& project,
                           const std::string& defaultFolder, SettingsActions& actions);
void drawCanvasSettings(CanvasSettings& canvas, int canvasNumber);
void drawDestinationsSettings(SettingsWindowState& state, Project& project,
                              const std::set<std::string>& keyed, SettingsActions& actions);
void drawControlSettings(SettingsWindowState& state, Project& project, const SettingsView& view,
                         SettingsActions& actions);

// The example of the Recording tab, appended to `out`: the template filled with
// the show, the active scene, "Horizontal", part 1 and the given time, then the
// extension.
void appendExampleRecordingName(const Project& project, const std::tm& localTime,
                                std::string& out);

// A destination made by one of the preset buttons ("YouTube", "Twitch",
// "Kick", "Custom"); `number` is the count of destinations added in this run,
// after counting this one; `unixSeconds` the current time.
Destination makePresetDestination(int preset, long long unixSeconds, int number);
constexpr int kDestinationPresetCount = 4;

// The bit rate stored for a slider value: the nearest multiple of 100.
int roundedBitrateKbps(float sliderValue);
// The Resolution segment for a stored height limit, and back.
int heightLimitSegment(int heightLimit);
int heightLimitOfSegment(int segment);

// The note under a destination's card (NoteKind in ui/panel_state.h).
DestinationNote destinationNote(const Destination& d, const std::set<std::string>& keyed);

// The pairing code as shown: its first three characters, a space, the rest.
std::string pairingCodeForDisplay(const std::string& code);
// The port a typed value turns into.
int clampRemotePort(int port);
// The note of the Phone card, written over `out`.
void pairingNote(const SettingsView& view, std::string& out);
// The note under the Remote control card (error or "connected"; empty for
// none), written over `out`. True when it is an error.
bool remoteControlNote(const Project& project, const SettingsView& view, std::string& out);

// Where the shown part of a path begins when the path must fit `width` in the current font
// with "…" before it: the path itself when it fits whole; else the end that fits, from a
// folder separator when one falls inside it, as the end of a path is what tells folders
// apart. Never inside a UTF-8 sequence; `end` when not even one character fits.
const char* elidedPathStart(const char* path, const char* end, float width);

// Notes: wrapped small text in one colour, drawn as text (never as a format).
void noteTextString(ImU32 colour, const std::string& text);
// The same with a packed RGBA colour (red in the lowest byte).
void noteText(ImU32 colour, const char* text);
