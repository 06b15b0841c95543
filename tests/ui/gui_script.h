#pragma once
// Scripted input for panels: items found by their id path inside a window,
// clicks, typed text and keys. `frame` draws one whole GUI frame.

#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <variant>

#include "ui/headless_gui.h"

class GuiScript {
public:
    GuiScript(HeadlessGui& gui, std::function<void()> frame) : gui_(gui), frame_(std::move(frame)) {}

    void frame() { frame_(); }
    void frames(int n) {
        for (int i = 0; i < n; ++i) frame();
    }

    // The window whose name is this or begins with it (child windows carry a suffix).
    static ImGuiWindow* window(const char* namePrefix) {
        for (ImGuiWindow* w : GImGui->Windows)
            if (std::strncmp(w->Name, namePrefix, std::strlen(namePrefix)) == 0) return w;
        return nullptr;
    }
    // The first window whose name holds this (a child window's name holds its own).
    static ImGuiWindow* windowContaining(const char* part) {
        for (ImGuiWindow* w : GImGui->Windows)
            if (std::strstr(w->Name, part)) return w;
        return nullptr;
    }
    // The id of an item made in the window inside the given scopes (strings or ints).
    using Scope = std::variant<const char*, int>;
    static ImGuiID id(const char* windowPrefix, std::initializer_list<Scope> path) {
        ImGuiWindow* w = window(windowPrefix);
        if (!w) return 0;
        ImGuiID seed = w->ID;
        for (const Scope& s : path) {
            if (const char* const* text = std::get_if<const char*>(&s))
                seed = ImHashStr(*text, 0, seed);
            else
                seed = ImHashData(&std::get<int>(s), sizeof(int), seed);
        }
        return seed;
    }

    bool exists(ImGuiID id) const { return ItemLog::find(id) != nullptr; }
    void click(ImGuiID id) { clickAt(HeadlessGui::centreOf(id)); }
    // The first item with this label (unique labels only).
    void clickLabel(const char* label) {
        const LoggedItem* item = ItemLog::findByLabel(label);
        clickAt(item ? item->rect.GetCenter() : ImVec2(-1000, -1000));
    }
    void clickAt(ImVec2 p) {
        gui_.mouseTo(p);
        frame();
        gui_.mouseDown();
        frame();
        gui_.mouseUp();
        frame();
        gui_.mouseTo(ImVec2(-100, -100));
        frame();
    }
    void type(const std::string& text) {
        ImGui::GetIO().AddInputCharactersUTF8(text.c_str());
        frame();
    }
    void key(ImGuiKey k, bool ctrl = false) {
        ImGuiIO& io = ImGui::GetIO();
        if (ctrl) io.AddKeyEvent(ImGuiMod_Ctrl, true);
        io.AddKeyEvent(k, true);
        frame();
        io.AddKeyEvent(k, false);
        if (ctrl) io.AddKeyEvent(ImGuiMod_Ctrl, false);
        frame();
    }
    // Clicks a text field, selects all it holds and types the text in its place.
    void replaceText(ImGuiID field, const std::string& text) {
        click(field);
        key(ImGuiKey_A, true);
        type(text);
    }

private:
    HeadlessGui& gui_;
    std::function<void()> frame_;
};
