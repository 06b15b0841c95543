#include "ui/teleprompter.h"

#include <algorithm>

#include "misc/cpp/imgui_stdlib.h"
#include "ui/style.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

// The reading view is dark with light type in every theme, like a real prompter glass.
constexpr ImU32 kReadingBg = 0xFF181616u;
constexpr ImU32 kReadingText = 0xFFF7F5F5u;
constexpr float kReadingLine = 0.33f;  // of the view's height, from its top
constexpr float kTrailingSpace = 0.66f;

float S(float v) { return v * uiScale(); }

}  // namespace

float advancePrompter(TeleprompterState& state, float speed, float deltaSeconds, float maxScroll) {
    state.scroll += uiScale() * speed * deltaSeconds;
    if (state.scroll >= maxScroll) {
        state.scroll = std::max(0.0f, maxScroll);
        state.playing = false;
    }
    return state.scroll;
}

bool labelledSlider(const char* label, const char* id, float& value, float min, float max) {
    ImGui::AlignTextToFramePadding();
    ImGui::PushStyleColor(ImGuiCol_Text, palette().textSecondary);
    ImGui::TextUnformatted(label);
    ImGui::PopStyleColor();
    ImGui::SameLine();
    const float width = S(130);
    ImVec2 start = ImGui::GetCursorScreenPos();
    ImGui::SetNextItemWidth(width);
    bool changed = sliderTrack(id, value, min, max, "%.0f");
    // The track leaves its value text to the right of the item: keep that room taken.
    ImGui::SetCursorScreenPos(start);
    ImGui::Dummy(ImVec2(width, ImGui::GetFrameHeight()));
    return changed;
}

void drawTeleprompterShadow(ImDrawList* dl, const TeleprompterState& state) {
    if (!state.open || state.windowSize.x <= 0) return;
    drawSoftShadow(
        dl, state.windowPos,
        ImVec2(state.windowPos.x + state.windowSize.x, state.windowPos.y + state.windowSize.y),
        S(12), S(24), 1.6f);
}

void drawTeleprompterPanel(Project& project, TeleprompterState& state) {
    if (!state.open) {
        state.windowSize = ImVec2(0, 0);
        return;
    }
    const ImGuiViewport* vp = ImGui::GetMainViewport();
    ImGui::SetNextWindowSize(ImVec2(S(600), S(460)), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowPos(vp->GetCenter(), ImGuiCond_FirstUseEver, ImVec2(0.5f, 0.5f));
    bool visible = ImGui::Begin("Teleprompter", &state.open,
                                ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoCollapse);
    state.windowPos = ImGui::GetWindowPos();
    state.windowSize = ImGui::GetWindowSize();
    if (!visible) {
        ImGui::End();
        return;
    }
    const ThemePalette& p = palette();
    const float fh = ImGui::GetFrameHeight();
    if (roundedButton(state.playing ? "Pause##pp" : "Play##pp", true, S(76)))
        state.playing = !state.playing;
    ImGui::SameLine(0, S(6));
    if (iconButton(Icon::backToStart, "Back to start", false, p.text, fh)) {
        state.scroll = 0;
        state.playing = false;
    }
    ImGui::SameLine(0, S(6));
    if (iconButton(Icon::edit, state.editing ? "Done editing" : "Edit script", state.editing,
                   p.text, fh)) {
        state.playing = false;
        state.editing = !state.editing;
    }
    ImGui::SameLine(0, S(16));
    labelledSlider("Speed", "##speed", project.prompterSpeed, 5, 200);
    ImGui::SameLine(0, S(12));
    labelledSlider("Size", "##psize", project.prompterTextSize, 20, 96);
    ImGui::Dummy(ImVec2(0, S(2)));

    if (state.editing) {
        ImGui::InputTextMultiline("##script", &project.prompterText, ImVec2(-FLT_MIN, -FLT_MIN));
        ImGui::End();
        return;
    }

    ImVec2 pos = ImGui::GetCursorScreenPos();
    ImVec2 size = ImGui::GetContentRegionAvail();
    ImGui::GetWindowDrawList()->AddRectFilled(pos, ImVec2(pos.x + size.x, pos.y + size.y),
                                              kReadingBg, S(10));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(S(28), 0));
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(0, 0));
    ImGui::BeginChild("##read", size, ImGuiChildFlags_AlwaysUseWindowPadding,
                      ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoBackground);
    const float H = ImGui::GetWindowHeight();
    ImFont* big = uiFonts().big ? uiFonts().big : ImGui::GetFont();
    ImGui::PushFont(big, uiScale() * project.prompterTextSize);
    ImGui::Dummy(ImVec2(0, H * kReadingLine));
    if (!project.prompterText.empty()) {
        ImGui::PushStyleColor(ImGuiCol_Text, kReadingText);
        ImGui::PushTextWrapPos(0.0f);
        ImGui::TextUnformatted(project.prompterText.c_str(),
                               project.prompterText.c_str() + project.prompterText.size());
        ImGui::PopTextWrapPos();
        ImGui::PopStyleColor();
    }
    ImGui::Dummy(ImVec2(0, H * kTrailingSpace));
    ImGui::PopFont();
    if (state.playing) {
        // This frame's content height: the library's own maximum lags a frame behind an edit.
        const float maxScroll = std::max(0.0f, ImGui::GetCursorPosY() - H);
        ImGui::SetScrollY(
            advancePrompter(state, project.prompterSpeed, ImGui::GetIO().DeltaTime, maxScroll));
    } else {
        state.scroll = ImGui::GetScrollY();
    }
    const float L = S(project.prompterTextSize) * 1.4f;
    ImVec2 wp = ImGui::GetWindowPos();
    float lineY = wp.y + H * kReadingLine;
    ImGui::GetWindowDrawList()->AddRectFilled(
        ImVec2(wp.x, lineY - 0.15f * L), ImVec2(wp.x + ImGui::GetWindowWidth(), lineY + 0.85f * L),
        colorWithAlpha(p.accent, 0.18f));
    ImGui::EndChild();
    ImGui::PopStyleVar(2);
    ImGui::End();
}
