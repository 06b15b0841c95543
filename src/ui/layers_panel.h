#pragma once
// The left sidebar: the project's scenes and the active scene's layers. Scene edits
// go straight into the project; a new layer is only asked for (its kind is returned).

#include "project/project.h"

namespace Icon {
constexpr unsigned scene = 0xE58C;
constexpr unsigned add = 0xE3D4;
constexpr unsigned eye = 0xE220;
constexpr unsigned eyeClosed = 0xE224;
}  // namespace Icon

// Returns the LayerKind to add, or -1.
int drawLayersPanel(Project& project, int& selectedLayer);
void drawScenesStrip(Project& project, int& selectedLayer);
void drawLayerRows(Scene& scene, int& selectedLayer);
// A caption-style section title with an add button at the right end; true on its click.
bool sectionHeaderWithButton(const char* title, const char* tooltip);

// Scene operations of the strip, kept apart from the drawing.
void addScene(Project& project, int& selectedLayer);
void duplicateScene(Project& project, int index);
void deleteScene(Project& project, int index, int& selectedLayer);
// True while the scene holds nothing captured yet (only colour, text, chat and counters).
bool offersQuickAdd(const Scene& scene);
