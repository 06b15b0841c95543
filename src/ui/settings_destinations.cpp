// The Destinations tab: one card per place to stream to, the preset buttons
// that add one, and the record-when-live switch. Stream keys never enter the
// project: a typed key leaves through the actions for the credential store.

#include <ctime>
#include <string>

#include "imgui.h"
#include "imgui_stdlib.h"
#include "live/rtmp_url.h"
#include "ui/settings_window.h"
#include "ui/style.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

constexpr float kSaveButtonWidth = 64.0f;
// The stream key field's hints, whole and as short as they can say it.
constexpr const char* kKeyHints[2][2] = {{"Paste the key from the platform", "Paste the key"},
                                         {"Saved securely \xC2\xB7 type to replace", "Saved securely"}};
constexpr float kPresetButtonWidth = 86.0f;
constexpr float kMinBitrateKbps = 1000.0f;
constexpr float kMaxBitrateKbps = 20000.0f;
constexpr int kNewDestinationKbps = 6000;

struct DestinationPreset {
    const char* label;
    const char* serverUrl;
    int canvas;
};
constexpr DestinationPreset kDestinationPresets[kDestinationPresetCount] = {
    {"YouTube", "rtmps://a.rtmps.youtube.com:443/live2", 0},
    {"Twitch", "rtmps://live.twitch.tv:443/app", 0},
    {"Kick", "", 1},
    {"Custom", "", 0},
};

constexpr int kHeightLimits[] = {0, 1080, 720, 480};

float S(float v) { return v * uiScale(); }

void drawDestinationNote(const DestinationNote& note) {
    const ThemePalette& p = palette();
    switch (note.kind) {
    case NoteKind::Hint: noteTextString(p.textSecondary, note.text); break;
    case NoteKind::Error: noteTextString(p.danger, note.text); break;
    case NoteKind::Warning: noteTextString(p.warning, note.text); break;
    case NoteKind::None: break;
    }
}

// One destination's card; returns true when "Remove destination" was clicked.
bool destinationCard(Destination& d, std::string& typedKey, bool keyed,
                     SettingsActions& actions) {
    cardTitle(d.name.c_str());
    beginCard();
    fieldRow("Stream here");
    rowEndToggle("##on", d.streamHere);
    fieldRow("Name");
    ImGui::InputText("##name", &d.name);
    fieldRow("Server URL");
    ImGui::InputTextWithHint("##url", "rtmp://\xE2\x80\xA6 or rtmps://\xE2\x80\xA6", &d.serverUrl);
    fieldRow("Stream key");
    const float column = ImGui::CalcItemWidth();
    const float keyWidth = column - S(kSaveButtonWidth) - S(6);
    // A hint cut off mid-word reads as broken: where the whole hint does not fit the field, it
    // says what matters and the field's tooltip says the rest.
    const char* hint = kKeyHints[keyed][0];
    const bool fits = ImGui::CalcTextSize(hint).x + ImGui::GetStyle().FramePadding.x * 2.0f <= keyWidth;
    ImGui::SetNextItemWidth(keyWidth);
    ImGui::InputTextWithHint("##key", kKeyHints[keyed][fits ? 0 : 1], &typedKey, ImGuiInputTextFlags_Password);
    if (!fits && typedKey.empty() && ImGui::IsItemHovered()) ImGui::SetTooltip("%s", hint);
    ImGui::SameLine(0.0f, S(6));
    ImGui::BeginDisabled(typedKey.empty());
    // The typed key stays until the studio has stored it: a failed save loses nothing.
    if (roundedButton("Save", true, S(kSaveButtonWidth)) && !typedKey.empty()) {
        actions.saveKeyDestinationId = d.id;
        actions.streamKey = typedKey;
    }
    ImGui::EndDisabled();
    fieldRow("Channel");
    ImGui::InputTextWithHint("##ch", "@yourchannel  (for chat + counters)", &d.channel);
    fieldRow("Canvas");
    static const char* const kCanvases[] = {"Horizontal 16:9", "Vertical 9:16"};
    int canvas = d.canvas == 1 ? 1 : 0;
    if (segmentedControl("##cv", kCanvases, 2, canvas, ImGui::CalcItemWidth())) d.canvas = canvas;
    fieldRow("Resolution");
    static const char* const kResolutions[] = {"Canvas", "1080p", "720p", "480p"};
    int segment = heightLimitSegment(d.heightLimit);
    if (segmentedControl("##res", kResolutions, 4, segment, ImGui::CalcItemWidth()))
        d.heightLimit = heightLimitOfSegment(segment);
    fieldRow("Bitrate");
    float kbps = float(d.bitrateKbps);
    if (sliderTrack("##kbps", kbps, kMinBitrateKbps, kMaxBitrateKbps, "%.0f kbps"))
        d.bitrateKbps = roundedBitrateKbps(kbps);
    fieldRow();
    const bool remove = roundedButton("Remove destination", false);
    endCard();
    return remove;
}

}  // namespace

