#include "ui/top_bar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "imgui_internal.h"
#include "ui/style.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

constexpr float kControlHeight = 30;
constexpr float kControlTop = 13;
constexpr float kIconSize = 26;
constexpr float kGroupWidth = 222;
constexpr ImU32 kRecordRed = 0xFF2028E6u;
constexpr float kToggleWidth = 38;
constexpr const char* kMiddleDot = "  \xC2\xB7  ";

float S(float v) { return v * uiScale(); }

ImFont* smallFont() { return uiFonts().small ? uiFonts().small : ImGui::GetFont(); }
ImFont* bodyFont() { return uiFonts().body ? uiFonts().body : ImGui::GetFont(); }
ImFont* semiboldFont() { return uiFonts().semibold ? uiFonts().semibold : ImGui::GetFont(); }

float textWidth(ImFont* f, const char* text) {
    return f->CalcTextSizeA(f->LegacySize, FLT_MAX, 0.0f, text).x;
}

// Text drawn at the left of a pill, vertically centred; never read as a format.
void pillLabel(ImDrawList* dl, ImVec2 min, ImVec2 max, float inset, ImU32 colour,
               const char* text) {
    ImFont* f = bodyFont();
    ImVec2 ts = f->CalcTextSizeA(f->LegacySize, FLT_MAX, 0.0f, text);
    ImVec4 clip(min.x, min.y, max.x, max.y);
    dl->AddText(f, f->LegacySize,
                ImVec2(std::floor(min.x + S(inset)), std::floor((min.y + max.y - ts.y) * 0.5f)),
                colour, text, nullptr, 0.0f, &clip);
}

void tooltipText(const char* text) {
    if (ImGui::IsItemHovered(ImGuiHoveredFlags_ForTooltip)) ImGui::SetTooltip("%s", text);
}

// An invisible button over a pill with a hand cursor and a tooltip; hover gets the
// animated hover value.
bool pillButton(const char* id, ImVec2 min, ImVec2 max, const char* tooltip, float& hover) {
    ImGui::SetCursorScreenPos(min);
    bool clicked = ImGui::InvisibleButton(id, ImVec2(max.x - min.x, max.y - min.y));
    bool hovered = ImGui::IsItemHovered();
    hover = hoverValue(ImGui::GetItemID(), hovered);
    if (hovered) ImGui::SetMouseCursor(ImGuiMouseCursor_Hand);
    tooltipText(tooltip);
    return clicked;
}

bool iconButtonAt(ImVec2 pos, unsigned glyph, const char* tooltip, bool active, ImU32 colour) {
    ImGui::SetCursorScreenPos(pos);
    return iconButton(glyph, tooltip, active, colour, S(kIconSize));
}

// A toggle switch whose right edge sits at the content region's right edge, centred on y.
void toggleAtRight(const char* id, bool& value, float centreY) {
    float itemH = std::max(ImGui::GetFrameHeight(), S(22));
    ImVec2 keep = ImGui::GetCursorScreenPos();
    float right = ImGui::GetWindowPos().x + ImGui::GetWindowContentRegionMax().x;
    ImGui::SetCursorScreenPos(ImVec2(right - S(kToggleWidth), centreY - itemH * 0.5f));
    toggleSwitch(id, value);
    ImGui::SetCursorScreenPos(keep);
}

void spacing(float designHeight) { ImGui::Dummy(ImVec2(0, S(designHeight))); }

}  // namespace

bool destinationReady(const Destination& d, const std::set<std::string>& keyedDestinations) {
    return !d.serverUrl.empty() && keyedDestinations.count(d.id) != 0;
}

GoLivePlan planGoLive(const Project& project, const std::set<std::string>& keyedDestinations) {
    GoLivePlan plan;
    for (const Destination& d : project.destinations) {
        if (!d.streamHere) continue;
        if (destinationReady(d, keyedDestinations))
            ++plan.channels;
        else
            ++plan.missing;
    }
    return plan;
}

