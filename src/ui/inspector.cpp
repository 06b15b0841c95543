#include "ui/inspector.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "imgui_stdlib.h"
#include "ui/style.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

constexpr float kMinLayerSize = 16.0f;
constexpr float kMaxCoordinate = 8000.0f;
constexpr float kMinPosition = -4000.0f;
constexpr float kChooseButtonWidth = 72.0f;
constexpr float kCropMaxPercent = 45.0f;
constexpr int kFunctionKeyCount = 12;
// ImGui's ColorEdit flags: inputs hidden, half-alpha preview.
constexpr ImGuiColorEditFlags kColorSquareFlags =
    ImGuiColorEditFlags_NoInputs | ImGuiColorEditFlags_AlphaPreviewHalf;

float S(float v) { return v * uiScale(); }

ImFont* fontOr(ImFont* f) { return f ? f : ImGui::GetFont(); }
// A font of the set at its own size (the current font before the set is loaded).
void pushOwnFont(ImFont* f) {
    f = fontOr(f);
    ImGui::PushFont(f, f->LegacySize);
}

// Wrapped small text in one colour, drawn as text.
void smallNote(ImU32 colour, const std::string& text) {
    pushOwnFont(uiFonts().small);
    ImGui::PushStyleColor(ImGuiCol_Text, colour);
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(text.c_str());
    ImGui::PopTextWrapPos();
    ImGui::PopStyleColor();
    ImGui::PopFont();
}

// The last element of a path, either separator.
std::string_view fileNameOf(std::string_view path) {
    size_t at = path.find_last_of("/\\");
    return at == std::string_view::npos ? path : path.substr(at + 1);
}

// A clipped secondary-colour text in a box of the given width, then the
// "Choose…" button at the column's right end. Returns the button's click.
bool fileChooserRow(const std::string& path, const char* buttonId) {
    const float column = ImGui::CalcItemWidth();
    const float startX = ImGui::GetCursorPosX();
    const std::string_view shown = path.empty() ? std::string_view("None") : fileNameOf(path);
    ImVec2 pos = ImGui::GetCursorScreenPos();
    const float boxW = std::max(0.0f, column - S(78));
    const float h = ImGui::GetFrameHeight();
    ImGui::Dummy(ImVec2(boxW, h));
    if (!path.empty() && ImGui::IsItemHovered(ImGuiHoveredFlags_ForTooltip))
        ImGui::SetTooltip("%s", path.c_str());
    const char* const end = shown.data() + shown.size();
    ImVec2 ts = ImGui::CalcTextSize(shown.data(), end);
    ImVec4 clip(pos.x, pos.y, pos.x + boxW, pos.y + h);
    ImGui::GetWindowDrawList()->AddText(ImGui::GetFont(), ImGui::GetFontSize(),
                                        ImVec2(pos.x, pos.y + (h - ts.y) * 0.5f),
                                        palette().textSecondary, shown.data(), end, 0.0f, &clip);
    ImGui::SameLine();
    ImGui::SetCursorPosX(startX + column - S(kChooseButtonWidth));
    return roundedButton(buttonId, false, S(kChooseButtonWidth));
}


bool sliderRow(const char* label, const char* id, float& value, float min, float max,
               const char* format) {
    fieldRow(label);
    return sliderTrack(id, value, min, max, format);
}

// A slider over a fraction shown as percent.
bool percentSliderRow(const char* label, const char* id, float& fraction, float maxPercent) {
    float v = fraction * 100.0f;
    if (!sliderRow(label, id, v, 0.0f, maxPercent, "%.0f%%")) return false;
    fraction = v / 100.0f;
    return true;
}

