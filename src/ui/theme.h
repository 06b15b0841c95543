#pragma once
// Colour themes: the 17-slot palette every panel draws with, and its derivation
// from the theme table. Works without a GUI context (the style colours are
// written only when one exists).

#include <string>

#include "imgui.h"

struct ThemePalette {
    ImU32 windowBg = 0;
    ImU32 sidebarBg = 0;
    ImU32 inspectorBg = 0;
    ImU32 text = 0;
    ImU32 textSecondary = 0;
    ImU32 border = 0;
    ImU32 accent = 0;
    ImU32 danger = 0;
    ImU32 success = 0;
    ImU32 warning = 0;
    ImU32 popupBg = 0;
    ImU32 titleBarBg = 0;
    ImU32 frame = 0;
    ImU32 frameHover = 0;
    ImU32 frameActive = 0;
    ImU32 shadowBase = 0;
    ImU32 selection = 0;
};

struct ThemeEntry {
    const char* name;
    const char* description;
    const char* lightHex;  // 28 RRGGBB words, null for the built-in look
    const char* darkHex;
};

// Applied palette (process-wide, main thread).
const ThemePalette& palette();
ImU32 textOnAccent();

// Built-in palettes of the "Studio" look.
ThemePalette builtinPalette(bool dark);
// 0xFF111111 for a light accent (luminance above 0.55), else opaque white.
ImU32 textOnAccentFor(ImU32 accent);

void setTheme(bool dark, const std::string& name);
bool loadThemePalette(const std::string& name, bool dark, ThemePalette& out);
const std::string& currentThemeName();
bool isDarkMode();
int themeCount();
const char* themeNameAt(int i);
const char* themeDescriptionAt(int i);
void applyThemeColors();
// True once a palette has been applied (an unset palette has windowBg 0).
bool paletteIsSet();

// Colour arithmetic shared by the themes and the widget kit.
ImU32 colorWithAlpha(ImU32 colour, float factor);
ImU32 lerpColor(ImU32 a, ImU32 b, float t);
ImU32 shadowColorWithAlpha(int alpha);
