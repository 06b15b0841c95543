#include "ui/theme.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr ImU32 rgb(unsigned hex) {
    return IM_COL32((hex >> 16) & 0xFF, (hex >> 8) & 0xFF, hex & 0xFF, 0xFF);
}

// Lists carry 28 colours; the derivation reads h0 h1 h4 h6 h7 h10 h12 h19 h23 h27.
const ThemeEntry kThemes[] = {
    {"Studio", "Clean and quiet, like a Mac app", nullptr, nullptr},
    {"Concrete", "Cream, thick outlines, hard shadows",
     "111111 111111 111111 FFFDF8 FFFDF8 AADBC0 AADBC0 4E4E4E 4E4E4E 4E4E4E 40C450 40C450 E8E0FF E8E0FF 4E4E4E FFFDF8 AADBC0 111111 4632D2 4632D2 4632D2 4632D2 4632D2 AA143C AA143C AA143C A84600 A84600",
     "C8CCD4 3E4451 3E4451 2F343E 2F343E 21252B 21252B A4AAB4 A4AAB4 A4AAB4 98C379 98C379 413C51 413C51 A4AAB4 2F343E 21252B 3E4451 61AFEF 61AFEF 61AFEF 61AFEF 61AFEF F4969D F4969D F4969D D19A66 D19A66"},
    {"Linen", "White space, hairlines, tan accent",
     "000000 000000 000000 FFFFFF FFFFFF F5F1E8 F5F1E8 4B5563 4B5563 4B5563 2E7D32 2E7D32 F5F1E8 F5F1E8 4B5563 FFFFFF F5F1E8 000000 000000 000000 000000 000000 000000 B42318 B42318 B42318 B42318 B42318",
     "F5F5F5 D4D4D4 D4D4D4 121212 121212 15130F 15130F A3A3A3 A3A3A3 A3A3A3 4ADE80 4ADE80 1E1B17 1E1B17 A3A3A3 121212 15130F D4D4D4 F5F5F5 F5F5F5 F5F5F5 F5F5F5 F5F5F5 F87171 F87171 F87171 FCA5A5 FCA5A5"},
    {"Poster", "Black and white, red accent, bold type",
     "000000 000000 000000 FFFFFF FFFFFF F5F5F5 F5F5F5 4B5563 4B5563 4B5563 15803D 15803D F5F5F5 F5F5F5 4B5563 FFFFFF F5F5F5 000000 DC2626 DC2626 DC2626 DC2626 DC2626 DC2626 DC2626 DC2626 9A3412 9A3412",
     "FFFFFF D4D4D4 D4D4D4 141414 141414 111111 111111 A3A3A3 A3A3A3 A3A3A3 22C55E 22C55E 1F1F1F 1F1F1F A3A3A3 141414 111111 D4D4D4 F87171 F87171 F87171 F87171 F87171 FCA5A5 FCA5A5 FCA5A5 FDBA74 FDBA74"},
    {"Mosaic", "Rounded tiles, soft shadows, blue accent",
     "1D1D1F E5E5EA E5E5EA FFFFFF FFFFFF EDEDF0 EDEDF0 5C5C61 5C5C61 5C5C61 34C759 34C759 E8F0FE E8F0FE 5C5C61 FFFFFF EDEDF0 E5E5EA 0066CC 0066CC 0066CC 0066CC 0066CC D70015 D70015 D70015 B02E00 B02E00",
     "F5F5F7 2C2C2E 2C2C2E 1C1C1E 1C1C1E 0E0E10 0E0E10 98989D 98989D 98989D 30D158 30D158 1E2A44 1E2A44 98989D 1C1C1E 0E0E10 2C2C2E 64D2FF 64D2FF 64D2FF 64D2FF 64D2FF FF6961 FF6961 FF6961 FF9F0A FF9F0A"},
    {"Sketchbook", "Paper and ink, calm for long reading",
     "1A1A1A 1A1A1A 1A1A1A FDFBF7 FDFBF7 F3F0E8 F3F0E8 4A4A4A 4A4A4A 4A4A4A 2F5D3A 2F5D3A F3F0E8 F3F0E8 4A4A4A FDFBF7 F3F0E8 1A1A1A 1A1A1A 1A1A1A 1A1A1A 1A1A1A 1A1A1A 8B1E1E 8B1E1E 8B1E1E 7A3E1E 7A3E1E",
     "E8E4DA 8A8478 8A8478 22211E 22211E 191816 191816 B3AEA3 B3AEA3 B3AEA3 A9C4A0 A9C4A0 2A2925 2A2925 B3AEA3 22211E 191816 8A8478 E8E4DA E8E4DA E8E4DA E8E4DA E8E4DA E09A8F E09A8F E09A8F D9A88A D9A88A"},
    {"Blueprint", "Muted panels, hairlines, precise",
     "1F2937 E5E7EB E5E7EB FFFFFF FFFFFF EEF0F3 EEF0F3 5B6472 5B6472 5B6472 10B981 10B981 EFF6FF EFF6FF 5B6472 FFFFFF EEF0F3 E5E7EB 1D4ED8 1D4ED8 1D4ED8 1D4ED8 1D4ED8 B91C1C B91C1C B91C1C B45309 B45309",
     "E5E7EB 2D333B 2D333B 1A1F25 1A1F25 0E1114 0E1114 9CA3AF 9CA3AF 9CA3AF 34D399 34D399 1E2A3B 1E2A3B 9CA3AF 1A1F25 0E1114 2D333B 60A5FA 60A5FA 60A5FA 60A5FA 60A5FA FCA5A5 FCA5A5 FCA5A5 D9B45A D9B45A"},
    {"Clay", "Soft blue-grey surfaces, gentle depth",
     "1F2937 D1D9E6 D1D9E6 F7F9FC F7F9FC E8EEF4 E8EEF4 4B5563 4B5563 4B5563 22C55E 22C55E E3ECF8 E3ECF8 4B5563 F7F9FC E8EEF4 D1D9E6 1D4ED8 1D4ED8 1D4ED8 1D4ED8 1D4ED8 B91C1C B91C1C B91C1C 9A3412 9A3412",
     "E2E8F0 334155 334155 252C39 252C39 1A202B 1A202B A0AEC0 A0AEC0 A0AEC0 4ADE80 4ADE80 26344D 26344D A0AEC0 252C39 1A202B 334155 93C5FD 93C5FD 93C5FD 93C5FD 93C5FD FCA5A5 FCA5A5 FCA5A5 FDBA74 FDBA74"},
    {"Charcoal", "True black and soft greys, easy at night",
     "111827 D1D5DB D1D5DB FFFFFF FFFFFF F9FAFB F9FAFB 4B5563 4B5563 4B5563 15803D 15803D EFF6FF EFF6FF 4B5563 FFFFFF F9FAFB D1D5DB 1D4ED8 1D4ED8 1D4ED8 1D4ED8 1D4ED8 B91C1C B91C1C B91C1C B45309 B45309",
     "D1D5DB 1F2937 1F2937 121212 121212 0A0A0A 0A0A0A 9CA3AF 9CA3AF 9CA3AF 4ADE80 4ADE80 0F1424 0F1424 9CA3AF 121212 0A0A0A 1F2937 60A5FA 60A5FA 60A5FA 60A5FA 60A5FA FCA5A5 FCA5A5 FCA5A5 D9B45A D9B45A"},
};
constexpr int kThemeCount = int(sizeof(kThemes) / sizeof(kThemes[0]));

