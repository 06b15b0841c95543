#pragma once
// Built-in layout presets, title cards and saved layouts. Every function here works on a
// scene whose horizontal rectangles sit in the primary slot and writes the vertical canvas
// into the second rectangle; callers editing the vertical canvas swap back first.

#include <string>
#include <vector>

#include "project/project.h"

// Preset numbers as stored in Scene::layoutPreset.
namespace LayoutPreset {
enum : int {
    JustMe = 0,
    ScreenCam = 1,
    CamScreen = 2,
    ScreenTile = 3,
    TileScreen = 4,
    SideBySide = 5,
    SideBySide2 = 6,
    ScreenFocus = 7,
    Presenter = 8,
    Presenter2 = 9,
    PodcastRow = 10,
    PodcastGrid = 11,
    Dynamic = 12,
    StartingSoon = 13,
    BeRightBack = 14,
    ThanksForWatching = 15,
};
constexpr int Count = 16;
}  // namespace LayoutPreset

// A box in design units of one canvas.
struct LayoutRect {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;

    bool operator==(const LayoutRect&) const = default;
};

// "Just me" .. "Thanks for watching"; "" outside 0..15.
const char* layoutPresetName(int n);

// 1 for a scene holding a screen or window capture, plus 2 per camera; Dynamic is re-applied
// whenever this changes.
int layoutSignature(const Scene& scene);

// Arranges the scene by preset n (0..15) on both canvases and records n as its preset.
// Any other n changes nothing.
void applyLayoutPreset(Scene& scene, int n);

// Shows (on) or hides the full-screen title card of preset n (13..15).
void setTitleCard(Scene& scene, int n, bool on);

// Puts a rectangle on one canvas (0 primary, 1 second), shows the layer there and sets
// the corner radius shared by both canvases.
void setLayerRect(Layer& layer, int canvas, const LayoutRect& rect, float corner);

// `count` boxes side by side or stacked within r, 24 units apart.
std::vector<LayoutRect> splitRect(const LayoutRect& r, int count, bool sideBySide);

// `count` cells in rows of `columns`; the last row may hold fewer, wider cells.
std::vector<LayoutRect> gridCells(const LayoutRect& r, int count, int columns);

// Splits r into one box per camera; camera i gets box i on that canvas with corner 24.
void placeCameras(const std::vector<Layer*>& cameras, int canvas, const LayoutRect& r,
                  bool sideBySide);

// A named full copy of the scene's layers.
SavedLayout makeSavedLayout(const Scene& scene, const std::string& name);

// Copies the saved arrangement onto matching layers (same kind and name first, then same
// kind) and marks the scene as arranged by hand. No layer is added or removed.
void applySavedLayout(Scene& scene, const SavedLayout& saved);
