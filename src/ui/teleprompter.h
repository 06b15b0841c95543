#pragma once
// The teleprompter window: the presenter's script in large type, scrolling at a set
// speed past a highlighted reading band.

#include "imgui.h"
#include "project/project.h"
#include "ui/panel_state.h"

namespace Icon {
constexpr unsigned backToStart = 0xE038;
constexpr unsigned edit = 0xE3B4;
}  // namespace Icon

void drawTeleprompterPanel(Project& project, TeleprompterState& state);
// The window's soft shadow, drawn on the root window's draw list beneath it.
void drawTeleprompterShadow(ImDrawList* dl, const TeleprompterState& state);
bool labelledSlider(const char* label, const char* id, float& value, float min, float max);

// One frame of playback: advances the scroll by speed (design pixels per second) and
// stops at the end. Returns the new scroll.
float advancePrompter(TeleprompterState& state, float speed, float deltaSeconds, float maxScroll);
