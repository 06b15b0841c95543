#include "ui/widgets.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "imgui_internal.h"
#include "project/project.h"
#include "ui/style.h"

namespace {

struct CardState {
    ImVec2 origin;
    float startX = 0;
    float width = 0;
    int rowCount = 0;
    ImDrawListSplitter splitter;
} gCard;

bool gPillMenuOpen = false;
int gMenuRowCount = 0;

float S(float v) { return v * uiScale(); }

// UTF-8 text of one code point.
struct GlyphText {
    char bytes[5] = {};
};
GlyphText glyphText(unsigned cp) {
    GlyphText g;
    ImTextCharToUtf8(g.bytes, cp);
    return g;
}

// A font of the set, or the current one before the set is loaded.
ImFont* orCurrent(ImFont* f) { return f ? f : ImGui::GetFont(); }
ImFont* iconFont() { return orCurrent(uiFonts().icons); }
ImFont* semiboldFont() { return orCurrent(uiFonts().semibold); }
ImFont* bodyFont() { return orCurrent(uiFonts().body); }
ImFont* smallFont() { return orCurrent(uiFonts().small); }

ImVec2 textSize(ImFont* font, float size, const char* text, const char* end = nullptr) {
    return font->CalcTextSizeA(size, FLT_MAX, 0.0f, text, end);
}

bool itemDisabled() { return (GImGui->CurrentItemFlags & ImGuiItemFlags_Disabled) != 0; }

void handCursorIfHovered(bool hovered) {
    if (hovered && !itemDisabled()) ImGui::SetMouseCursor(ImGuiMouseCursor_Hand);
}

ImVec2 floorVec(ImVec2 v) { return ImVec2(std::floor(v.x), std::floor(v.y)); }

}  // namespace

float animateTowards(ImGuiID key, float target, float speed) {
    ImGuiStorage* st = ImGui::GetStateStorage();
    float* v = st->GetFloatRef(key, target);
    float step = std::min(1.0f, speed * ImGui::GetIO().DeltaTime);
    *v += (target - *v) * step;
    return *v;
}

float hoverValue(ImGuiID id, bool on, float speed) {
    return animateTowards(id ^ kHoverKeySalt, on ? 1.0f : 0.0f, speed);
}

void drawSoftShadow(ImDrawList* dl, ImVec2 min, ImVec2 max, float radius, float spread,
                    float strength) {
    for (int n = 10; n >= 1; --n) {
        float f = n / 10.0f;
        float h = f * spread;
        float dy = 0.3f * spread;
        int alpha = int(((1.0f - f) * 5.0f + 1.5f) * strength);
        if (alpha <= 0) continue;
        dl->AddRectFilled(ImVec2(min.x - h, min.y - h + dy), ImVec2(max.x + h, max.y + h + dy),
                          IM_COL32(0, 0, 0, std::min(alpha, 255)), radius + h);
    }
}

void drawCenteredIcon(ImDrawList* dl, ImVec2 centre, unsigned glyph, ImU32 colour, float size) {
    ImFont* f = iconFont();
    if (size <= 0) size = f->LegacySize;
    GlyphText g = glyphText(glyph);
    ImVec2 sz = textSize(f, size, g.bytes);
    dl->AddText(f, size, floorVec(ImVec2(centre.x - sz.x * 0.5f, centre.y - sz.y * 0.5f)), colour,
                g.bytes);
}

void drawFocusRing(float radius) {
    ImGuiContext& g = *GImGui;
    if (g.NavId == 0 || g.NavId != g.LastItemData.ID || !g.NavCursorVisible) return;
    float o = S(3);
    ImRect r = g.LastItemData.Rect;
    ImGui::GetWindowDrawList()->AddRect(ImVec2(r.Min.x - o, r.Min.y - o),
                                        ImVec2(r.Max.x + o, r.Max.y + o),
                                        colorWithAlpha(palette().accent, 0.55f), o + S(radius), 0,
                                        S(3));
}

void smallColoredText(ImU32 colour, const char* text) {
    ImFont* f = smallFont();
    ImGui::PushFont(f, f->LegacySize);
    ImGui::PushStyleColor(ImGuiCol_Text, colour);
    ImGui::TextUnformatted(text);
    ImGui::PopStyleColor();
    ImGui::PopFont();
}