void drawLayerHeader(const Layer& layer) {
    const ThemePalette& p = palette();
    const float tile = S(28);
    ImVec2 pos = ImGui::GetCursorScreenPos();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    dl->AddRectFilled(pos, ImVec2(pos.x + tile, pos.y + tile), colorWithAlpha(p.accent, 0.12f),
                      S(7));
    drawCenteredIcon(dl, ImVec2(std::round(pos.x + tile * 0.5f), std::round(pos.y + tile * 0.5f)),
                     layerKindIcon(layer.kind), p.accent, 0);
    ImGui::SetCursorScreenPos(ImVec2(pos.x + S(38), pos.y));
    ImGui::BeginGroup();
    pushOwnFont(uiFonts().semibold);
    ImGui::TextUnformatted(layer.name.c_str());
    ImGui::PopFont();
    char kindLine[64];
    std::snprintf(kindLine, sizeof kindLine, "%s layer", layerKindName(layer.kind));
    smallColoredText(p.textSecondary, kindLine);
    ImGui::EndGroup();
    ImGui::Dummy(ImVec2(0, S(4)));
}

void drawRefreshButton(const char* tooltip, InspectorActions& out) {
    ImGui::SameLine(0.0f, S(6));
    if (iconButton(Icon::refresh, tooltip, false, palette().textSecondary, ImGui::GetFrameHeight()))
        out.refreshSources = true;
}

void drawWindowPicker(Layer& layer, const InspectorContext& ctx, InspectorActions& out) {
    const float column = ImGui::CalcItemWidth();
    const float button = ImGui::GetFrameHeight();
    ImGui::SetNextItemWidth(column - button - S(6));
    const char* shown = layer.source.empty() ? "Choose a window" : layer.source.c_str();
    if (pillMenuButton("##win", shown)) {
        for (const std::string& title : ctx.windowNames)
            if (menuItemRow(title.c_str(), title == layer.source)) layer.source = title;
        endPillMenu();
    }
    drawRefreshButton("Refresh window list", out);
}

void drawSourceSection(Layer& layer, const InspectorContext& ctx, InspectorActions& out) {
    const ThemePalette& p = palette();
    cardTitle("Source");
    beginCard();
    fieldRow("Name");
    ImGui::InputText("##name", &layer.name);
    switch (layer.kind) {
    case LayerKind::Color:
        colorRow("Color", layer.colour.data());
        break;
    case LayerKind::Text: {
        fieldRow("Text");
        bool changed = ImGui::InputTextMultiline("##text", &layer.text,
                                                 ImVec2(ImGui::CalcItemWidth(), S(56)));
        fieldRow("Size");
        changed |= sliderTrack("##fs", layer.fontSize, 16.0f, 400.0f, "%.0f");
        if (changed) layer.recentre();
        colorRow("Color", layer.colour.data());
        break;
    }
    case LayerKind::Image:
        fieldRow("File");
        if (fileChooserRow(layer.source, "Choose\xE2\x80\xA6")) out.chooseImage = true;
        break;
    case LayerKind::Screen:
        fieldRow("Display");
        comboFromList("##scr", layer.deviceIndex, ctx.displayNames, "Display");
        break;
    case LayerKind::Camera: {
        fieldRow("Camera");
        ImGui::SetNextItemWidth(ImGui::CalcItemWidth() - ImGui::GetFrameHeight() - S(6));
        comboFromList("##cam", layer.deviceIndex, ctx.cameraNames, "No camera", kPhoneCameraName,
                      kPhoneCameraIndex);
        drawRefreshButton("Refresh camera list", out);
        fieldRow("Remove background");
        rowEndToggle("##rmbg", layer.removeBackground);
        break;
    }
    case LayerKind::GameOrApp:
        fieldRow("Window");
        drawWindowPicker(layer, ctx, out);
        break;
    case LayerKind::Chat:
        sliderRow("Text size", "##cs", layer.fontSize, 14.0f, 80.0f, "%.0f");
        break;
    case LayerKind::LiveCounter:
        fieldRow("Shows");
        ImGui::InputText("##tpl", &layer.text);
        sliderRow("Text size", "##cs", layer.fontSize, 14.0f, 120.0f, "%.0f");
        colorRow("Color", layer.colour.data());
        break;
    default:
        break;
    }
    endCard();
    if (layer.kind == LayerKind::Chat)
        smallNote(p.textSecondary,
                  "Chat from every destination's YouTube channel (Settings > Destinations), "
                  "newest at the bottom.");
    else if (layer.kind == LayerKind::LiveCounter)
        smallNote(p.textSecondary,
                  "Use {viewers} (all channels), {viewers1}, {viewers2}, {subscribers}, "
                  "{subscribers2}.");
    if (!ctx.source.status.empty()) smallNote(p.warning, ctx.source.status);
}

