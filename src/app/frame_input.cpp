#include "app/frame_input.h"

#include "imgui.h"
#include "imgui_internal.h"

namespace {

bool keyPressWaiting(const ImGuiContext& g) {
    for (const ImGuiInputEvent& e : g.InputEventsQueue) {
        if (e.Type != ImGuiInputEventType_Key || !e.Key.Down) continue;
        if (!ImGui::IsLRModKey(e.Key.Key) && (e.Key.Key & ImGuiMod_Mask_) == 0) return true;
    }
    return false;
}

}  // namespace

void takeFrameMessages(const std::function<bool(bool withInput)>& takeOne) {
    const ImGuiContext& g = *ImGui::GetCurrentContext();
    const bool withInput = g.InputEventsQueue.empty();
    while (takeOne(withInput)) {
        if (withInput && keyPressWaiting(g)) return;
    }
}