void fieldLabel(const char* text) {
    ImGui::SetCursorPosX(ImGui::GetCursorPosX() + S(8));
    ImGui::PushFont(semiboldFont(), S(12.5f));
    ImGui::PushStyleColor(ImGuiCol_Text, palette().textSecondary);
    ImGui::TextUnformatted(text);
    ImGui::PopStyleColor();
    ImGui::PopFont();
    ImGui::Dummy(ImVec2(0, S(12.5f)));
}

bool roundedButton(const char* label, bool primary, float width, ImU32 textColour) {
    const ThemePalette& p = palette();
    ImFont* f = semiboldFont();
    float fs = f->LegacySize;
    const char* shownEnd = ImGui::FindRenderedTextEnd(label);
    ImVec2 ts = textSize(f, fs, label, shownEnd);
    ImVec2 size(width > 0 ? width : ts.x + S(28), ImGui::GetFrameHeight());
    ImVec2 pos = ImGui::GetCursorScreenPos();
    bool clicked = ImGui::InvisibleButton(label, size);
    bool hovered = ImGui::IsItemHovered();
    bool held = ImGui::IsItemActive();
    bool disabled = itemDisabled();
    float hv = hoverValue(ImGui::GetItemID(), hovered || held);
    ImU32 fill;
    const ImU32 askedText = textColour;
    if (disabled) {
        fill = p.frameHover;
        textColour = colorWithAlpha(p.textSecondary, 0.7f);
    } else if (primary) {
        ImU32 pressed = lerpColor(p.accent, p.text, 0.18f);
        fill = held ? pressed : lerpColor(p.accent, pressed, hv);
        textColour = textOnAccent();
    } else {
        fill = held ? p.frameActive : lerpColor(p.frameHover, p.frameActive, hv);
        textColour = p.text;
    }
    if (askedText != 0 && !disabled) textColour = askedText;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    ImVec2 end(pos.x + size.x, pos.y + size.y);
    dl->AddRectFilled(pos, end, fill, S(8));
    dl->AddText(f, fs, floorVec(ImVec2(pos.x + (size.x - ts.x) * 0.5f, pos.y + (size.y - ts.y) * 0.5f)),
                textColour, label, shownEnd);
    handCursorIfHovered(hovered);
    drawFocusRing(8);
    return clicked;
}

bool iconButton(unsigned glyph, const char* tooltip, bool active, ImU32 colour, float size) {
    const ThemePalette& p = palette();
    if (size <= 0) size = S(28);
    ImGui::PushID(int(glyph));
    ImGui::PushID(tooltip ? tooltip : "");
    ImVec2 pos = ImGui::GetCursorScreenPos();
    bool clicked = ImGui::InvisibleButton("##ib", ImVec2(size, size));
    bool hovered = ImGui::IsItemHovered();
    float hv = hoverValue(ImGui::GetItemID(), hovered || active);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    ImVec2 end(pos.x + size, pos.y + size);
    if (hv > 0.01f) dl->AddRectFilled(pos, end, colorWithAlpha(p.frameHover, hv), S(7));
    drawCenteredIcon(dl, ImVec2(pos.x + size * 0.5f, pos.y + size * 0.5f), glyph,
                     active ? p.accent : colour, 0);
    if (tooltip && *tooltip && ImGui::IsItemHovered(ImGuiHoveredFlags_ForTooltip))
        ImGui::SetTooltip("%s", tooltip);
    drawFocusRing(7);
    ImGui::PopID();
    ImGui::PopID();
    return clicked;
}