DestinationNote destinationNote(const Destination& d, const std::set<std::string>& keyed) {
    if (d.serverUrl.empty())
        return {NoteKind::Hint,
                "Copy the server URL and stream key from the platform's live dashboard."};
    RtmpEndpoint endpoint;
    std::string error;
    if (!parseRtmpUrl(d.serverUrl, endpoint, error)) return {NoteKind::Error, error};
    if (!keyed.count(d.id)) return {NoteKind::Warning, "Add the stream key to go live here."};
    return {};
}

int roundedBitrateKbps(float sliderValue) { return (int(sliderValue) + 50) / 100 * 100; }

int heightLimitSegment(int heightLimit) {
    for (int i = 1; i < 4; ++i)
        if (kHeightLimits[i] == heightLimit) return i;
    return 0;
}

int heightLimitOfSegment(int segment) {
    return segment >= 0 && segment < 4 ? kHeightLimits[segment] : 0;
}

Destination makePresetDestination(int preset, long long unixSeconds, int number) {
    IM_ASSERT(preset >= 0 && preset < kDestinationPresetCount);
    const DestinationPreset& p = kDestinationPresets[preset];
    Destination d;
    d.id = 'd';
    d.id += std::to_string(unixSeconds);
    d.id += '-';
    d.id += std::to_string(number);
    d.name = p.label;
    d.serverUrl = p.serverUrl;
    d.canvas = p.canvas;
    d.bitrateKbps = kNewDestinationKbps;
    d.heightLimit = 0;
    d.streamHere = true;
    d.channel.clear();
    return d;
}

void drawDestinationsSettings(SettingsWindowState& state, Project& project,
                              const std::set<std::string>& keyed, SettingsActions& actions) {
    const ThemePalette& p = palette();
    int marked = -1;
    for (size_t i = 0; i < project.destinations.size(); ++i) {
        Destination& d = project.destinations[i];
        ImGui::PushID(d.id.c_str());
        std::string& typed = state.typedStreamKeys[d.id];
        const bool isKeyed = keyed.count(d.id) > 0;
        if (destinationCard(d, typed, isKeyed, actions)) marked = int(i);
        KeptDestinationNote& kept = state.destinationNotes[d.id];
        if (!kept.made || kept.keyed != isKeyed || kept.serverUrl != d.serverUrl) {
            kept.note = destinationNote(d, keyed);
            kept.serverUrl = d.serverUrl;
            kept.keyed = isKeyed;
            kept.made = true;
        }
        drawDestinationNote(kept.note);
        ImGui::Dummy(ImVec2(0, S(6)));
        ImGui::PopID();
    }
    if (marked >= 0) {
        const std::string id = project.destinations[size_t(marked)].id;
        actions.forgetKeyDestinationId = id;
        state.typedStreamKeys.erase(id);
        state.destinationNotes.erase(id);
        project.destinations.erase(project.destinations.begin() + marked);
    }

    cardTitle("Add a destination");
    for (int i = 0; i < kDestinationPresetCount; ++i) {
        if (i > 0) ImGui::SameLine(0.0f, S(6));
        if (roundedButton(kDestinationPresets[i].label, false, S(kPresetButtonWidth)))
            project.destinations.push_back(
                makePresetDestination(i, static_cast<long long>(std::time(nullptr)),
                                      ++state.addedDestinationCount));
    }
    ImGui::Dummy(ImVec2(0, S(4)));
    cardTitle("When going live");
    beginCard();
    fieldRow("Also record");
    rowEndToggle("##rwl", project.recordWhenLive);
    endCard();
    noteText(p.textSecondary,
             "Every enabled destination gets its own encoder with its own canvas and bitrate. If a "
             "connection drops, Quillhaven reconnects on its own. Keys are kept in Windows "
             "Credential Manager, never in the project file.");
}
