// The Control tab: pairing a phone, the virtual camera, the keyboard
// shortcuts and the remote-control settings. Never locked.

#include <algorithm>
#include <string>

#include "imgui.h"
#include "imgui_stdlib.h"
#include "ui/settings_window.h"
#include "ui/style.h"
#include "ui/theme.h"
#include "ui/widgets.h"
#include "util/text.h"

namespace {

constexpr float kPairButtonWidth = 110.0f;
constexpr float kPortFieldWidth = 90.0f;
constexpr float kAddressButtonWidth = 64.0f;
constexpr float kCardGap = 6.0f;
constexpr size_t kPairingCodeGroup = 3;
constexpr const char* kAppDownloadAddress = "https://quillhaven.app/downloads";

struct ShortcutRow {
    const char* keys;
    const char* description;
};
constexpr ShortcutRow kShortcuts[] = {
    {"Ctrl+R", "Record / stop"},
    {"Ctrl+P", "Pause / resume recording"},
    {"Ctrl+L", "Go live / end stream"},
    {"Ctrl+M", "Mute / unmute microphone"},
    {"1 \xE2\x80\x93 9", "Switch scene"},
    {"Ctrl+1 \xE2\x80\x93 9", "Switch layout"},
    {"F1 \xE2\x80\x93 F12", "Show / hide the layer with that toggle key"},
    {"Ctrl+T", "Teleprompter"},
    {"Space", "Teleprompter play / pause"},
    {"Arrows (Shift)", "Nudge the selected layer 1 (10) px"},
    {"Delete", "Remove the selected layer"},
    {"Ctrl+D", "Duplicate the selected layer"},
    {"Ctrl+S", "Save the project"},
    {"Ctrl+,", "Settings"},
};

float S(float v) { return v * uiScale(); }


void drawPhoneCard(SettingsWindowState& state, const SettingsView& view, SettingsActions& actions) {
    const ThemePalette& p = palette();
    cardTitle("Phone (Quillhaven Remote: chat, controls, camera)");
    beginCard();
    fieldRow("Pair a phone");
    if (view.pairingCode.empty()) {
        alignRight(S(kPairButtonWidth));
        if (roundedButton("Pair phone", true, S(kPairButtonWidth))) actions.startPairing = true;
    } else {
        ImFont* heading = uiFonts().heading ? uiFonts().heading : ImGui::GetFont();
        ImGui::PushFont(heading, heading->LegacySize);
        ImGui::AlignTextToFramePadding();
        ImGui::PushStyleColor(ImGuiCol_Text, p.accent);
        ImGui::TextUnformatted(pairingCodeForDisplay(view.pairingCode).c_str());
        ImGui::PopStyleColor();
        ImGui::PopFont();
    }
    endCard();
    pairingNote(view, state.noteBuffer);
    noteTextString(p.textSecondary, state.noteBuffer);
}

void drawVirtualCameraCard(Project& project, const SettingsView& view) {
    const ThemePalette& p = palette();
    cardTitle("Virtual camera (Zoom, Teams, Meet, Discord)");
    beginCard();
    fieldRow("Quillhaven Camera");
    rowEndToggle("##vcam", project.virtualCamera);
    fieldRow("Shows");
    static const char* const kCanvases[] = {"Horizontal 16:9", "Vertical 9:16"};
    int canvas = project.virtualCameraCanvas == 1 ? 1 : 0;
    if (segmentedControl("##vcv", kCanvases, 2, canvas, ImGui::CalcItemWidth()))
        project.virtualCameraCanvas = canvas;
    endCard();
    if (project.virtualCamera && !view.vcamError.empty())
        noteTextString(p.danger, view.vcamError);
    else if (view.vcamRunning)
        noteText(p.textSecondary,
                 "Pick \"Quillhaven Camera\" in the other app. It sends 1280\xC3\x97" "720 at 30 fps; "
                 "the vertical canvas gets black bars.");
}

void drawShortcutsCard() {
    const ThemePalette& p = palette();
    cardTitle("Keyboard shortcuts");
    beginCard();
    for (const ShortcutRow& row : kShortcuts) {
        fieldRow(row.keys);
        ImGui::AlignTextToFramePadding();
        ImGui::PushStyleColor(ImGuiCol_Text, p.textSecondary);
        ImGui::TextUnformatted(row.description);
        ImGui::PopStyleColor();
    }
    endCard();
}

// The port is applied when the field is left or Enter is pressed, not on
// every keystroke: each applied change restarts remote control.
void drawPortRow(Project& project) {
    fieldRow("Port");
    ImGui::SetNextItemWidth(S(kPortFieldWidth));
    ImGuiStorage* storage = ImGui::GetStateStorage();
    const ImGuiID typedKey = ImGui::GetID("##portTyped");
    int typed = storage->GetInt(typedKey, project.remotePort);
    if (ImGui::InputInt("##port", &typed, 0, 0)) storage->SetInt(typedKey, typed);
    if (ImGui::IsItemDeactivatedAfterEdit())
        project.remotePort = clampRemotePort(storage->GetInt(typedKey, typed));
    if (!ImGui::IsItemActive()) storage->SetInt(typedKey, project.remotePort);
}

void drawRemoteCard(SettingsWindowState& state, Project& project, const SettingsView& view,
                    SettingsActions& actions) {
    const ThemePalette& p = palette();
    cardTitle("Remote control (Stream Deck, phone)");
    beginCard();
    fieldRow("Allow remote control");
    rowEndToggle("##ctl", project.remoteControl);
    if (project.remoteControl) {
        drawPortRow(project);
        fieldRow("Local network");
        rowEndToggle("##lan", project.localNetwork);
        fieldRow("Address");
        const float button = S(kAddressButtonWidth);
        ImGui::SetNextItemWidth(ImGui::CalcItemWidth() - 2 * button - S(12));
        state.shownControlUrl = view.controlUrl;
        ImGui::InputText("##url", &state.shownControlUrl, ImGuiInputTextFlags_ReadOnly);
        ImGui::SameLine(0.0f, S(6));
        if (roundedButton("Copy", false, button)) ImGui::SetClipboardText(view.controlUrl.c_str());
        ImGui::SameLine(0.0f, S(6));
        if (roundedButton("New", false, button)) actions.newRemoteAddress = true;
    }
    endCard();
    std::string& note = state.noteBuffer;
    const bool isError = remoteControlNote(project, view, note);
    if (!note.empty()) noteTextString(isError ? p.danger : p.textSecondary, note);
}

}  // namespace

