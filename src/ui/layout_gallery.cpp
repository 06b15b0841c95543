#include "ui/layout_gallery.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "imgui_internal.h"
#include "project/layout_presets.h"
#include "ui/style.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

// Design pixels of the strip.
constexpr float kPaddingX = 16.0f;
constexpr float kPaddingY = 8.0f;
constexpr float kCaptionRoom = 28.0f;
constexpr float kTileExtra = 22.0f;  // caption under the thumbnail
constexpr float kCaptionGap = 6.0f;
constexpr float kMinTileWidth = 84.0f;
constexpr float kTileGap = 10.0f;
constexpr float kGroupGap = 24.0f;
constexpr float kWheelStep = 80.0f;
constexpr float kFadeWidth = 48.0f;
constexpr int kShortcutPresets = 9;  // Ctrl+1 .. Ctrl+9
constexpr int kSavedIdBase = 1000;
constexpr unsigned kSaveGlyph = 0xE3D4;

ImFont* fontOr(ImFont* f) { return f ? f : ImGui::GetFont(); }

ImVec2 offset(ImVec2 a, float x, float y) { return ImVec2(a.x + x, a.y + y); }

// Caption centred under a thumbnail of height t in a tile at `at`; a caption wider
// than the tile ends in an ellipsis.
void drawTileCaption(ImVec2 at, float width, float t, const char* text, ImU32 colour) {
    const float s = uiScale();
    ImFont* f = fontOr(uiFonts().small);
    ImGui::PushFont(f, f->LegacySize);
    const ImVec2 ts = ImGui::CalcTextSize(text);
    const float y = at.y + t + kCaptionGap * s;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    if (ts.x <= width) {
        dl->AddText(ImVec2(std::floor(at.x + (width - ts.x) * 0.5f), y), colour, text);
    } else {
        ImGui::PushStyleColor(ImGuiCol_Text, colour);
        const ImVec2 end(at.x + width, y + ts.y);
        ImGui::RenderTextEllipsis(dl, ImVec2(at.x, y), end, end.x, text, nullptr, &ts);
        ImGui::PopStyleColor();
    }
    ImGui::PopFont();
}

// An outline `out` pixels outside the thumbnail.
void outlineThumbnail(ImVec2 origin, ImVec2 size, float out, ImU32 colour, float radius,
                      float thickness) {
    ImGui::GetWindowDrawList()->AddRect(offset(origin, -out, -out),
                                        offset(origin, size.x + out, size.y + out), colour, radius,
                                        0, thickness);
}

}  // namespace

std::vector<Scene> buildLayoutPreviews() {
    const Layer screen = makeLayer(LayerKind::Screen, "s");
    const Layer a = makeLayer(LayerKind::Camera, "a");
    const Layer b = makeLayer(LayerKind::Camera, "b");
    std::vector<Scene> scenes(LayoutPreset::Count);
    for (int n = 0; n < LayoutPreset::Count; ++n) {
        Scene& scene = scenes[size_t(n)];
        scene.name = "sample";
        scene.layers = {screen, a, b};
        applyLayoutPreset(scene, n);
    }
    return scenes;
}

const std::vector<Scene>& layoutPreviews() {
    static const std::vector<Scene> scenes = buildLayoutPreviews();
    return scenes;
}

bool layoutTile(float width, ImVec2 thumbnail, const char* caption, bool selected,
                ImVec2& thumbnailOrigin, bool& hovered) {
    const float s = uiScale();
    const ImVec2 at = ImGui::GetCursorScreenPos();
    const bool clicked = ImGui::InvisibleButton("##l", ImVec2(width, thumbnail.y + kTileExtra * s));
    hovered = ImGui::IsItemHovered();
    if (hovered) ImGui::SetMouseCursor(ImGuiMouseCursor_Hand);
    thumbnailOrigin = ImVec2(std::floor(at.x + (width - thumbnail.x) * 0.5f), at.y);
    const ThemePalette& p = palette();
    drawTileCaption(at, width, thumbnail.y, caption, selected ? p.accent : p.textSecondary);
    return clicked;
}

