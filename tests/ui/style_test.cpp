#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "ui/headless_gui.h"
#include "ui/style.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

std::string fontsDir() {
    const char* src = std::getenv("QH_SOURCE_DIR");
    std::string root = src ? src : ".";
    char sep = root.find('\\') != std::string::npos ? '\\' : '/';
    return root + sep + ".deps" + sep + "fonts" + sep;
}

const std::vector<char>& fileBytes(const std::string& path) {
    static std::map<std::string, std::vector<char>> cache;
    auto it = cache.find(path);
    if (it == cache.end()) {
        std::ifstream in(path, std::ios::binary);
        it = cache.emplace(path, std::vector<char>(std::istreambuf_iterator<char>(in), {})).first;
    }
    return it->second;
}

// The embedded fonts, read from the files that the build embeds.
FontSource embeddedFromFiles() {
    FontSource s;
    s.resource = [](int id, int& size) -> const void* {
        const char* name = id == kInterRegularResource    ? "Inter-Regular.otf"
                           : id == kInterSemiBoldResource ? "Inter-SemiBold.otf"
                           : id == kIconFontResource      ? "Phosphor.ttf"
                                                          : nullptr;
        if (!name) return nullptr;
        const std::vector<char>& bytes = fileBytes(fontsDir() + name);
        size = int(bytes.size());
        return bytes.empty() ? nullptr : bytes.data();
    };
    return s;
}

bool fontsFetched() { return !fileBytes(fontsDir() + "Inter-Regular.otf").empty(); }

struct FontSourceGuard {
    explicit FontSourceGuard(FontSource s) { setFontSource(std::move(s)); }
    ~FontSourceGuard() { setFontSource(FontSource{}); }
};

}  // namespace

TEST(Style, TextScaleChangeIsRaisedOnlyOnChange) {
    setTextScale(1.0f);
    takeTextScaleChanged();
    setTextScale(1.0f);
    EXPECT_FALSE(takeTextScaleChanged());
    setTextScale(1.15f);
    EXPECT_TRUE(takeTextScaleChanged());
    EXPECT_FALSE(takeTextScaleChanged());
    setTextScale(1.15f);
    EXPECT_FALSE(takeTextScaleChanged());
    setTextScale(1.0f);
    takeTextScaleChanged();
}

TEST(Style, ScaleMultipliesDpiAndTextSize) {
    FontSourceGuard guard(embeddedFromFiles());
    setTextScale(1.3f);
    HeadlessGui gui(1.5f);
    EXPECT_FLOAT_EQ(uiScale(), 1.95f);
    EXPECT_NEAR(uiFonts().body->LegacySize, 27.3f, 1e-4);
    EXPECT_NEAR(56 * uiScale(), 109.2f, 1e-4);
    const ImGuiStyle& st = ImGui::GetStyle();
    EXPECT_FLOAT_EQ(st.WindowPadding.x, std::trunc(14 * 1.95f));
    EXPECT_FLOAT_EQ(st.FrameRounding, std::trunc(8 * 1.95f));
    EXPECT_FLOAT_EQ(st.WindowTitleAlign.x, 0.5f);
    setTextScale(1.0f);
    takeTextScaleChanged();
}

TEST(Style, MissingFontsFallBackToTheLibraryDefault) {
    FontSourceGuard guard(FontSource{});
    HeadlessGui gui;
    const UiFonts& f = uiFonts();
    ASSERT_NE(f.body, nullptr);
    EXPECT_EQ(f.small, f.body);
    EXPECT_EQ(f.semibold, f.body);
    EXPECT_EQ(f.heading, f.body);
    EXPECT_EQ(f.big, f.body);
    EXPECT_EQ(f.icons, f.body);
    EXPECT_FALSE(f.icons->IsGlyphInFont(Icon::close));
    // Drawing with missing glyphs still works.
    bool clicked = true;
    gui.frame([&] { clicked = iconButton(Icon::close, "Close", false, palette().text); });
    EXPECT_FALSE(clicked);
}