bool drawRecordButton(ImVec2 min, ImVec2 max, const char* label, bool recording) {
    const ThemePalette& p = palette();
    float hv = 0;
    bool clicked = pillButton(
        "##record", min, max,
        recording ? "Stop recording (Ctrl+R)" : "Record to Videos\\Quillhaven (Ctrl+R)", hv);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    float h = max.y - min.y, cy = (min.y + max.y) * 0.5f;
    float t = float(ImGui::GetTime());
    if (recording) {
        drawSoftShadow(dl, min, max, h * 0.5f, S(5), 1.2f);
        dl->AddRectFilled(min, max, lerpColor(p.danger, kRecordRed, hv), h * 0.5f);
        float a = 0.6f + 0.4f * std::sin(4.0f * t);
        dl->AddRectFilled(ImVec2(min.x + S(14), cy - S(4)), ImVec2(min.x + S(22), cy + S(4)),
                          colorWithAlpha(IM_COL32_WHITE, a), S(1.5f));
    } else {
        dl->AddRectFilled(min, max, lerpColor(p.frame, p.frameHover, hv), h * 0.5f);
        dl->AddCircleFilled(ImVec2(min.x + S(18), cy), S(5), p.danger, 24);
    }
    pillLabel(dl, min, max, 30, recording ? IM_COL32_WHITE : p.text, label);
    return clicked;
}

bool drawLiveButton(ImVec2 min, ImVec2 max, const TopBarState& state) {
    const ThemePalette& p = palette();
    float hv = 0;
    bool clicked = pillButton(
        "##live", min, max,
        state.liveState != 0
            ? "Stream controls"
            : "Pick channels and go live (Ctrl+L: straight to every enabled channel)",
        hv);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    float h = max.y - min.y, cy = (min.y + max.y) * 0.5f;
    if (state.liveState != 0) {
        drawSoftShadow(dl, min, max, h * 0.5f, S(5), 1.2f);
        ImU32 base = state.liveState == 2 ? p.success : p.warning;
        dl->AddRectFilled(min, max, lerpColor(base, IM_COL32_BLACK, 0.12f * hv), h * 0.5f);
        float a = 0.6f + 0.4f * std::sin(3.0f * float(ImGui::GetTime()));
        dl->AddCircleFilled(ImVec2(min.x + S(16), cy), S(4), colorWithAlpha(IM_COL32_WHITE, a), 16);
        pillLabel(dl, min, max, 28, IM_COL32_WHITE, state.liveLabel.c_str());
    } else {
        dl->AddRectFilled(min, max, lerpColor(p.frame, p.frameHover, hv), h * 0.5f);
        dl->AddCircle(ImVec2(min.x + S(16), cy), S(4.5f), p.textSecondary, 0, S(1.5f));
        pillLabel(dl, min, max, 28, p.text, "Go Live");
    }
    return clicked;
}

