#pragma once
// UI scale, style metrics and the six interface fonts. Every design length is
// multiplied by uiScale(); every font is rasterised at design size x uiScale().

#include <functional>
#include <string>

#include "imgui.h"

struct UiFonts {
    ImFont* body = nullptr;
    ImFont* small = nullptr;
    ImFont* semibold = nullptr;
    ImFont* heading = nullptr;
    ImFont* big = nullptr;
    ImFont* icons = nullptr;
};

// Design sizes of the fonts, before scaling.
namespace FontSize {
constexpr float body = 14.0f;
constexpr float small = 12.5f;
constexpr float semibold = 14.0f;
constexpr float heading = 17.0f;
constexpr float big = 64.0f;
constexpr float icons = 17.0f;
}  // namespace FontSize

// Ids of the embedded font resources.
constexpr int kInterRegularResource = 101;
constexpr int kInterSemiBoldResource = 102;
constexpr int kIconFontResource = 103;

// Where fonts come from. The default reads the program's embedded resources and
// the Windows font folder; tests replace it.
struct FontSource {
    // Raw TrueType/OpenType bytes of an embedded resource; null when absent.
    // The memory must outlive the atlas (it is not copied).
    std::function<const void*(int id, int& size)> resource;
    // Full path of a system font file when that file exists, else "".
    std::function<std::string(const char* fileName)> systemFontFile;
};
FontSource platformFontSource();
void setFontSource(FontSource source);

float uiScale();
const UiFonts& uiFonts();
float textScale();

void setTextScale(float factor);
bool takeTextScaleChanged();
void applyStyle(float dpiScale);
void loadFonts();
ImFont* loadResourceFont(int resourceId, float size, const ImWchar* ranges);
ImFont* loadSystemFont(const char* fileName, float size, const ImWchar* ranges);
