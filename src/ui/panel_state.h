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
    ImU32 badgeColour = 0;  // 0 = no badge
    std::string badgeText;
    int dragMode = 0;  // 0 none, 1 move, 2 resize
    int handle = 0;    // CanvasHandle
    ImVec2 dragStart{0, 0};
    bool dragMoved = false;  // the mouse has left dragStart since the press
    Layer startLayer;

    // Draws the canvas texture fitted into the area and lets the mouse select, move and
    // resize the scene's layers, whose primary rectangles must belong to this canvas.
    // An invalid texture draws an empty canvas. Returns whether the canvas was clicked.
    bool edit(Scene& scene, int& selectedLayer, ImTextureID texture, ImVec2 pos, ImVec2 size,
              ImVec2 referenceSize, const char* caption);
};

struct TeleprompterState {
    bool open = false;
    float scroll = 0;
    ImVec2 windowPos{0, 0};
    ImVec2 windowSize{0, 0};
    bool playing = false;
    bool editing = false;
};

// The note under a destination's card: none, a hint, the URL parser's own
// refusal or the missing-key warning.
enum class NoteKind { None, Hint, Error, Warning };
struct DestinationNote {
    NoteKind kind = NoteKind::None;
    std::string text;
};

// A destination's note with what it was made from: parsing the URL costs
// allocations, so the note is made again only when the URL or the key changes.
struct KeptDestinationNote {
    std::string serverUrl;
    bool keyed = false;
    bool made = false;
    DestinationNote note;
};

struct SettingsWindowState {
    bool open = false;
    int tab = 0;  // 0 Video, 1 Audio, 2 Recording, 3 Destinations, 4 Control
    // The tab drawn last frame; -1 while the window is closed.
    int shownTab = -1;
    std::map<std::string, std::string> typedStreamKeys;
    int addedDestinationCount = 0;
    // By destination id, like the typed keys.
    std::map<std::string, KeptDestinationNote> destinationNotes;
    // The notes the shown tab builds, one after the other, and the control
    // address as its read-only field holds it: kept, so that a frame builds
    // them again in storage it already has.
    std::string noteBuffer;
    std::string shownControlUrl;
};
