#pragma once
// State records of the panels that the Studio keeps between frames.

#include <map>
#include <string>

#include "imgui.h"
#include "project/project.h"

// A rectangle in client-area pixels.
struct TitleRect {
    float left = 0, top = 0, right = 0, bottom = 0;
};

// Canvas-editor state of one canvas.
struct CanvasView {
    ImU32 badgeColour = 0;
    const char* badgeText = "";
    int dragMode = 0;  // 0 none, 1 move, 2 resize
    int handle = 0;
    ImVec2 dragStart{0, 0};
    Layer startLayer;
};

struct TeleprompterState {
    bool open = false;
    float scroll = 0;
    ImVec2 windowPos{0, 0};
    ImVec2 windowSize{0, 0};
    bool playing = false;
    bool editing = false;
};

struct SettingsWindowState {
    bool open = false;
    int tab = 0;  // 0 Video, 1 Audio, 2 Recording, 3 Destinations, 4 Control
    std::map<std::string, std::string> typedStreamKeys;
    int addedDestinationCount = 0;
};
