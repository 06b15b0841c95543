#include "ui/style.h"

#include "ui/theme.h"

namespace {

float gScale = 1.0f;
float gTextScale = 1.0f;
bool gTextScaleChanged = false;
UiFonts gFonts;
ImVector<ImWchar> gRanges;
FontSource gSource;
bool gSourceSet = false;

const FontSource& source() {
    if (!gSourceSet) {
        gSource = platformFontSource();
        gSourceSet = true;
    }
    return gSource;
}

// Characters beyond Latin-1 that the interface prints.
const char* kExtraCharacters = "\xE2\x86\x91\xE2\x86\x93\xE2\x86\x90\xE2\x86\x92\xE2\x80\xA2\xC2\xB7"
                               "\xE2\x80\xA6\xE2\x9C\x95\xC3\x97\xE2\x80\x94\xE2\x80\x93\xE2\x80\x9C"
                               "\xE2\x80\x9D\xE2\x80\x98\xE2\x80\x99";

const ImWchar kIconRanges[] = {0xE000, 0xF8FF, 0};

}  // namespace

void setFontSource(FontSource s) {
    gSource = std::move(s);
    gSourceSet = true;
}

float uiScale() { return gScale; }
const UiFonts& uiFonts() { return gFonts; }
float textScale() { return gTextScale; }

void setTextScale(float factor) {
    if (factor != gTextScale) {
        gTextScale = factor;
        gTextScaleChanged = true;
    }
}

bool takeTextScaleChanged() {
    bool changed = gTextScaleChanged;
    gTextScaleChanged = false;
    return changed;
}

ImFont* loadResourceFont(int resourceId, float size, const ImWchar* ranges) {
    const FontSource& src = source();
    if (!src.resource) return nullptr;
    int bytes = 0;
    const void* data = src.resource(resourceId, bytes);
    if (!data || bytes <= 0) return nullptr;
    ImFontConfig cfg;
    cfg.FontDataOwnedByAtlas = false;
    cfg.OversampleH = 3;
    cfg.OversampleV = 2;
    return ImGui::GetIO().Fonts->AddFontFromMemoryTTF(const_cast<void*>(data), bytes, size * gScale,
                                                     &cfg, ranges);
}

ImFont* loadSystemFont(const char* fileName, float size, const ImWchar* ranges) {
    const FontSource& src = source();
    if (!src.systemFontFile) return nullptr;
    std::string path = src.systemFontFile(fileName);
    if (path.empty()) return nullptr;
    return ImGui::GetIO().Fonts->AddFontFromFileTTF(path.c_str(), size * gScale, nullptr, ranges);
}

void loadFonts() {
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    atlas->Clear();
    gRanges.clear();
    ImFontGlyphRangesBuilder builder;
    builder.AddRanges(atlas->GetGlyphRangesDefault());
    builder.AddText(kExtraCharacters);
    builder.BuildRanges(&gRanges);
    const ImWchar* ranges = gRanges.Data;

    UiFonts f;
    f.body = loadResourceFont(kInterRegularResource, FontSize::body, ranges);
    if (!f.body) f.body = loadSystemFont("segoeui.ttf", FontSize::body, ranges);
    if (!f.body) {
        ImFontConfig cfg;
        cfg.SizePixels = 13.0f * gScale;
        f.body = atlas->AddFontDefault(&cfg);
    }
    f.small = loadResourceFont(kInterRegularResource, FontSize::small, ranges);
    if (!f.small) f.small = loadSystemFont("segoeui.ttf", FontSize::small, ranges);
    f.semibold = loadResourceFont(kInterSemiBoldResource, FontSize::semibold, ranges);
    if (!f.semibold) f.semibold = loadSystemFont("seguisb.ttf", FontSize::semibold, ranges);
    f.heading = loadResourceFont(kInterSemiBoldResource, FontSize::heading, ranges);
    if (!f.heading) f.heading = loadSystemFont("seguisb.ttf", FontSize::heading, ranges);
    f.big = loadResourceFont(kInterSemiBoldResource, FontSize::big, ranges);
    if (!f.big) f.big = loadSystemFont("seguisb.ttf", FontSize::big, ranges);
    f.icons = loadResourceFont(kIconFontResource, FontSize::icons, kIconRanges);

    if (!f.small) f.small = f.body;
    if (!f.semibold) f.semibold = f.body;
    if (!f.heading) f.heading = f.semibold;
    if (!f.big) f.big = f.body;
    if (!f.icons) f.icons = f.body;
    gFonts = f;
    // The frame's base size follows the body font.
    ImGui::GetStyle().FontSizeBase = f.body->LegacySize;
    ImGui::GetStyle()._NextFrameFontSizeBase = f.body->LegacySize;
}

void applyStyle(float dpiScale) {
    gScale = dpiScale * gTextScale;
    ImGuiStyle& st = ImGui::GetStyle();
    st = ImGuiStyle();
    st.WindowPadding = ImVec2(14, 14);
    st.WindowRounding = 12;
    st.WindowBorderSize = 0;
    st.WindowTitleAlign = ImVec2(0.5f, 0.5f);
    st.ChildRounding = 0;
    st.ChildBorderSize = 0;
    st.PopupRounding = 10;
    st.PopupBorderSize = 1;
    st.FramePadding = ImVec2(10, 7);
    st.FrameRounding = 8;
    st.FrameBorderSize = 1;
    st.ItemSpacing = ImVec2(8, 8);
    st.ItemInnerSpacing = ImVec2(6, 6);
    st.ScrollbarSize = 8;
    st.ScrollbarRounding = 8;
    st.GrabMinSize = 12;
    st.GrabRounding = 8;
    st.TabRounding = 6;
    st.SelectableTextAlign = ImVec2(0, 0.5f);
    st.ScaleAllSizes(gScale);
    if (!paletteIsSet()) setTheme(isDarkMode(), currentThemeName());
    applyThemeColors();
    loadFonts();
}
