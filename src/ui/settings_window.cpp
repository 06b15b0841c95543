#include "ui/settings_window.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/recording_platform.h"
#include "imgui_stdlib.h"
#include "ui/style.h"
#include "ui/theme.h"
#include "ui/widgets.h"
#include "util/recording_names.h"

namespace {

constexpr float kWindowWidth = 460.0f;
constexpr float kWindowHeight = 560.0f;
constexpr float kTabGap = 6.0f;
constexpr float kCardGap = 6.0f;
constexpr float kFolderButtonWidth = 72.0f;
constexpr float kRescanButtonSize = 26.0f;
constexpr int kFadeTransitionMs = 400;

float S(float v) { return v * uiScale(); }

void gap(float designPixels) { ImGui::Dummy(ImVec2(0, S(designPixels))); }


// A slider over a value shown scaled (percent of a gain, Mbps of kbit/s).
bool scaledSlider(const char* id, float& stored, float scale, float min, float max,
                  const char* format) {
    float shown = stored * scale;
    if (!sliderTrack(id, shown, min, max, format)) return false;
    stored = shown / scale;
    return true;
}

bool intSlider(const char* id, int& stored, float min, float max, const char* format) {
    float shown = float(stored);
    if (!sliderTrack(id, shown, min, max, format)) return false;
    stored = int(shown);
    return true;
}

// The segment of a stored value among the listed ones, else the fallback.
int segmentOf(int stored, const int* values, int count, int fallback) {
    for (int i = 0; i < count; ++i)
        if (values[i] == stored) return i;
    return fallback;
}

struct ResolutionPreset {
    int width, height;
    const char* text;
};
constexpr ResolutionPreset kResolutionPresets[2][4] = {
    {{1280, 720, "1280\xC3\x97" "720 (720p)"},
     {1920, 1080, "1920\xC3\x97" "1080 (1080p)"},
     {2560, 1440, "2560\xC3\x97" "1440 (1440p)"},
     {3840, 2160, "3840\xC3\x97" "2160 (4K)"}},
    {{720, 1280, "720\xC3\x97" "1280"},
     {1080, 1920, "1080\xC3\x97" "1920"},
     {1440, 2560, "1440\xC3\x97" "2560"},
     {2160, 3840, "2160\xC3\x97" "3840 (4K)"}},
};

constexpr const char* kEllipsis = "\xE2\x80\xA6";

bool isFolderSeparator(char c) { return c == '\\' || c == '/'; }

// A read-only box of frame height showing a path in the secondary colour, its
// start elided when it is too long, with the full path as tooltip when asked.
void pathBox(const char* shown, float width, bool tooltip) {
    const ThemePalette& p = palette();
    const float h = ImGui::GetFrameHeight();
    ImVec2 pos = ImGui::GetCursorScreenPos();
    ImGui::Dummy(ImVec2(width, h));
    if (tooltip && ImGui::IsItemHovered(ImGuiHoveredFlags_ForTooltip))
        ImGui::SetTooltip("%s", shown);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    ImVec2 end(pos.x + width, pos.y + h);
    dl->AddRectFilled(pos, end, p.frame, ImGui::GetStyle().FrameRounding);
    const ImVec2 pad = ImGui::GetStyle().FramePadding;
    const char* shownEnd = shown + std::strlen(shown);
    const char* from = elidedPathStart(shown, shownEnd, width - 2.0f * pad.x);
    const float y = pos.y + (h - ImGui::GetFontSize()) * 0.5f;
    float x = pos.x + pad.x;
    ImVec4 clip(pos.x + pad.x, pos.y, end.x - pad.x, end.y);
    if (from != shown) {
        dl->AddText(ImGui::GetFont(), ImGui::GetFontSize(), ImVec2(x, y), p.textSecondary, kEllipsis,
                    nullptr, 0.0f, &clip);
        x += ImGui::CalcTextSize(kEllipsis).x;
    }
    dl->AddText(ImGui::GetFont(), ImGui::GetFontSize(), ImVec2(x, y), p.textSecondary, from, shownEnd,
                0.0f, &clip);
}

}  // namespace

const char* elidedPathStart(const char* path, const char* end, float width) {
    if (ImGui::CalcTextSize(path, end).x <= width) return path;
    const float room = width - ImGui::CalcTextSize(kEllipsis).x;
    const char* from = end;
    while (from > path) {
        const char* before = from - 1;
        while (before > path && (static_cast<unsigned char>(*before) & 0xC0) == 0x80) --before;
        if (ImGui::CalcTextSize(before, end).x > room) break;
        from = before;
    }
    // Whole folder names read better than a cut one; a trailing separator names no folder.
    for (const char* c = from; c + 1 < end; ++c)
        if (isFolderSeparator(*c)) return c;
    return from;
}