ThemePalette gPalette;
ImU32 gTextOnAccent = IM_COL32_WHITE;
bool gDark = true;
std::string gName = "Studio";

ImVec4 toFloat(ImU32 c) { return ImGui::ColorConvertU32ToFloat4(c); }
ImU32 toU32(const ImVec4& v) { return ImGui::ColorConvertFloat4ToU32(v); }

// Parses up to 28 hexadecimal words; a missing word reads as 0.
void parseHexList(const char* text, unsigned out[28]) {
    for (int i = 0; i < 28; ++i) out[i] = 0;
    const char* p = text;
    for (int i = 0; i < 28 && p && *p; ++i) {
        char* end = nullptr;
        unsigned long v = std::strtoul(p, &end, 16);
        if (end == p) break;
        out[i] = unsigned(v & 0xFFFFFF);
        p = end;
        while (*p == ' ') ++p;
    }
}

}  // namespace

ImU32 colorWithAlpha(ImU32 colour, float factor) {
    ImVec4 v = toFloat(colour);
    v.w *= factor;
    return toU32(v);
}

ImU32 lerpColor(ImU32 a, ImU32 b, float t) {
    ImVec4 x = toFloat(a), y = toFloat(b);
    return toU32(ImVec4(x.x + (y.x - x.x) * t, x.y + (y.y - x.y) * t, x.z + (y.z - x.z) * t,
                        x.w + (y.w - x.w) * t));
}