TEST(Style, SystemFontsStandInForMissingResources) {
    FontSource s;
    s.systemFontFile = [](const char* name) -> std::string {
        std::string file = std::string(name) == "segoeui.ttf"   ? "Inter-Regular.otf"
                           : std::string(name) == "seguisb.ttf" ? "Inter-SemiBold.otf"
                                                                : "";
        return file.empty() || !fontsFetched() ? std::string() : fontsDir() + file;
    };
    FontSourceGuard guard(s);
    if (!fontsFetched()) GTEST_SKIP() << "fonts not fetched";
    HeadlessGui gui;
    const UiFonts& f = uiFonts();
    EXPECT_NE(f.semibold, f.body);
    EXPECT_NE(f.heading, f.semibold);
    EXPECT_NEAR(f.heading->LegacySize, 17.0f, 1e-4);
    EXPECT_EQ(f.icons, f.body);  // the icon font has no system stand-in
}

TEST(Style, EmbeddedFontsGiveSixFontsWithIconsApart) {
    if (!fontsFetched()) GTEST_SKIP() << "fonts not fetched";
    FontSourceGuard guard(embeddedFromFiles());
    HeadlessGui gui;
    const UiFonts& f = uiFonts();
    EXPECT_NE(f.body, f.small);
    EXPECT_NE(f.semibold, f.body);
    EXPECT_NEAR(f.small->LegacySize, 12.5f, 1e-4);
    EXPECT_NEAR(f.big->LegacySize, 64.0f, 1e-4);
    for (unsigned g : {Icon::caretDown, Icon::check, Icon::minimise, Icon::maximise, Icon::restore,
                       Icon::close})
        EXPECT_TRUE(f.icons->IsGlyphInFont(ImWchar(g))) << std::hex << g;
    EXPECT_FALSE(f.body->IsGlyphInFont(ImWchar(Icon::close)));
    EXPECT_TRUE(f.body->IsGlyphInFont(0x2026));  // the ellipsis of "Connecting…"
}

TEST(Style, RebuildingBetweenFramesKeepsDrawing) {
    FontSourceGuard guard(embeddedFromFiles());
    HeadlessGui gui;
    for (int i = 0; i < 3; ++i) {
        gui.frame([] { roundedButton("Go live", true); });
        setTextScale(i % 2 ? 1.0f : 1.3f);
        ASSERT_TRUE(takeTextScaleChanged());
        applyStyle(1.0f);
        gui.frame([] {
            ImGui::PushFont(uiFonts().icons, 0.0f);
            ImGui::TextUnformatted("x");
            ImGui::PopFont();
        });
    }
    EXPECT_NEAR(uiFonts().body->LegacySize, 14.0f * textScale(), 1e-4);
    setTextScale(1.0f);
    takeTextScaleChanged();
}

TEST(Style, ThemeColoursReachTheStyleTable) {
    HeadlessGui gui;
    setTheme(false, "Mosaic");
    const ImVec4* c = ImGui::GetStyle().Colors;
    auto u32 = [](const ImVec4& v) { return ImGui::ColorConvertFloat4ToU32(v); };
    EXPECT_EQ(u32(c[ImGuiCol_WindowBg]), palette().windowBg);
    EXPECT_EQ(u32(c[ImGuiCol_FrameBgActive]), palette().frame);
    EXPECT_EQ(c[ImGuiCol_ChildBg].w, 0.0f);
    EXPECT_NEAR(c[ImGuiCol_ScrollbarGrab].w, 0.18f, 1e-6);
    EXPECT_EQ(u32(c[ImGuiCol_ModalWindowDimBg]), 0x2E000000u);
    setTheme(true, "Mosaic");
    EXPECT_NEAR(c[ImGuiCol_ScrollbarGrab].w, 0.22f, 1e-6);
    EXPECT_EQ(u32(c[ImGuiCol_ModalWindowDimBg]), 0x73000000u);
    EXPECT_EQ(u32(c[ImGuiCol_SliderGrabActive]), lerpColor(palette().accent, palette().text, 0.18f));
    setTheme(true, "Studio");
}