void drawLayoutThumbnail(ImVec2 origin, ImVec2 size, const std::vector<Layer>& layers,
                         bool vertical, bool selected) {
    const float s = uiScale();
    const ThemePalette& p = palette();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const ImVec2 end = offset(origin, size.x, size.y);
    dl->AddRectFilled(origin, end, p.frame, 4.0f * s);
    const float g = size.x / (vertical ? kVerticalDesignWidth : kHorizontalDesignWidth);
    for (const Layer& layer : layers) {
        const LayerRect r = vertical ? layer.secondRect() : layer.primaryRect();
        if (!r.visible || r.width <= 0) continue;
        ImU32 colour = 0;
        float radius = std::min(layer.cornerRadius * g, 3.0f * s);
        if (layer.tag == "card") {
            colour = shadowColorWithAlpha(28);
            radius = 4.0f * s;
        } else if (layer.kind == LayerKind::Screen || layer.kind == LayerKind::GameOrApp) {
            colour = shadowColorWithAlpha(40);
        } else if (layer.kind == LayerKind::Camera) {
            colour = selected ? p.accent : shadowColorWithAlpha(110);
        } else if (layer.tag.empty()) {
            colour = shadowColorWithAlpha(18);
        } else {
            continue;  // the title card's text: drawn as a bar below
        }
        const ImVec2 a(std::max(origin.x, origin.x + r.x * g), std::max(origin.y, origin.y + r.y * g));
        const ImVec2 b(std::min(end.x, origin.x + (r.x + r.width) * g),
                       std::min(end.y, origin.y + (r.y + r.height) * g));
        if (a.x < b.x && a.y < b.y) dl->AddRectFilled(a, b, colour, radius);
    }
    for (const Layer& layer : layers) {
        if (layer.tag != "cardtext" || !(vertical ? layer.verticalVisible : layer.visible)) continue;
        const float w = size.x * 0.56f, h = 3.0f * s;
        const ImVec2 a(origin.x + (size.x - w) * 0.5f, origin.y + (size.y - h) * 0.5f);
        dl->AddRectFilled(a, offset(a, w, h), shadowColorWithAlpha(150), 2.0f * s);
    }
}