TopBarActions drawTopBar(ImVec2 pos, float width, const TopBarState& st,
                         std::vector<TitleRect>& dragRects) {
    const ThemePalette& p = palette();
    TopBarActions a;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const float X = pos.x, Y = pos.y, barH = S(kTitleBarHeight);
    const float top = Y + S(kControlTop), bottom = top + S(kControlHeight);
    const float midY = Y + barH * 0.5f;

    // 1. Load indicator.
    const ImU32 loadColours[3] = {p.success, p.warning, p.danger};
    ImVec2 dot(X + S(20), midY);
    dl->AddCircleFilled(dot, S(3.5f), loadColours[std::clamp(st.loadLevel, 0, 2)], 12);
    ImFont* sf = smallFont();
    ImVec2 ss = sf->CalcTextSizeA(sf->LegacySize, FLT_MAX, 0.0f, st.statusText.c_str());
    dl->AddText(sf, sf->LegacySize,
                ImVec2(std::floor(dot.x + S(8)), std::floor(dot.y - ss.y * 0.5f)), p.textSecondary,
                st.statusText.c_str());
    const float statusEnd = dot.x + S(8) + ss.x;

    // 2. Record button at the right end.
    char label[32];
    if (st.recording) {
        int t = std::max(0, st.elapsedSeconds);
        std::snprintf(label, sizeof label, "%02d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
    } else {
        std::snprintf(label, sizeof label, "Record");
    }
    float recRight = X + width - S(16);
    float recLeft = recRight - (S(42) + textWidth(bodyFont(), label));
    if (drawRecordButton(ImVec2(recLeft, top), ImVec2(recRight, bottom), label, st.recording))
        a.record = true;
    float left = recLeft;

    // 3. Pause control while recording.
    if (st.recording) {
        float r = S(kControlHeight) * 0.5f;
        ImVec2 c(left - S(8) - r, midY);
        dl->AddCircleFilled(c, r, p.frame);
        if (iconButtonAt(ImVec2(c.x - S(13), c.y - S(13)), st.paused ? Icon::resume : Icon::pause,
                         st.paused ? "Resume (Ctrl+P)" : "Pause (Ctrl+P)", st.paused,
                         st.paused ? p.warning : p.text))
            a.pause = true;
        left = c.x - r;
    }

    // 4. Go-live pill.
    const char* liveLabel = st.liveState != 0 ? st.liveLabel.c_str() : "Go Live";
    float liveRight = left - S(8);
    float liveLeft = liveRight - (S(40) + textWidth(bodyFont(), liveLabel));
    if (drawLiveButton(ImVec2(liveLeft, top), ImVec2(liveRight, bottom), st)) a.goLive = true;
    a.goLiveAnchor = ImVec2(liveRight, bottom);

    // 5. Control group.
    float gRight = liveLeft - S(20), gLeft = gRight - S(kGroupWidth);
    dl->AddRectFilled(ImVec2(gLeft, top), ImVec2(gRight, bottom), p.frame,
                      S(kControlHeight) * 0.5f);
    const float iconTop = top + S(2);
    float x = gLeft + S(4);
    {
        const char* tip = st.cameraState == 2   ? "Hide camera"
                          : st.cameraState == 1 ? "Show camera"
                                                : "Add a camera to this scene";
        bool on = st.cameraState == 2;
        if (iconButtonAt(ImVec2(x, iconTop), Icon::camera, tip, on, on ? p.text : p.textSecondary))
            a.camera = true;
        if (!on) {
            ImVec2 c(x + S(kIconSize) * 0.5f, iconTop + S(kIconSize) * 0.5f);
            dl->AddLine(ImVec2(c.x - S(7), c.y - S(7)), ImVec2(c.x + S(7), c.y + S(7)),
                        st.cameraState == 1 ? p.danger : p.textSecondary, S(1.5f));
        }
    }
    x += S(kIconSize) + S(4);
    if (iconButtonAt(ImVec2(x, iconTop), Icon::chatOnTop,
                     st.chatOnTop ? "Close chat on top"
                                  : "Chat on top: a window over your game, left out of the stream "
                                    "and recordings",
                     st.chatOnTop, st.chatOnTop ? p.text : p.textSecondary))
        a.chatOnTop = true;
    x += S(kIconSize) + S(4);
    if (iconButtonAt(ImVec2(x, iconTop), st.micMuted ? Icon::microphoneOff : Icon::microphone,
                     st.micMuted ? "Unmute microphone" : "Mute microphone", false,
                     st.micMuted ? p.danger : p.text))
        a.mute = true;
    float micRight = x + S(kIconSize);
    x = micRight + S(6);
    ImGui::SetCursorScreenPos(ImVec2(x, midY - S(3)));
    levelMeter(st.micMuted ? 0.0f : st.micLevel, ImVec2(S(56), S(6)));
    ImVec2 mixerMin(micRight + S(2), top);
    ImGui::SetCursorScreenPos(mixerMin);
    if (ImGui::InvisibleButton("##mixer", ImVec2(S(64), S(kControlHeight)))) a.mixer = true;
    if (ImGui::IsItemHovered()) ImGui::SetMouseCursor(ImGuiMouseCursor_Hand);
    tooltipText(!st.micStatus.empty() ? st.micStatus.c_str()
                                      : "Audio mixer: mic and PC sound volume");
    a.mixerAnchor = ImVec2(mixerMin.x - S(40), Y + barH);
    x += S(56) + S(10);
    if (iconButtonAt(ImVec2(x, iconTop), Icon::teleprompter, "Teleprompter (Ctrl+T)",
                     st.teleprompterOpen, p.text))
        a.teleprompter = true;
    x += S(kIconSize) + S(4);
    if (iconButtonAt(ImVec2(x, iconTop), Icon::settings, "Settings (Ctrl+,)", false, p.text))
        a.settings = true;
    float leftmost = gLeft;

    // 6. Update badge.
    if (st.updateReady) {
        ImVec2 ub(gLeft - S(12) - S(kIconSize), top + S(2));
        ImGui::SetCursorScreenPos(ub);
        bool clicked = iconButton(Icon::update, nullptr, false, p.accent, S(kIconSize));
        if (ImGui::IsItemHovered(ImGuiHoveredFlags_ForTooltip)) {
            ImGui::SetTooltip("Quillhaven %s is ready.\nClick to restart and update.",
                              st.updateVersion.c_str());
        }
        if (clicked) a.update = true;
        float pulse = 0.7f + 0.3f * (0.5f + 0.5f * std::sin(3.0f * float(ImGui::GetTime())));
        dl->AddCircleFilled(ImVec2(ub.x + S(kIconSize) - S(4), ub.y + S(4)), S(3.5f),
                            colorWithAlpha(p.danger, pulse));
        leftmost = ub.x;
    }

    // 7. Empty areas drag the window.
    float dragLeft = statusEnd + S(12), dragRight = leftmost - S(8);
    if (dragRight > dragLeft) dragRects.push_back({dragLeft, Y, dragRight, Y + barH});
    dragRects.push_back({X, Y, X + width, Y + S(6)});
    return a;
}

void drawStreamDetailsLink(const Project& project, const std::string& destinationId,
                           GoLiveActions& actions) {
    for (const Destination& d : project.destinations) {
        if (d.id != destinationId) continue;
        if (d.serverUrl.size() <= 6 || d.serverUrl.find("youtube") == std::string::npos) return;
        ImFont* f = smallFont();
        ImGui::PushFont(f, f->LegacySize);
        if (ImGui::TextLink("Title, thumbnail\xE2\x80\xA6"))
            actions.streamDetailsDestinationId = d.id;
        ImGui::PopFont();
        return;
    }
}

namespace {

// One destination of the not-live popup; counts it into the plan.
void destinationRow(Destination& d, const Project& project,
                    const std::set<std::string>& keyedDestinations, GoLiveActions& a) {
    const ThemePalette& p = palette();
    ImGui::PushID(d.id.c_str());
    const bool ready = destinationReady(d, keyedDestinations);
    float rowTop = ImGui::GetCursorScreenPos().y;
    float textRight =
        ImGui::GetCursorPosX() + ImGui::GetContentRegionAvail().x - S(kToggleWidth) - S(10);
    ImGui::PushTextWrapPos(textRight);
    ImGui::BeginGroup();
    ImGui::TextUnformatted(d.name.c_str());
    char detail[96];
    int n = std::snprintf(detail, sizeof detail, "%s",
                          d.canvas == 1 ? "Vertical 9:16" : "Horizontal 16:9");
    if (d.heightLimit != 0)
        n += std::snprintf(detail + n, sizeof detail - size_t(n), "%s%dp", kMiddleDot,
                           d.heightLimit);
    if (!ready)
        std::snprintf(detail + n, sizeof detail - size_t(n), "%sneeds a stream key", kMiddleDot);
    smallColoredText(ready ? p.textSecondary : p.warning, detail);
    drawStreamDetailsLink(project, d.id, a);
    ImGui::EndGroup();
    ImGui::PopTextWrapPos();
    float rowBottom = ImGui::GetItemRectMax().y;
    toggleAtRight("##on", d.streamHere, (rowTop + rowBottom) * 0.5f);
    spacing(4);
    ImGui::PopID();
}

}  // namespace

GoLiveActions drawGoLivePopup(ImVec2 anchor, Project& project, const std::vector<GoLiveRow>& rows,
                              const std::set<std::string>& keyedDestinations) {
    const ThemePalette& p = palette();
    GoLiveActions a;
    ImGui::SetNextWindowPos(ImVec2(anchor.x, anchor.y + S(6)), ImGuiCond_Always, ImVec2(1, 0));
    ImGui::SetNextWindowSize(ImVec2(S(300), 0));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(S(14), S(12)));
    bool open = ImGui::BeginPopup("##golive");
    ImGui::PopStyleVar();
    if (!open) return a;
    const float A = ImGui::GetContentRegionAvail().x;
    if (rows.empty()) {
        if (project.destinations.empty()) {
            ImGui::TextUnformatted("No channels yet");
            ImGui::PushTextWrapPos(0.0f);
            smallColoredText(p.textSecondary,
                             "Add your YouTube channel once; after that it's one click.");
            ImGui::PopTextWrapPos();
            spacing(4);
            if (roundedButton("Add a channel\xE2\x80\xA6", true, A)) {
                a.openDestinations = true;
                ImGui::CloseCurrentPopup();
            }
        } else {
            ImGui::PushFont(semiboldFont(), semiboldFont()->LegacySize);
            ImGui::TextUnformatted("Stream to");
            ImGui::PopFont();
            for (Destination& d : project.destinations)
                destinationRow(d, project, keyedDestinations, a);
            const GoLivePlan plan = planGoLive(project, keyedDestinations);
            ImGui::Separator();
            ImGui::AlignTextToFramePadding();
            ImGui::TextUnformatted("Also record");
            float y = ImGui::GetItemRectMin().y + ImGui::GetItemRectSize().y * 0.5f;
            toggleAtRight("##rec", project.recordWhenLive, y);
            spacing(4);
            // A destination without its key would make the live session refuse the whole start,
            // so the button asks for the key instead of promising the others.
            char label[64];
            if (plan.missing > 0)
                std::snprintf(label, sizeof label, "Add a stream key first");
            else if (plan.channels == 1)
                std::snprintf(label, sizeof label, "Go Live on 1 channel");
            else if (plan.channels > 1)
                std::snprintf(label, sizeof label, "Go Live on %d channels", plan.channels);
            else
                std::snprintf(label, sizeof label, "Turn on a channel");
            const bool disabled = plan.channels == 0 && plan.missing == 0;
            ImGui::BeginDisabled(disabled);
            if (roundedButton(label, true, A)) {
                if (plan.missing == 0)
                    a.goLive = true;
                else
                    a.openDestinations = true;
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndDisabled();
            if (ImGui::TextLink("Manage channels\xE2\x80\xA6")) {
                a.openDestinations = true;
                ImGui::CloseCurrentPopup();
            }
        }
    } else {
        const float stopW = S(64);
        for (const GoLiveRow& row : rows) {
            ImGui::PushID(row.id.c_str());
            float rowTop = ImGui::GetCursorScreenPos().y;
            ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + A - stopW - S(10));
            ImGui::BeginGroup();
            ImGui::TextUnformatted(row.name.c_str());
            smallColoredText(row.live ? p.success : p.warning, row.statusText.c_str());
            drawStreamDetailsLink(project, row.id, a);
            ImGui::EndGroup();
            ImGui::PopTextWrapPos();
            float rowBottom = ImGui::GetItemRectMax().y;
            ImVec2 keep = ImGui::GetCursorScreenPos();
            float right = ImGui::GetWindowPos().x + ImGui::GetWindowContentRegionMax().x;
            ImGui::SetCursorScreenPos(
                ImVec2(right - stopW, (rowTop + rowBottom - ImGui::GetFrameHeight()) * 0.5f));
            if (roundedButton("Stop", false, stopW)) a.stopDestinationId = row.id;
            ImGui::SetCursorScreenPos(keep);
            spacing(4);
            ImGui::PopID();
        }
        ImGui::Separator();
        spacing(2);
        if (roundedButton(rows.size() >= 2 ? "End stream on all" : "End stream", false, A)) {
            a.endStream = true;
            ImGui::CloseCurrentPopup();
        }
    }
    ImGui::EndPopup();
    return a;
}