bool toggleSwitch(const char* id, bool& value) {
    const ThemePalette& p = palette();
    float w = S(38), h = S(22);
    float itemH = std::max(ImGui::GetFrameHeight(), h);
    ImVec2 pos = ImGui::GetCursorScreenPos();
    bool clicked = ImGui::InvisibleButton(id, ImVec2(w, itemH));
    if (clicked) value = !value;
    bool hovered = ImGui::IsItemHovered();
    float t = animateTowards(ImGui::GetItemID(), value ? 1.0f : 0.0f, 16.0f);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    float top = pos.y + (itemH - h) * 0.5f;
    dl->AddRectFilled(ImVec2(pos.x, top), ImVec2(pos.x + w, top + h),
                      lerpColor(p.frameActive, p.success, t), h * 0.5f);
    ImVec2 knob(pos.x + S(11) + t * S(16), top + h * 0.5f);
    dl->AddCircleFilled(ImVec2(knob.x, knob.y + 1), S(9), 0x1E000000u, 32);
    dl->AddCircleFilled(knob, S(9), IM_COL32_WHITE, 32);
    handCursorIfHovered(hovered);
    drawFocusRing(11);
    return clicked;
}

bool rowEndToggle(const char* id, bool& value) {
    alignRight(S(32));
    return toggleSwitch(id, value);
}

bool segmentedControl(const char* id, const char* const* labels, int count, int& value,
                      float width) {
    if (count <= 0) return false;
    const ThemePalette& p = palette();
    if (width <= 0) width = ImGui::GetContentRegionAvail().x;
    float h = ImGui::GetFrameHeight();
    float segW = width / count;
    ImVec2 pos = ImGui::GetCursorScreenPos();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    ImGuiID controlId = ImGui::GetID(id);
    dl->AddRectFilled(pos, ImVec2(pos.x + width, pos.y + h), p.frame, S(8));
    float m = animateTowards(controlId, float(value), 18.0f);
    float x = pos.x + S(2) + m * segW;
    ImVec2 a(x, pos.y + S(2)), b(x + segW - S(4), pos.y + h - S(2));
    bool dark = isDarkMode();
    dl->AddRectFilled(ImVec2(a.x, a.y + 1), ImVec2(b.x, b.y + 1), dark ? 0x3C000000u : 0x12000000u,
                      S(6));
    dl->AddRectFilled(a, b, dark ? p.frameActive : p.popupBg, S(6));
    bool changed = false;
    ImGui::PushID(id);
    ImFont* cur = ImGui::GetFont();
    float fs = ImGui::GetFontSize();
    for (int i = 0; i < count; ++i) {
        ImGui::PushID(i);
        ImVec2 sp(pos.x + i * segW, pos.y);
        ImGui::SetCursorScreenPos(sp);
        if (ImGui::InvisibleButton("##seg", ImVec2(segW, h)) && i != value) {
            value = i;
            changed = true;
        }
        handCursorIfHovered(ImGui::IsItemHovered());
        ImFont* f = i == value ? semiboldFont() : cur;
        ImVec2 ts = textSize(f, fs, labels[i]);
        dl->AddText(f, fs, floorVec(ImVec2(sp.x + (segW - ts.x) * 0.5f, sp.y + (h - ts.y) * 0.5f)),
                    p.text, labels[i]);
        ImGui::PopID();
    }
    ImGui::PopID();
    ImGui::SetCursorScreenPos(pos);
    ImGui::Dummy(ImVec2(width, h));
    return changed;
}

bool sliderTrack(const char* id, float& value, float min, float max, const char* format) {
    const ThemePalette& p = palette();
    float itemW = ImGui::CalcItemWidth();
    float trackW = std::max(S(40), itemW - S(46) - S(8));
    float h = ImGui::GetFrameHeight();
    float r = S(8.5f);
    ImGui::PushID(id);
    ImVec2 pos = ImGui::GetCursorScreenPos();
    ImGui::InvisibleButton("##track", ImVec2(trackW, h));
    bool held = ImGui::IsItemActive();
    bool changed = false;
    if (held) {
        float span = trackW - 2 * r;
        float t = span > 0 ? (ImGui::GetIO().MousePos.x - pos.x - r) / span : 0.0f;
        t = std::clamp(t, 0.0f, 1.0f);
        float v = t >= 1.0f ? max : (t <= 0.0f ? min : min + t * (max - min));
        if (v != value) {
            value = v;
            changed = true;
        }
    }
    float range = max - min;
    float t = range != 0 ? std::clamp((value - min) / range, 0.0f, 1.0f) : 0.0f;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    float cy = pos.y + h * 0.5f;
    float x0 = pos.x + r, x1 = pos.x + trackW - r;
    float kx = x0 + t * (x1 - x0);
    dl->AddRectFilled(ImVec2(x0, cy - S(2)), ImVec2(x1, cy + S(2)), p.frameActive, S(2));
    dl->AddRectFilled(ImVec2(x0, cy - S(2)), ImVec2(kx, cy + S(2)), p.accent, S(2));
    bool dark = isDarkMode();
    dl->AddCircleFilled(ImVec2(kx, cy + 1), r + 1, dark ? 0x5A000000u : 0x28000000u);
    dl->AddCircleFilled(ImVec2(kx, cy), r, IM_COL32_WHITE);
    if (held) dl->AddCircleFilled(ImVec2(kx, cy), 0.35f * r, colorWithAlpha(p.accent, 0.9f));
    char buf[32];
    std::snprintf(buf, sizeof buf, format ? format : "%.2f", double(value));
    ImVec2 ts = ImGui::CalcTextSize(buf);
    dl->AddText(ImVec2(pos.x + trackW + S(54) - ts.x, cy - ts.y * 0.5f), p.textSecondary, buf);
    ImGui::PopID();
    return changed;
}

