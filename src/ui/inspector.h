#pragma once
// The inspector: the right-hand column that edits the selected layer in place.
// Edits go straight into the layer; the few things that need the window or the
// media kit come back as InspectorActions for the Studio to carry out.

#include <span>
#include <string>

#include "imgui.h"
#include "media/media.h"
#include "project/project.h"

struct InspectorContext {
    SourceFrame source;  // the selected layer's frame: pixel size and status text
    std::span<const std::string> cameraNames;
    std::span<const std::string> displayNames;
    std::span<const std::string> windowNames;
    ImVec2 canvasSize{kHorizontalDesignWidth, kHorizontalDesignHeight};
    const char* arrangeTitle = "";
};

struct InspectorActions {
    bool chooseLut = false;
    bool chooseImage = false;
    bool refreshSources = false;
};

// The device index of the phone camera in a camera layer.
constexpr int kPhoneCameraIndex = 1000;
constexpr const char* kPhoneCameraName = "Phone (Quillhaven Remote)";
// The open-file filter name of LUT files.
constexpr const char* kLutFilterName = "3D LUT (.cube)";

// "Arrange  ·  Horizontal" or "Arrange  ·  Vertical".
const char* arrangeTitleFor(int canvas);
// Whether a kind has the Filters tab (pictures from a source).
bool layerKindHasFilters(int kind);

void drawLayerInspector(int& inspectorTab, InspectorActions& out, Scene& scene, int& selectedLayer,
                        const InspectorContext& context);

// Rows shared with other panels.
bool pairedInputs(const char* label, float& a, float& b, const char* formatA, const char* formatB,
                  float minimum);
void colorRow(const char* label, float* rgba);
// A pill menu over a list of names; the extra item (when given) has its own index.
bool comboFromList(const char* id, int& index, std::span<const std::string> names,
                   const char* fallback, const char* extraItem = nullptr, int extraIndex = -1);