LayoutGalleryActions drawLayoutGallery(ImVec2 pos, ImVec2 size, int current, bool vertical,
                                       const std::vector<SavedLayout>& savedLayouts) {
    LayoutGalleryActions actions;
    const float s = uiScale();
    const ThemePalette& p = palette();
    ImGui::SetCursorScreenPos(pos);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(kPaddingX * s, kPaddingY * s));
    ImGui::PushStyleVar(ImGuiStyleVar_ScrollbarSize, 6.0f * s);
    ImGui::BeginChild("##layouts", size, ImGuiChildFlags_AlwaysUseWindowPadding,
                      ImGuiWindowFlags_HorizontalScrollbar | ImGuiWindowFlags_NoScrollWithMouse);
    const ImGuiIO& io = ImGui::GetIO();
    if (ImGui::IsWindowHovered() && io.MouseWheel != 0)
        ImGui::SetScrollX(ImGui::GetScrollX() - kWheelStep * s * io.MouseWheel);

    const std::vector<Scene>& previews = layoutPreviews();
    const float t = std::max(1.0f, size.y - (2 * kPaddingY + kCaptionRoom) * s);
    const float m = vertical ? t * 9.0f / 16.0f : t * 16.0f / 9.0f;
    const float w = std::max(m, kMinTileWidth * s);
    const ImVec2 thumb(m, t);
    ImDrawList* dl = ImGui::GetWindowDrawList();

    if (current < 0) {
        const ImVec2 at = ImGui::GetCursorScreenPos();
        ImGui::Dummy(ImVec2(w, t + kTileExtra * s));
        if (ImGui::IsItemHovered()) ImGui::SetTooltip("Arranged by hand. Pick a layout to replace it.");
        const ImVec2 origin(std::floor(at.x + (w - m) * 0.5f), at.y);
        dl->AddRectFilled(origin, offset(origin, m, t), p.frame, 4.0f * s);
        outlineThumbnail(origin, thumb, 2.0f * s, p.accent, 5.0f * s, 2.0f * s);
        drawTileCaption(at, w, t, "Custom", p.accent);
    }

    ImVec2 origin;
    bool hovered = false;
    for (int n = 0; n < LayoutPreset::Count; ++n) {
        if (n > 0 || current < 0) ImGui::SameLine(0, kTileGap * s);
        const bool selected = n == current;
        const char* name = layoutPresetName(n);
        ImGui::PushID(n);
        if (layoutTile(w, thumb, name, selected, origin, hovered)) actions.applyPreset = n;
        ImGui::PopID();
        if (hovered && n < kShortcutPresets) ImGui::SetTooltip("%s  (Ctrl+%d)", name, n + 1);
        drawLayoutThumbnail(origin, thumb, previews[size_t(n)].layers, vertical, selected);
        if (selected)
            outlineThumbnail(origin, thumb, 2.0f * s, p.accent, 5.0f * s, 2.0f * s);
        else if (hovered)
            outlineThumbnail(origin, thumb, 1.0f * s, p.border, 5.0f * s, 1.0f * s);
    }

    for (size_t j = 0; j < savedLayouts.size(); ++j) {
        const SavedLayout& saved = savedLayouts[j];
        ImGui::SameLine(0, (j == 0 ? kGroupGap : kTileGap) * s);
        ImGui::PushID(kSavedIdBase + int(j));
        if (layoutTile(w, thumb, saved.name.c_str(), false, origin, hovered))
            actions.applySaved = int(j);
        if (hovered)
            ImGui::SetTooltip("%s\nYour saved layout. Right-click to delete.", saved.name.c_str());
        if (ImGui::BeginPopupContextItem("##mine")) {
            if (ImGui::MenuItem("Delete layout")) actions.deleteSaved = int(j);
            ImGui::EndPopup();
        }
        ImGui::PopID();
        drawLayoutThumbnail(origin, thumb, saved.layers, vertical, false);
        if (hovered) outlineThumbnail(origin, thumb, 1.0f * s, p.border, 5.0f * s, 1.0f * s);
    }

    ImGui::SameLine(0, (savedLayouts.empty() ? kGroupGap : kTileGap) * s);
    ImGui::PushID("##save");
    actions.save = layoutTile(w, thumb, "Save layout", false, origin, hovered);
    ImGui::PopID();
    if (hovered)
        ImGui::SetTooltip("Save where everything sits in this scene, on both canvases.\n"
                          "It shows up here for one-click reuse.");
    dl->AddRect(origin, offset(origin, m, t), hovered ? p.accent : p.border, 4.0f * s, 0, 1.5f * s);
    drawCenteredIcon(dl, offset(origin, m * 0.5f, t * 0.5f), kSaveGlyph,
                     hovered ? p.accent : p.textSecondary, 0.0f);

    if (ImGui::GetScrollMaxX() - ImGui::GetScrollX() > 1.0f) {
        const ImVec2 wp = ImGui::GetWindowPos(), ws = ImGui::GetWindowSize();
        const ImVec2 a(wp.x + ws.x - kFadeWidth * s, wp.y), b(wp.x + ws.x, wp.y + ws.y);
        const ImU32 clear = p.windowBg & 0x00FFFFFFu;
        dl->PushClipRect(wp, b, false);
        dl->AddRectFilledMultiColor(a, b, clear, p.windowBg, p.windowBg, clear);
        dl->PopClipRect();
    }
    ImGui::EndChild();
    ImGui::PopStyleVar(2);
    return actions;
}