ImU32 shadowColorWithAlpha(int alpha) {
    if (alpha < 0) alpha = 0;
    if (alpha > 255) alpha = 255;
    return (gPalette.shadowBase & 0x00FFFFFFu) | (ImU32(alpha) << 24);
}

ThemePalette builtinPalette(bool dark) {
    ThemePalette p;
    if (dark) {
        p.windowBg = rgb(0x1C1C1E); p.sidebarBg = rgb(0x232325); p.inspectorBg = rgb(0x232325);
        p.text = rgb(0xF5F5F7); p.textSecondary = rgb(0xA1A1A6); p.border = rgb(0x38383A);
        p.accent = rgb(0x0A84FF); p.danger = rgb(0xFF453A); p.success = rgb(0x30D158);
        p.warning = rgb(0xFF9F0A); p.popupBg = rgb(0x2C2C2E); p.titleBarBg = rgb(0x1C1C1E);
        p.frame = rgb(0x2C2C2E); p.frameHover = rgb(0x3A3A3C); p.frameActive = rgb(0x48484A);
        p.shadowBase = rgb(0xFFFFFF); p.selection = rgb(0x3A3A3D);
    } else {
        p.windowBg = rgb(0xFFFFFF); p.sidebarBg = rgb(0xF5F5F7); p.inspectorBg = rgb(0xF5F5F7);
        p.text = rgb(0x1D1D1F); p.textSecondary = rgb(0x6E6E73); p.border = rgb(0xE5E5EA);
        p.accent = rgb(0x007AFF); p.danger = rgb(0xFF3B30); p.success = rgb(0x28A745);
        p.warning = rgb(0xC76E00); p.popupBg = rgb(0xFFFFFF); p.titleBarBg = rgb(0xFFFFFF);
        p.frame = rgb(0xF2F2F7); p.frameHover = rgb(0xE8E8ED); p.frameActive = rgb(0xDCDCE1);
        p.shadowBase = rgb(0x000000); p.selection = rgb(0xE3E3E8);
    }
    return p;
}

ImU32 textOnAccentFor(ImU32 accent) {
    ImVec4 c = toFloat(accent);
    float lum = 0.2126f * c.x + 0.7152f * c.y + 0.0722f * c.z;
    return lum > 0.55f ? 0xFF111111u : IM_COL32_WHITE;
}

bool loadThemePalette(const std::string& name, bool dark, ThemePalette& out) {
    for (const ThemeEntry& e : kThemes) {
        if (name != e.name || !e.lightHex) continue;
        unsigned h[28];
        parseHexList(dark ? e.darkHex : e.lightHex, h);
        const bool light = !dark;
        ThemePalette p;
        p.windowBg = p.popupBg = p.titleBarBg = rgb(h[4]);
        p.sidebarBg = p.inspectorBg = rgb(h[6]);
        p.text = rgb(h[0]);
        p.textSecondary = rgb(h[7]);
        p.border = lerpColor(rgb(h[4]), rgb(h[1]), light ? 0.16f : 0.45f);
        p.accent = rgb(h[19]);
        p.danger = rgb(h[23]);
        p.success = rgb(h[10]);
        p.warning = rgb(h[27]);
        p.frame = lerpColor(rgb(h[4]), rgb(h[0]), light ? 0.05f : 0.08f);
        p.frameHover = lerpColor(rgb(h[4]), rgb(h[0]), light ? 0.09f : 0.14f);
        p.frameActive = lerpColor(rgb(h[4]), rgb(h[0]), light ? 0.14f : 0.20f);
        p.shadowBase = light ? rgb(0x000000) : rgb(0xFFFFFF);
        p.selection = lerpColor(rgb(h[4]), rgb(h[12]), 0.85f);
        ImVec4 s = toFloat(p.selection), b = toFloat(p.sidebarBg);
        if (std::fabs(s.x - b.x) + std::fabs(s.y - b.y) + std::fabs(s.z - b.z) < 0.06f)
            p.selection = lerpColor(rgb(h[6]), rgb(h[0]), light ? 0.08f : 0.14f);
        out = p;
        return true;
    }
    return false;
}