bool listRowButton(const char* id, unsigned glyph, const char* label, const char* secondary,
                   bool selected) {
    const ThemePalette& p = palette();
    float w = ImGui::GetContentRegionAvail().x, h = S(34);
    ImVec2 pos = ImGui::GetCursorScreenPos();
    bool clicked = ImGui::InvisibleButton(id, ImVec2(w, h));
    bool hovered = ImGui::IsItemHovered();
    float hv = hoverValue(ImGui::GetItemID(), hovered || ImGui::IsItemActive());
    ImDrawList* dl = ImGui::GetWindowDrawList();
    ImVec2 end(pos.x + w, pos.y + h);
    if (selected)
        dl->AddRectFilled(pos, end, p.selection, S(7));
    else if (hv > 0.01f)
        dl->AddRectFilled(pos, end, colorWithAlpha(p.selection, 0.6f * hv), S(7));
    drawFocusRing(7);
    float labelX = pos.x + S(10);
    if (glyph) {
        drawCenteredIcon(dl, ImVec2(pos.x + S(18), pos.y + h * 0.5f), glyph,
                         selected ? p.accent : p.textSecondary, 0);
        labelX = pos.x + S(34);
    }
    float clipRight = end.x - S(6);
    if (secondary && *secondary) {
        ImVec2 ss = ImGui::CalcTextSize(secondary);
        float sx = end.x - S(10) - ss.x;
        dl->AddText(ImVec2(sx, pos.y + (h - ss.y) * 0.5f), p.textSecondary, secondary);
        clipRight = sx - S(6);
    }
    ImFont* f = selected ? semiboldFont() : bodyFont();
    float fs = f->LegacySize;
    ImVec2 ls = textSize(f, fs, label);
    ImVec4 clip(pos.x, pos.y, clipRight, end.y);
    dl->AddText(f, fs, ImVec2(labelX, pos.y + (h - ls.y) * 0.5f), p.text, label, nullptr, 0.0f,
                &clip);
    return clicked;
}

