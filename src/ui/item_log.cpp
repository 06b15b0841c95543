// The GUI library's item hooks, compiled into the library itself so that every
// program that links it has them.

#include "ui/item_log.h"

#include <cstdarg>
#include <unordered_map>

namespace {
std::unordered_map<ImGuiID, LoggedItem>& items() {
    static std::unordered_map<ImGuiID, LoggedItem> map;
    return map;
}
}  // namespace

void ItemLog::enable(bool on) {
    items().clear();
    if (ImGuiContext* ctx = ImGui::GetCurrentContext()) {
        ctx->TestEngineHookItems = on;
        ctx->TestEngine = on ? &items() : nullptr;
    }
}

const LoggedItem* ItemLog::find(ImGuiID id) {
    auto it = items().find(id);
    return it == items().end() ? nullptr : &it->second;
}

const LoggedItem* ItemLog::findByLabel(const char* label) {
    for (auto& [id, item] : items())
        if (item.label == label) return &item;
    return nullptr;
}

void ItemLog::clear() { items().clear(); }

void ImGuiTestEngineHook_ItemAdd(ImGuiContext* ctx, ImGuiID id, const ImRect& bb, const ImGuiLastItemData*) {
    if (!ctx->TestEngine || id == 0) return;
    LoggedItem& item = items()[id];
    item.id = id;
    item.rect = bb;
}

void ImGuiTestEngineHook_ItemInfo(ImGuiContext* ctx, ImGuiID id, const char* label,
                                  ImGuiItemStatusFlags flags) {
    if (!ctx->TestEngine || id == 0) return;
    LoggedItem& item = items()[id];
    item.id = id;
    if (label) item.label = label;
    item.status = flags;
}

void ImGuiTestEngineHook_Log(ImGuiContext*, const char*, ...) {}

const char* ImGuiTestEngine_FindItemDebugLabel(ImGuiContext*, ImGuiID id) {
    const LoggedItem* item = ItemLog::find(id);
    return item ? item->label.c_str() : nullptr;
}
