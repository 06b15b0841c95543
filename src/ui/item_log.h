#pragma once
// Records the items the GUI library submits, by id, so that tests can find a
// control and drive the mouse to it. Off unless a test turns it on.

#include <string>

#include "imgui.h"
#include "imgui_internal.h"

struct LoggedItem {
    ImGuiID id = 0;
    ImRect rect;
    std::string label;
    ImGuiItemStatusFlags status = 0;
};

namespace ItemLog {
// Starts or stops recording on the current context; starting empties the log.
void enable(bool on);
// The item last submitted with this id, or null.
const LoggedItem* find(ImGuiID id);
// First item whose label equals the text, or null.
const LoggedItem* findByLabel(const char* label);
void clear();
}  // namespace ItemLog