// Three buttons across the column; returns the index clicked or -1.
int threeButtons(const char* const (&labels)[3]) {
    const float column = ImGui::CalcItemWidth();
    const float w = (column - S(12)) / 3.0f;
    int clicked = -1;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) ImGui::SameLine(0.0f, S(6));
        if (roundedButton(labels[i], false, w)) clicked = i;
    }
    return clicked;
}

void drawPositionSection(Layer& layer, const InspectorContext& ctx) {
    const float W = ctx.canvasSize.x, H = ctx.canvasSize.y;
    cardTitle(ctx.arrangeTitle);
    beginCard();
    pairedInputs("Position", layer.x, layer.y, "X  %.0f", "Y  %.0f", kMinPosition);
    if (pairedInputs("Size", layer.width, layer.height, "W  %.0f", "H  %.0f", kMinLayerSize)) {
        layer.width = std::max(layer.width, kMinLayerSize);
        layer.height = std::max(layer.height, kMinLayerSize);
    }
    percentSliderRow("Opacity", "##op", layer.opacity, 100.0f);
    sliderRow("Corners", "##corner", layer.cornerRadius, 0.0f, 540.0f, "%.0f");
    if (layerKindHasFilters(layer.kind)) {
        static const char* const kScaling[] = {"Stretch", "Fit", "Fill"};
        fieldRow("Scaling");
        segmentedControl("##fit", kScaling, ScalingMode::Count, layer.scaling,
                         ImGui::CalcItemWidth());
    }
    fieldRow("Align");
    const float alignX = ImGui::GetCursorPosX();
    const float column = ImGui::CalcItemWidth();
    static const char* const kHorizontal[] = {"Left", "Centre", "Right"};
    switch (threeButtons(kHorizontal)) {
    case 0: layer.x = 0; break;
    case 1: layer.x = (W - layer.width) / 2; break;
    case 2: layer.x = W - layer.width; break;
    default: break;
    }
    ImGui::SetCursorPosX(alignX);
    ImGui::SetNextItemWidth(column);
    static const char* const kVertical[] = {"Top", "Middle", "Bottom"};
    switch (threeButtons(kVertical)) {
    case 0: layer.y = 0; break;
    case 1: layer.y = (H - layer.height) / 2; break;
    case 2: layer.y = H - layer.height; break;
    default: break;
    }
    fieldRow();
    const float half = (ImGui::CalcItemWidth() - S(6)) / 2;
    if (roundedButton("Fill canvas", false, half)) {
        layer.x = layer.y = 0;
        layer.width = W;
        layer.height = H;
    }
    ImGui::SameLine(0.0f, S(6));
    const SourceFrame& src = ctx.source;
    ImGui::BeginDisabled(src.width <= 0);
    if (roundedButton("Source aspect", false, half) && src.width > 0) {
        if (layer.kind == LayerKind::Text) {
            layer.width = float(src.width);
            layer.height = float(src.height);
        } else {
            layer.height = float(src.height) * layer.width / float(src.width);
        }
    }
    ImGui::EndDisabled();
    endCard();
}

void drawCropMirrorSection(Layer& layer) {
    static const char* const kCropLabels[] = {"Crop left", "Crop top", "Crop right", "Crop bottom"};
    cardTitle("Crop & Mirror");
    beginCard();
    for (int i = 0; i < 4; ++i) {
        ImGui::PushID(i);
        percentSliderRow(kCropLabels[i], "##crop", layer.crop[size_t(i)], kCropMaxPercent);
        ImGui::PopID();
    }
    fieldRow("Mirror");
    rowEndToggle("##flipH", layer.flipH);
    fieldRow("Flip vertical");
    rowEndToggle("##flipV", layer.flipV);
    endCard();
}