std::string pairingCodeForDisplay(const std::string& code) {
    if (code.size() <= kPairingCodeGroup) return code;
    return code.substr(0, kPairingCodeGroup) + " " + code.substr(kPairingCodeGroup);
}

int clampRemotePort(int port) { return std::clamp(port, kMinRemotePort, kMaxRemotePort); }

void pairingNote(const SettingsView& view, std::string& out) {
    if (view.pairingCode.empty()) {
        out.assign("Get the Android app at ")
            .append(kAppDownloadAddress)
            .append(". The phone and this PC must be on the same Wi-Fi. Add the phone as a camera: "
                    "Camera layer > Camera > Phone. \"New\" under Remote control unpairs every "
                    "phone.");
        return;
    }
    out.assign("On the phone, open Quillhaven Remote, pick this PC and type the code. It works once "
               "and ends in ");
    appendInteger(out, std::max(0, view.pairingSecondsLeft));
    out.append(" s.");
    if (!view.localAddresses.empty()) {
        out.append(" If the phone doesn't list this PC, type its address: ");
        for (size_t i = 0; i < view.localAddresses.size(); ++i)
            out.append(i ? ", " : "").append(view.localAddresses[i]);
        out.append(".");
    }
}

bool remoteControlNote(const Project& project, const SettingsView& view, std::string& out) {
    if (!view.remoteError.empty()) {
        out.assign(view.remoteError);
        return true;
    }
    out.clear();
    if (!project.remoteControl) return false;
    appendInteger(out, view.remoteClients);
    out.append(" connected. Keep the address private: it lets a device run the studio. \"New\" "
               "makes a fresh address and disconnects the old one.");
    if (project.localNetwork)
        out.append(" On the local network, use this PC's IP address instead of 127.0.0.1.");
    return false;
}

void drawControlSettings(SettingsWindowState& state, Project& project, const SettingsView& view,
                         SettingsActions& actions) {
    drawPhoneCard(state, view, actions);
    ImGui::Dummy(ImVec2(0, S(kCardGap)));
    drawVirtualCameraCard(project, view);
    ImGui::Dummy(ImVec2(0, S(kCardGap)));
    drawShortcutsCard();
    ImGui::Dummy(ImVec2(0, S(kCardGap)));
    drawRemoteCard(state, project, view, actions);
}