bool pillMenuButton(const char* id, const char* text) {
    const ThemePalette& p = palette();
    ImGui::PushID(id);
    float w = std::min(ImGui::CalcTextSize(text).x + S(40), ImGui::CalcItemWidth());
    float h = ImGui::GetFrameHeight();
    ImVec2 pos = ImGui::GetCursorScreenPos();
    bool clicked = ImGui::InvisibleButton("##pill", ImVec2(w, h));
    bool hovered = ImGui::IsItemHovered();
    float hv = hoverValue(ImGui::GetItemID(), hovered || ImGui::IsItemActive());
    ImDrawList* dl = ImGui::GetWindowDrawList();
    ImVec2 end(pos.x + w, pos.y + h);
    dl->AddRectFilled(pos, end, lerpColor(p.frameHover, p.frameActive, hv), S(7));
    ImVec2 ts = ImGui::CalcTextSize(text);
    ImVec4 clip(pos.x, pos.y, end.x - S(26), end.y);
    dl->AddText(ImGui::GetFont(), ImGui::GetFontSize(), ImVec2(pos.x + S(11), pos.y + (h - ts.y) * 0.5f),
                p.text, text, nullptr, 0.0f, &clip);
    drawCenteredIcon(dl, ImVec2(end.x - S(14), pos.y + h * 0.5f), Icon::caretDown, p.textSecondary,
                     S(11));
    handCursorIfHovered(hovered);
    drawFocusRing(7);
    if (clicked) ImGui::OpenPopup("##menu");
    ImGui::SetNextWindowPos(ImVec2(pos.x, end.y + S(4)));
    ImGui::SetNextWindowSizeConstraints(ImVec2(w, 0), ImVec2(FLT_MAX, FLT_MAX));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(std::floor(S(5)), std::floor(S(5))));
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(0, 0));
    if (ImGui::BeginPopup("##menu")) {
        gPillMenuOpen = true;
        gMenuRowCount = 0;
        return true;
    }
    ImGui::PopStyleVar(2);
    ImGui::PopID();
    return false;
}

void endPillMenu() {
    if (!gPillMenuOpen) return;
    ImGui::EndPopup();
    ImGui::PopStyleVar(2);
    ImGui::PopID();
    gPillMenuOpen = false;
}

bool menuItemRow(const char* text, bool marked) {
    const ThemePalette& p = palette();
    float h = std::round(S(28));
    ImVec2 ts = ImGui::CalcTextSize(text);
    float w = std::max(ImGui::GetContentRegionAvail().x, ts.x + S(44));
    ImGui::PushID(gMenuRowCount++);
    ImVec2 pos = ImGui::GetCursorScreenPos();
    bool clicked = ImGui::InvisibleButton("##it", ImVec2(w, h));
    bool hovered = ImGui::IsItemHovered();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    ImU32 fg = p.text;
    if (hovered) {
        dl->AddRectFilled(pos, ImVec2(pos.x + w, pos.y + h), p.accent, S(6));
        fg = textOnAccent();
    }
    if (marked) drawCenteredIcon(dl, ImVec2(pos.x + S(14), pos.y + h * 0.5f), Icon::check, fg, S(12));
    dl->AddText(ImVec2(pos.x + S(28), pos.y + (h - ts.y) * 0.5f), fg, text);
    if (clicked) ImGui::CloseCurrentPopup();
    ImGui::PopID();
    return clicked;
}

unsigned layerKindIcon(int kind) {
    static const unsigned kIcons[LayerKind::Count] = {0xE6C8, 0xE48A, 0xE2CA, 0xE32E,
                                                      0xE4DA, 0xE5DA, 0xE17C, 0xE4D6};
    return kind >= 0 && kind < LayerKind::Count ? kIcons[kind] : 0;
}

float meterLevel(float peak) {
    float db = 20.0f * std::log10(std::max(peak, 0.0001f));
    return std::clamp((db + 60.0f) / 60.0f, 0.0f, 1.0f);
}

void levelMeter(float peak, ImVec2 size) {
    const ThemePalette& p = palette();
    ImVec2 pos = ImGui::GetCursorScreenPos();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    float radius = size.y * 0.5f;
    dl->AddRectFilled(pos, ImVec2(pos.x + size.x, pos.y + size.y), shadowColorWithAlpha(0x14), radius);
    float level = animateTowards(ImGui::GetID("##meter"), meterLevel(peak), 25.0f);
    if (level > 0.02f) {
        ImU32 c = level > 0.92f ? p.danger : (level > 0.78f ? p.warning : p.success);
        float w = std::max(size.x * level, size.y);
        dl->AddRectFilled(pos, ImVec2(pos.x + w, pos.y + size.y), c, radius);
    }
    ImGui::Dummy(size);
}