// The layer may move, be copied or be erased here: every use after one of
// those fetches it again by index, since the vector may have been reallocated.
void drawLayerSection(Scene& scene, int& selected) {
    const ThemePalette& p = palette();
    cardTitle("Layer");
    beginCard();
    {
        Layer& layer = scene.layers[size_t(selected)];
        fieldRow("Visible");
        rowEndToggle("##vis", layer.visible);
        fieldRow("Locked");
        rowEndToggle("##lock", layer.locked);
        fieldRow("Toggle key");
        char shown[16] = "None";
        if (layer.toggleKey > 0) std::snprintf(shown, sizeof shown, "F%d", layer.toggleKey);
        if (pillMenuButton("##hk", shown)) {
            for (int key = 0; key <= kFunctionKeyCount; ++key) {
                char text[16] = "None";
                if (key > 0) std::snprintf(text, sizeof text, "F%d", key);
                if (menuItemRow(text, key == layer.toggleKey)) layer.toggleKey = key;
            }
            endPillMenu();
        }
    }
    fieldRow("Order");
    const float square = ImGui::GetFrameHeight();
    if (iconButton(Icon::bringForward, "Bring forward", false, p.text, square))
        selected = Scene::moveLayer(scene.layers, selected, +1);
    ImGui::SameLine(0.0f, S(4));
    if (iconButton(Icon::sendBackward, "Send backward", false, p.text, square))
        selected = Scene::moveLayer(scene.layers, selected, -1);
    fieldRow();
    const float half = (ImGui::CalcItemWidth() - S(6)) / 2;
    if (roundedButton("Duplicate", false, half)) selected = scene.duplicateLayer(selected);
    ImGui::SameLine(0.0f, S(6));
    if (roundedButton("Delete", false, half, p.danger))
        selected = Scene::removeLayer(scene.layers, selected);
    endCard();
}

void sectionGap() { ImGui::Dummy(ImVec2(0, S(4))); }

void drawFiltersTab(Layer& layer, InspectorActions& out) {
    cardTitle("Chroma Key");
    beginCard();
    fieldRow("Enabled");
    rowEndToggle("##chroma", layer.chromaKey);
    if (layer.chromaKey) {
        fieldRow("Key color");
        alignRight(ImGui::GetFrameHeight());
        ImGui::ColorEdit3("##key", layer.keyColour.data(), ImGuiColorEditFlags_NoInputs);
        sliderRow("Similarity", "##sim", layer.similarity, 0.0f, 1.0f, "%.2f");
        sliderRow("Smoothness", "##smooth", layer.smoothness, 0.001f, 0.5f, "%.2f");
    }
    endCard();
    sectionGap();

    cardTitle("Color");
    beginCard();
    sliderRow("Brightness", "##br", layer.brightness, -0.5f, 0.5f, "%.2f");
    sliderRow("Contrast", "##ct", layer.contrast, 0.0f, 2.0f, "%.2f");
    sliderRow("Saturation", "##sat", layer.saturation, 0.0f, 2.0f, "%.2f");
    fieldRow();
    if (roundedButton("Reset", false, ImGui::CalcItemWidth())) {
        layer.brightness = 0.0f;
        layer.contrast = 1.0f;
        layer.saturation = 1.0f;
    }
    endCard();
    sectionGap();

    cardTitle("Luma Key");
    beginCard();
    fieldRow("Enabled");
    rowEndToggle("##luma", layer.lumaKey);
    if (layer.lumaKey) {
        sliderRow("Keep above", "##llo", layer.keepAbove, 0.0f, 1.0f, "%.2f");
        sliderRow("Keep below", "##lhi", layer.keepBelow, 0.0f, 1.0f, "%.2f");
        sliderRow("Smoothness", "##lsm", layer.lumaSmoothness, 0.001f, 0.3f, "%.2f");
    }
    endCard();
    sectionGap();

    cardTitle("Look (LUT)");
    beginCard();
    fieldRow("File");
    if (fileChooserRow(layer.lutPath, "Choose\xE2\x80\xA6")) out.chooseLut = true;
    if (!layer.lutPath.empty()) {
        percentSliderRow("Amount", "##lamt", layer.lutAmount, 100.0f);
        fieldRow();
        if (roundedButton("Remove LUT", false, ImGui::CalcItemWidth())) layer.lutPath.clear();
    }
    endCard();
}

}  // namespace