void noteTextString(ImU32 colour, const std::string& text) { noteText(colour, text.c_str()); }

void noteText(ImU32 colour, const char* text) {
    // ImU32 colours already keep red in the lowest byte.
    ImFont* f = uiFonts().small ? uiFonts().small : ImGui::GetFont();
    ImGui::PushFont(f, f->LegacySize);
    ImGui::PushTextWrapPos(0.0f);
    ImGui::PushStyleColor(ImGuiCol_Text, colour);
    ImGui::TextUnformatted(text);
    ImGui::PopStyleColor();
    ImGui::PopTextWrapPos();
    ImGui::PopFont();
}

const char* settingsLockNote(int tab, bool live, bool recording) {
    const bool lockedByLive = live && (tab == SettingsTab::Video || tab == SettingsTab::Recording ||
                                       tab == SettingsTab::Destinations);
    const bool lockedByRecording =
        recording && (tab == SettingsTab::Video || tab == SettingsTab::Recording);
    if (lockedByLive) return kLockedWhileLive;
    if (lockedByRecording) return kLockedWhileRecording;
    return nullptr;
}

SettingsActions drawSettingsWindow(SettingsWindowState& state, Project& project,
                                   const SettingsView& view) {
    SettingsActions actions;
    if (!state.open) {
        state.shownTab = -1;
        return actions;
    }
    state.tab = std::clamp(state.tab, 0, SettingsTab::Count - 1);
    const ImGuiViewport* vp = ImGui::GetMainViewport();
    ImGui::SetNextWindowSize(ImVec2(S(kWindowWidth), S(kWindowHeight)), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowPos(vp->GetCenter(), ImGuiCond_FirstUseEver, ImVec2(0.5f, 0.5f));
    if (ImGui::Begin(kSettingsWindowName, &state.open, ImGuiWindowFlags_NoCollapse)) {
        static const char* const kTabs[] = {"Video", "Audio", "Recording", "Destinations",
                                            "Control"};
        segmentedControl("##stabs", kTabs, SettingsTab::Count, state.tab);
        gap(kTabGap);
        const char* lock = settingsLockNote(state.tab, view.live, view.recording);
        if (lock) noteText(palette().warning, lock);
        // The tabs share one scrolling region: each opens at its top, not where the one before
        // it was left.
        if (state.tab != state.shownTab) ImGui::SetNextWindowScroll(ImVec2(0.0f, 0.0f));
        state.shownTab = state.tab;
        ImGui::BeginChild("##stab", ImVec2(0, 0));
        ImGui::BeginDisabled(lock != nullptr);
        switch (state.tab) {
        case SettingsTab::Video: drawVideoSettings(project); break;
        case SettingsTab::Audio: drawAudioSettings(state, project, view, actions); break;
        case SettingsTab::Recording:
            drawRecordingSettings(state, project, view.defaultRecordingFolder, actions);
            break;
        case SettingsTab::Destinations:
            drawDestinationsSettings(state, project, view.keyedDestinations, actions);
            break;
        default: drawControlSettings(state, project, view, actions); break;
        }
        ImGui::EndDisabled();
        ImGui::EndChild();
    }
    ImGui::End();
    return actions;
}

void drawCanvasSettings(CanvasSettings& canvas, int canvasNumber) {
    ImGui::PushID(canvasNumber);
    cardTitle(canvasNumber == 0 ? "Horizontal canvas  \xC2\xB7  16:9"
                                : "Vertical canvas  \xC2\xB7  9:16");
    beginCard();
    fieldRow("Resolution");
    char shown[32];
    std::snprintf(shown, sizeof shown, "%d\xC3\x97%d", canvas.width, canvas.height);
    if (pillMenuButton("##res", shown)) {
        for (const ResolutionPreset& r : kResolutionPresets[canvasNumber == 0 ? 0 : 1])
            if (menuItemRow(r.text, r.width == canvas.width && r.height == canvas.height)) {
                canvas.width = r.width;
                canvas.height = r.height;
            }
        endPillMenu();
    }
    fieldRow("Frame rate");
    static const char* const kFps[] = {"30 fps", "60 fps"};
    int fps = canvas.fps > 59 ? 1 : 0;
    if (segmentedControl("##fps", kFps, 2, fps, ImGui::CalcItemWidth()))
        canvas.fps = fps == 1 ? 60 : 30;
    fieldRow("Recording quality");
    float mbps = float(canvas.bitrateKbps) / 1000.0f;
    if (sliderTrack("##br", mbps, 2.0f, 80.0f, "%.0f Mbps"))
        canvas.bitrateKbps = int(mbps * 1000.0f);
    endCard();
    ImGui::PopID();
}

void drawVideoSettings(Project& project) {
    const ThemePalette& p = palette();
    cardTitle("Appearance");
    beginCard();
    fieldRow("Mode");
    static const char* const kModes[] = {"Dark", "Light"};
    int mode = project.darkMode ? 0 : 1;
    if (segmentedControl("##mode", kModes, 2, mode, ImGui::CalcItemWidth()))
        project.darkMode = mode == 0;
    fieldRow("Style");
    if (pillMenuButton("##style", project.themeName.c_str())) {
        for (int i = 0; i < themeCount(); ++i) {
            if (menuItemRow(themeNameAt(i), project.themeName == themeNameAt(i)))
                project.themeName = themeNameAt(i);
            if (ImGui::IsItemHovered(ImGuiHoveredFlags_ForTooltip))
                ImGui::SetTooltip("%s", themeDescriptionAt(i));
        }
        endPillMenu();
    }
    fieldRow("Text size");
    static const char* const kSizes[] = {"Small", "Default", "Large", "Extra large"};
    static const int kPercents[] = {90, 100, 115, 130};
    int size = segmentOf(project.textSizePercent, kPercents, 4, 1);
    if (segmentedControl("##tsize", kSizes, 4, size, ImGui::CalcItemWidth()))
        project.textSizePercent = kPercents[size];
    endCard();
    gap(kCardGap);
    drawCanvasSettings(project.canvases[0], 0);
    gap(kCardGap);
    drawCanvasSettings(project.canvases[1], 1);
    gap(kCardGap);

    cardTitle("Transitions");
    beginCard();
    fieldRow("Style");
    static const char* const kStyles[] = {"Cut", "Fade"};
    int fade = project.transitionMs > 0 ? 1 : 0;
    if (segmentedControl("##tr", kStyles, 2, fade, ImGui::CalcItemWidth()))
        project.transitionMs = fade == 1 ? kFadeTransitionMs : 0;
    if (project.transitionMs > 0) {
        fieldRow("Duration");
        intSlider("##trms", project.transitionMs, 100.0f, 2000.0f, "%.0f ms");
    }
    endCard();
    noteText(p.textSecondary,
             "Layouts are kept per canvas, so changing resolution never moves anything. Hardware "
             "encoding (NVIDIA, Intel, AMD) is used when available, otherwise software.");
}

void drawAudioSettings(SettingsWindowState& state, Project& project, const SettingsView& view,
                       SettingsActions& actions) {
    const ThemePalette& p = palette();
    cardTitle("Microphone");
    beginCard();
    fieldRow("Device");
    const char* current = "Windows default";
    for (const AudioDevice& d : view.microphones)
        if (!project.micDeviceId.empty() && d.id == project.micDeviceId) current = d.name.c_str();
    ImGui::SetNextItemWidth(ImGui::CalcItemWidth() - S(32));
    if (pillMenuButton("##mic", current)) {
        if (menuItemRow("Windows default", project.micDeviceId.empty())) project.micDeviceId.clear();
        for (const AudioDevice& d : view.microphones)
            if (menuItemRow(d.name.c_str(), !project.micDeviceId.empty() && d.id == project.micDeviceId))
                project.micDeviceId = d.id;
        endPillMenu();
    }
    ImGui::SameLine(0.0f, S(4));
    if (iconButton(Icon::rescan, "Look for microphones again", false, p.text, S(kRescanButtonSize)))
        actions.rescanMicrophones = true;
    fieldRow("Volume");
    scaledSlider("##mg", project.micGain, 100.0f, 0.0f, 200.0f, "%.0f%%");
    fieldRow("Voice processing");
    rowEndToggle("##vp", project.voiceProcessing);
    fieldRow("Noise gate");
    rowEndToggle("##gate", project.noiseGate);
    if (project.noiseGate) {
        fieldRow("Gate below");
        sliderTrack("##gdb", project.gateDb, -70.0f, -20.0f, "%.0f dB");
    }
    fieldRow("Delay");
    intSlider("##delay", project.micDelayMs, 0.0f, 500.0f, "%.0f ms");
    endCard();
    if (!view.micStatus.empty()) noteTextString(p.danger, view.micStatus);
    if (project.voiceProcessing) {
        if (!view.micEffects.empty()) {
            state.noteBuffer.assign("Windows is applying: ").append(view.micEffects).append(".");
            noteTextString(p.textSecondary, state.noteBuffer);
        } else {
            noteText(p.textSecondary,
                     "Windows reports no voice effects for this microphone. Use the noise gate "
                     "instead.");
        }
    } else {
        noteText(p.textSecondary,
                 "Voice processing lets Windows remove background noise and echo (Voice Clarity on "
                 "Windows 11). Delay moves the voice later, to match a camera that lags behind.");
    }
    gap(kCardGap);
    cardTitle("Desktop audio");
    beginCard();
    fieldRow("Capture PC sound");
    rowEndToggle("##desk", project.desktopAudio);
    if (project.desktopAudio) {
        fieldRow("Volume");
        scaledSlider("##dg", project.desktopGain, 100.0f, 0.0f, 200.0f, "%.0f%%");
    }
    endCard();
    if (project.desktopAudio && !view.desktopStatus.empty())
        noteTextString(p.danger, view.desktopStatus);
    else
        noteText(p.textSecondary,
                 "Game, music and call audio from the default speakers goes into the stream and the "
                 "recording.");
}

void appendExampleRecordingName(const Project& project, const std::tm& localTime,
                                std::string& out) {
    FileNameFields fields;
    fields.show = project.showName;
    if (project.activeScene >= 0 && size_t(project.activeScene) < project.scenes.size())
        fields.scene = project.scenes[size_t(project.activeScene)].name;
    fields.canvas = "Horizontal";
    fields.part = 1;
    fields.time = localTime;
    appendFileName(project.fileNameTemplate, fields, out);
    out += project.mkv ? ".mkv" : ".mp4";
}

void drawRecordingSettings(SettingsWindowState& state, Project& project,
                           const std::string& defaultFolder, SettingsActions& actions) {
    const ThemePalette& p = palette();
    cardTitle("What to record");
    beginCard();
    fieldRow("Horizontal 16:9");
    rowEndToggle("##rh", project.recordHorizontal);
    fieldRow("Vertical 9:16");
    rowEndToggle("##rv", project.recordVertical);
    fieldRow("Format");
    static const char* const kFormats[] = {"Safe MP4", "MP4", "MKV"};
    int format = project.mkv ? 2 : (project.safeMp4 ? 0 : 1);
    if (segmentedControl("##fmt", kFormats, 3, format, ImGui::CalcItemWidth())) {
        project.mkv = format == 2;
        project.safeMp4 = format != 1;
    }
    fieldRow("Encoder");
    static const char* const kPresets[] = {"Quality", "Balanced", "Efficiency"};
    int preset = std::clamp(project.encoderPreset, 0, EncoderPreset::Count - 1);
    if (segmentedControl("##preset", kPresets, EncoderPreset::Count, preset, ImGui::CalcItemWidth()))
        project.encoderPreset = preset;
    fieldRow("Split every");
    static const char* const kSplits[] = {"Off", "15 min", "30 min", "60 min"};
    static const int kMinutes[] = {0, 15, 30, 60};
    int split = segmentOf(project.splitMinutes, kMinutes, 4, 0);
    if (segmentedControl("##split", kSplits, 4, split, ImGui::CalcItemWidth()))
        project.splitMinutes = kMinutes[split];
    endCard();
    gap(kCardGap);

    cardTitle("Files");
    beginCard();
    fieldRow("Show name");
    ImGui::InputText("##show", &project.showName);
    fieldRow("File name");
    ImGui::InputText("##tmpl", &project.fileNameTemplate);
    const float button = S(kFolderButtonWidth), spacing = S(6);
    fieldRow("Folder");
    {
        const float column = ImGui::CalcItemWidth(), x = ImGui::GetCursorPosX();
        const std::string& shown =
            project.recordingFolder.empty() ? defaultFolder : project.recordingFolder;
        pathBox(shown.c_str(), column - button - spacing, true);
        ImGui::SameLine();
        ImGui::SetCursorPosX(x + column - button);
        if (roundedButton("Choose\xE2\x80\xA6", false, button)) actions.chooseFolder = true;
    }
    fieldRow("Backup copy");
    {
        const float column = ImGui::CalcItemWidth(), x = ImGui::GetCursorPosX();
        const bool set = !project.backupFolder.empty();
        pathBox(set ? project.backupFolder.c_str() : "Off", column - 2 * button - 2 * spacing, set);
        ImGui::SameLine();
        ImGui::SetCursorPosX(x + column - 2 * button - spacing);
        if (roundedButton("Off##bk", false, button)) project.backupFolder.clear();
        ImGui::SameLine();
        ImGui::SetCursorPosX(x + column - button);
        if (roundedButton("Choose\xE2\x80\xA6##bk", false, button)) actions.chooseBackupFolder = true;
    }
    endCard();
    std::string& note = state.noteBuffer;
    note.assign("Example: ");
    appendExampleRecordingName(project, localCalendarNow(), note);
    note.append("\nTokens: {show} {scene} {canvas} {date} {time} {part}\nSafe MP4 keeps everything "
                "up to a crash; MP4 opens in every editor but is lost if the app crashes "
                "mid-recording. MKV survives even a power cut. The backup copy is written at the "
                "same time, e.g. to a second drive.");
    noteTextString(p.textSecondary, note);
}
