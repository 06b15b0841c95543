#pragma once
// The strip of layout tiles under the preview: the sixteen presets drawn from sample
// scenes, "Custom" while the scene is arranged by hand, the saved layouts and a
// "Save layout" tile. It changes nothing itself; the caller carries out what it returns.

#include <vector>

#include "imgui.h"
#include "project/project.h"

struct LayoutGalleryActions {
    int applyPreset = -1;  // the preset clicked
    int applySaved = -1;   // index of the saved layout clicked
    int deleteSaved = -1;  // index of the saved layout whose "Delete layout" was chosen
    bool save = false;     // "Save layout" was clicked
};

// `current` is the scene's layoutPreset; `vertical` draws the thumbnails from the
// second rectangles in a 9:16 frame. Lengths are pixels.
LayoutGalleryActions drawLayoutGallery(ImVec2 pos, ImVec2 size, int current, bool vertical,
                                       const std::vector<SavedLayout>& savedLayouts);

// One sample scene per preset, built on first use and kept for the process's life.
const std::vector<Scene>& layoutPreviews();
std::vector<Scene> buildLayoutPreviews();

// A tile: an invisible button "##l" of the width and the thumbnail's height plus the
// caption's, with the caption under the thumbnail. Gives the thumbnail's origin and
// whether the tile is hovered.
bool layoutTile(float width, ImVec2 thumbnail, const char* caption, bool selected,
                ImVec2& thumbnailOrigin, bool& hovered);

// The miniature of a scene's layers: primary rectangles, or the second ones when vertical.
void drawLayoutThumbnail(ImVec2 origin, ImVec2 size, const std::vector<Layer>& layers,
                         bool vertical, bool selected);