const char* arrangeTitleFor(int canvas) {
    return canvas == 1 ? "Arrange  \xC2\xB7  Vertical" : "Arrange  \xC2\xB7  Horizontal";
}

bool layerKindHasFilters(int kind) {
    return kind == LayerKind::Image || kind == LayerKind::Screen || kind == LayerKind::Camera ||
           kind == LayerKind::GameOrApp;
}

bool pairedInputs(const char* label, float& a, float& b, const char* formatA,
                  const char* formatB, float minimum) {
    fieldRow(label);
    const float w = (ImGui::CalcItemWidth() - S(6)) / 2;
    std::string idA = std::string("##a") + label, idB = std::string("##b") + label;
    ImGui::SetNextItemWidth(w);
    bool changed = ImGui::DragFloat(idA.c_str(), &a, 1.0f, minimum, kMaxCoordinate, formatA);
    ImGui::SameLine(0.0f, S(6));
    ImGui::SetNextItemWidth(w);
    changed |= ImGui::DragFloat(idB.c_str(), &b, 1.0f, minimum, kMaxCoordinate, formatB);
    return changed;
}

void colorRow(const char* label, float* rgba) {
    fieldRow(label);
    alignRight(ImGui::GetFrameHeight());
    std::string id = std::string("##") + label;
    ImGui::ColorEdit4(id.c_str(), rgba, kColorSquareFlags);
}

bool comboFromList(const char* id, int& index, std::span<const std::string> names,
                   const char* fallback, const char* extraItem, int extraIndex) {
    const char* shown = fallback;
    if (extraItem && index == extraIndex)
        shown = extraItem;
    else if (index >= 0 && size_t(index) < names.size())
        shown = names[size_t(index)].c_str();
    bool picked = false;
    if (pillMenuButton(id, shown)) {
        for (size_t i = 0; i < names.size(); ++i)
            if (menuItemRow(names[i].c_str(), int(i) == index)) {
                index = int(i);
                picked = true;
            }
        if (extraItem && menuItemRow(extraItem, index == extraIndex)) {
            index = extraIndex;
            picked = true;
        }
        endPillMenu();
    }
    return picked;
}

void drawLayerInspector(int& inspectorTab, InspectorActions& out, Scene& scene, int& selectedLayer,
                        const InspectorContext& context) {
    const ThemePalette& p = palette();
    if (selectedLayer < 0 || size_t(selectedLayer) >= scene.layers.size()) {
        const char* title = "No Layer Selected";
        pushOwnFont(uiFonts().heading);
        const float avail = ImGui::GetContentRegionAvail().x;
        ImGui::SetCursorPosY(ImGui::GetCursorPosY() + ImGui::GetContentRegionAvail().y * 0.42f);
        ImGui::SetCursorPosX(ImGui::GetCursorPosX() +
                             std::max(0.0f, (avail - ImGui::CalcTextSize(title).x) * 0.5f));
        ImGui::TextUnformatted(title);
        ImGui::PopFont();
        const float left = ImGui::GetCursorPosX();
        ImGui::SetCursorPosX(left + S(24));
        pushOwnFont(uiFonts().small);
        ImGui::PushStyleColor(ImGuiCol_Text, p.textSecondary);
        ImGui::PushTextWrapPos(left + avail - S(24));
        ImGui::TextUnformatted("Choose a layer in the sidebar or click it in the preview.");
        ImGui::PopTextWrapPos();
        ImGui::PopStyleColor();
        ImGui::PopFont();
        return;
    }
    Layer& layer = scene.layers[size_t(selectedLayer)];
    drawLayerHeader(layer);
    if (!layerKindHasFilters(layer.kind)) {
        inspectorTab = 0;
    } else {
        static const char* const kTabs[] = {"Layer", "Filters"};
        segmentedControl("##tabs", kTabs, 2, inspectorTab);
        ImGui::Dummy(ImVec2(0, S(4)));
    }
    if (inspectorTab == 1) {
        drawFiltersTab(layer, out);
        return;
    }
    drawSourceSection(layer, context, out);
    drawPositionSection(layer, context);
    if (layerKindHasFilters(layer.kind)) drawCropMirrorSection(layer);
    drawLayerSection(scene, selectedLayer);
}