void setTheme(bool dark, const std::string& name) {
    ThemePalette p = builtinPalette(dark);
    loadThemePalette(name, dark, p);
    gDark = dark;
    gName = name;
    gPalette = p;
    gTextOnAccent = textOnAccentFor(p.accent);
    if (ImGui::GetCurrentContext()) applyThemeColors();
}

const ThemePalette& palette() { return gPalette; }
ImU32 textOnAccent() { return gTextOnAccent; }
const std::string& currentThemeName() { return gName; }
bool isDarkMode() { return gDark; }
bool paletteIsSet() { return gPalette.windowBg != 0; }
int themeCount() { return kThemeCount; }
const char* themeNameAt(int i) { return i >= 0 && i < kThemeCount ? kThemes[i].name : ""; }
const char* themeDescriptionAt(int i) {
    return i >= 0 && i < kThemeCount ? kThemes[i].description : "";
}

void applyThemeColors() {
    ImVec4* c = ImGui::GetStyle().Colors;
    const ThemePalette& p = gPalette;
    auto f = [](ImU32 v) { return toFloat(v); };
    auto fa = [](ImU32 v, float a) {
        ImVec4 x = toFloat(v);
        x.w = a;
        return x;
    };
    const ImVec4 clear(0, 0, 0, 0);
    c[ImGuiCol_Text] = f(p.text);
    c[ImGuiCol_TextDisabled] = f(p.textSecondary);
    c[ImGuiCol_WindowBg] = f(p.windowBg);
    c[ImGuiCol_ChildBg] = clear;
    c[ImGuiCol_PopupBg] = f(p.popupBg);
    c[ImGuiCol_Border] = f(p.border);
    c[ImGuiCol_BorderShadow] = clear;
    c[ImGuiCol_FrameBg] = f(p.frame);
    c[ImGuiCol_FrameBgHovered] = f(p.frameHover);
    c[ImGuiCol_FrameBgActive] = f(p.frame);
    c[ImGuiCol_TitleBg] = c[ImGuiCol_TitleBgActive] = c[ImGuiCol_TitleBgCollapsed] = f(p.titleBarBg);
    c[ImGuiCol_ScrollbarBg] = clear;
    c[ImGuiCol_ScrollbarGrab] = fa(p.text, gDark ? 0.22f : 0.18f);
    c[ImGuiCol_ScrollbarGrabHovered] = fa(p.text, 0.35f);
    c[ImGuiCol_ScrollbarGrabActive] = fa(p.text, 0.45f);
    c[ImGuiCol_CheckMark] = c[ImGuiCol_SliderGrab] = f(p.accent);
    c[ImGuiCol_SliderGrabActive] = f(lerpColor(p.accent, p.text, 0.18f));
    c[ImGuiCol_Button] = f(p.frame);
    c[ImGuiCol_ButtonHovered] = f(p.frameHover);
    c[ImGuiCol_ButtonActive] = f(p.frameActive);
    c[ImGuiCol_Header] = c[ImGuiCol_HeaderHovered] = f(p.frameHover);
    c[ImGuiCol_HeaderActive] = f(p.frameActive);
    c[ImGuiCol_Separator] = f(p.border);
    c[ImGuiCol_ResizeGrip] = c[ImGuiCol_ResizeGripHovered] = c[ImGuiCol_ResizeGripActive] = clear;
    c[ImGuiCol_TextSelectedBg] = fa(p.accent, 0.28f);
    c[ImGuiCol_NavCursor] = f(p.accent);
    c[ImGuiCol_ModalWindowDimBg] = f(gDark ? 0x73000000u : 0x2E000000u);
}