bool mixerChannelStrip(const char* label, unsigned icon, unsigned mutedIcon, float& gain,
                       float level, bool muted, float width) {
    const ThemePalette& p = palette();
    ImGui::PushID(label);
    ImGui::TextUnformatted(label);
    float fh = ImGui::GetFrameHeight();
    bool clicked = muted ? iconButton(mutedIcon, "Unmute", false, p.danger, fh)
                         : iconButton(icon, "Mute", false, p.text, fh);
    ImGui::SameLine(0, S(8));
    float percent = gain * 100.0f;
    ImGui::SetNextItemWidth(width - fh - S(8));
    if (sliderTrack("##g", percent, 0.0f, 200.0f, "%.0f%%")) gain = percent / 100.0f;
    levelMeter(muted ? 0.0f : std::min(1.0f, level * gain), ImVec2(width, S(5)));
    spacing(6);
    ImGui::PopID();
    return clicked;
}

MixerActions drawMixerPopup(ImVec2 anchor, Project& project, const MixerState& st) {
    MixerActions a;
    ImGui::SetNextWindowPos(ImVec2(anchor.x, anchor.y + S(6)));
    ImGui::SetNextWindowSize(ImVec2(S(280), 0));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(S(14), S(12)));
    bool open = ImGui::BeginPopup("##mixer");
    ImGui::PopStyleVar();
    if (!open) return a;
    const float A = ImGui::GetContentRegionAvail().x;
    if (mixerChannelStrip("Microphone", Icon::microphone, Icon::microphoneOff, project.micGain,
                          st.micLevel, st.micMuted, A))
        a.toggleMicMute = true;
    if (project.desktopAudio) {
        if (mixerChannelStrip("PC sound (game, apps)", Icon::pcSound, Icon::pcSoundOff,
                              project.desktopGain, st.desktopLevel, st.desktopMuted, A))
            a.toggleDesktopMute = true;
    } else {
        ImGui::AlignTextToFramePadding();
        ImGui::TextUnformatted("PC sound");
        float y = ImGui::GetItemRectMin().y + ImGui::GetItemRectSize().y * 0.5f;
        toggleAtRight("##pc", project.desktopAudio, y);
        spacing(6);
    }
    if (ImGui::TextLink("More audio settings\xE2\x80\xA6")) {
        a.openAudioSettings = true;
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
    return a;
}