int windowButtons(ImVec2 topRight, float height, bool maximised) {
    const ThemePalette& p = palette();
    float bw = S(46);
    ImVec2 keep = ImGui::GetCursorScreenPos();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const unsigned glyphs[3] = {Icon::minimise, maximised ? Icon::restore : Icon::maximise,
                                Icon::close};
    const int commands[3] = {CaptionMinimize, CaptionMaximizeOrRestore, CaptionClose};
    int result = 0;
    for (int i = 0; i < 3; ++i) {
        ImVec2 pos(topRight.x - bw * (3 - i), topRight.y);
        ImGui::SetCursorScreenPos(pos);
        ImGui::PushID(i);
        bool clicked = ImGui::InvisibleButton("##wb", ImVec2(bw, height));
        bool hovered = ImGui::IsItemHovered();
        bool held = ImGui::IsItemActive();
        ImGui::PopID();
        ImVec2 end(pos.x + bw, pos.y + height);
        ImU32 glyphColour = p.text;
        if (i == 2) {
            if (held)
                dl->AddRectFilled(pos, end, 0xC81C2BC4u);
            else if (hovered)
                dl->AddRectFilled(pos, end, 0xFF1C2BC4u);
            if (held || hovered) glyphColour = IM_COL32_WHITE;
        } else if (held) {
            dl->AddRectFilled(pos, end, shadowColorWithAlpha(0x1E));
        } else if (hovered) {
            dl->AddRectFilled(pos, end, shadowColorWithAlpha(0x12));
        }
        drawCenteredIcon(dl, ImVec2(pos.x + bw * 0.5f, pos.y + height * 0.5f), glyphs[i], glyphColour,
                         S(13));
        if (clicked && (result == 0 || commands[i] == CaptionClose)) result = commands[i];
    }
    ImGui::SetCursorScreenPos(keep);
    return result;
}

void cardTitle(const char* text) {
    ImGui::Dummy(ImVec2(0, S(2)));
    ImGui::SetCursorPosX(ImGui::GetCursorPosX() + S(4));
    ImGui::PushFont(semiboldFont(), S(12));
    ImGui::PushStyleColor(ImGuiCol_Text, palette().textSecondary);
    ImGui::TextUnformatted(text);
    ImGui::PopStyleColor();
    ImGui::PopFont();
    ImGui::Dummy(ImVec2(0, S(12)));
}

void beginCard() {
    ImDrawList* dl = ImGui::GetWindowDrawList();
    gCard.splitter.Split(dl, 2);
    gCard.splitter.SetCurrentChannel(dl, 1);
    gCard.origin = ImGui::GetCursorScreenPos();
    gCard.startX = ImGui::GetCursorPosX();
    gCard.width = ImGui::GetContentRegionAvail().x;
    gCard.rowCount = 0;
    ImGui::BeginGroup();
}

void fieldRow(const char* label) {
    if (gCard.rowCount > 0) {
        ImGui::Dummy(ImVec2(0, S(6)));
        float y = ImGui::GetCursorScreenPos().y;
        ImGui::GetWindowDrawList()->AddLine(ImVec2(gCard.origin.x + S(12), y),
                                            ImVec2(gCard.origin.x + gCard.width - S(12), y),
                                            palette().border, 1.0f);
        ImGui::Dummy(ImVec2(0, S(6)));
    }
    ++gCard.rowCount;
    if (label && *label) {
        ImGui::SetCursorPosX(gCard.startX + S(12));
        ImGui::AlignTextToFramePadding();
        ImGui::TextUnformatted(label);
        ImGui::SameLine();
        ImGui::SetCursorPosX(gCard.startX + gCard.width * 0.38f);
    } else {
        ImGui::SetCursorPosX(gCard.startX + S(12));
    }
    ImGui::SetNextItemWidth(gCard.startX + gCard.width - S(12) - ImGui::GetCursorPosX());
}

void endCard() {
    ImGui::Dummy(ImVec2(0, S(6)));
    ImGui::EndGroup();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    gCard.splitter.SetCurrentChannel(dl, 0);
    float bottom = ImGui::GetItemRectMax().y;
    dl->AddRectFilled(gCard.origin, ImVec2(gCard.origin.x + gCard.width, bottom),
                      isDarkMode() ? palette().popupBg : palette().frame, S(10));
    gCard.splitter.Merge(dl);
    ImGui::Dummy(ImVec2(0, S(6)));
}

void alignRight(float width) {
    ImGui::SetCursorPosX(ImGui::GetCursorPosX() + ImGui::CalcItemWidth() - width);
}
