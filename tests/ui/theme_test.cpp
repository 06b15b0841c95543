#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ui/theme.h"

namespace {

constexpr ImU32 rgb(unsigned hex) {
    return IM_COL32((hex >> 16) & 0xFF, (hex >> 8) & 0xFF, hex & 0xFF, 0xFF);
}

float channelDistance(ImU32 a, ImU32 b) {
    ImVec4 x = ImGui::ColorConvertU32ToFloat4(a), y = ImGui::ColorConvertU32ToFloat4(b);
    return std::fabs(x.x - y.x) + std::fabs(x.y - y.y) + std::fabs(x.z - y.z);
}

const ImU32* slots(const ThemePalette& p) { return &p.windowBg; }
constexpr int kSlotCount = 17;
static_assert(sizeof(ThemePalette) == kSlotCount * sizeof(ImU32));

}  // namespace

TEST(Themes, TableHasNineNamedThemesInPickerOrder) {
    ASSERT_EQ(themeCount(), 9);
    const char* names[] = {"Studio", "Concrete", "Linen", "Poster", "Mosaic",
                           "Sketchbook", "Blueprint", "Clay", "Charcoal"};
    for (int i = 0; i < 9; ++i) {
        EXPECT_STREQ(themeNameAt(i), names[i]);
        EXPECT_NE(std::string(themeDescriptionAt(i)), "");
    }
    EXPECT_STREQ(themeDescriptionAt(8), "True black and soft greys, easy at night");
    EXPECT_STREQ(themeNameAt(9), "");
    EXPECT_STREQ(themeNameAt(-1), "");
}

TEST(Themes, EveryThemeInBothModesGivesAnOpaquePalette) {
    for (int i = 0; i < themeCount(); ++i) {
        for (bool dark : {false, true}) {
            setTheme(dark, themeNameAt(i));
            const ThemePalette& p = palette();
            for (int s = 0; s < kSlotCount; ++s)
                EXPECT_EQ(slots(p)[s] >> 24, 0xFFu) << themeNameAt(i) << " dark=" << dark << " slot " << s;
            EXPECT_EQ(p.shadowBase, dark ? rgb(0xFFFFFF) : rgb(0x000000));
            EXPECT_EQ(currentThemeName(), themeNameAt(i));
            EXPECT_EQ(isDarkMode(), dark);
            EXPECT_TRUE(paletteIsSet());
        }
    }
}

TEST(Themes, StudioIsTheBuiltInPalette) {
    setTheme(true, "Studio");
    ThemePalette dark = builtinPalette(true);
    for (int s = 0; s < kSlotCount; ++s) EXPECT_EQ(slots(palette())[s], slots(dark)[s]);
    EXPECT_EQ(palette().windowBg, rgb(0x1C1C1E));
    EXPECT_EQ(palette().shadowBase, rgb(0xFFFFFF));
    ThemePalette untouched = builtinPalette(false);
    EXPECT_FALSE(loadThemePalette("Studio", false, untouched));
    EXPECT_EQ(untouched.accent, rgb(0x007AFF));
}

TEST(Themes, UnknownNameKeepsBuiltInPaletteAndStoresTheName) {
    setTheme(false, "Neon");
    EXPECT_EQ(palette().accent, rgb(0x007AFF));
    EXPECT_EQ(palette().windowBg, rgb(0xFFFFFF));
    EXPECT_EQ(currentThemeName(), "Neon");
    ThemePalette p;
    EXPECT_FALSE(loadThemePalette("concrete", false, p));  // names match exactly
    EXPECT_EQ(p.windowBg, 0u);
}

TEST(Themes, SlotsDeriveFromTheListColours) {
    ThemePalette p;
    ASSERT_TRUE(loadThemePalette("Concrete", false, p));
    EXPECT_EQ(p.windowBg, rgb(0xFFFDF8));
    EXPECT_EQ(p.popupBg, rgb(0xFFFDF8));
    EXPECT_EQ(p.titleBarBg, rgb(0xFFFDF8));
    EXPECT_EQ(p.sidebarBg, rgb(0xAADBC0));
    EXPECT_EQ(p.text, rgb(0x111111));
    EXPECT_EQ(p.textSecondary, rgb(0x4E4E4E));
    EXPECT_EQ(p.accent, rgb(0x4632D2));
    EXPECT_EQ(p.danger, rgb(0xAA143C));
    EXPECT_EQ(p.success, rgb(0x40C450));
    EXPECT_EQ(p.warning, rgb(0xA84600));
    EXPECT_EQ(p.border, lerpColor(rgb(0xFFFDF8), rgb(0x111111), 0.16f));
    EXPECT_EQ(p.frame, lerpColor(rgb(0xFFFDF8), rgb(0x111111), 0.05f));
    EXPECT_EQ(p.frameHover, lerpColor(rgb(0xFFFDF8), rgb(0x111111), 0.09f));
    EXPECT_EQ(p.frameActive, lerpColor(rgb(0xFFFDF8), rgb(0x111111), 0.14f));

    ASSERT_TRUE(loadThemePalette("Blueprint", true, p));
    EXPECT_EQ(p.border, lerpColor(rgb(0x1A1F25), rgb(0x2D333B), 0.45f));
    EXPECT_EQ(p.frame, lerpColor(rgb(0x1A1F25), rgb(0xE5E7EB), 0.08f));
    EXPECT_EQ(p.frameHover, lerpColor(rgb(0x1A1F25), rgb(0xE5E7EB), 0.14f));
    EXPECT_EQ(p.frameActive, lerpColor(rgb(0x1A1F25), rgb(0xE5E7EB), 0.20f));
}

TEST(Themes, TextOnAccentFollowsAccentLuminance) {
    setTheme(false, "Linen");
    EXPECT_EQ(palette().accent, rgb(0x000000));
    EXPECT_EQ(textOnAccent(), IM_COL32_WHITE);
    setTheme(true, "Poster");
    EXPECT_EQ(palette().accent, rgb(0xF87171));
    EXPECT_EQ(textOnAccent(), 0xFF111111u);
    setTheme(true, "Studio");
    EXPECT_EQ(textOnAccent(), IM_COL32_WHITE);
}

TEST(Themes, SelectionFallsBackWhenTooCloseToTheSidebar) {
    const char* fallback[] = {"Linen", "Poster", "Sketchbook", "Clay", "Charcoal"};
    for (const char* name : fallback) {
        ThemePalette p;
        ASSERT_TRUE(loadThemePalette(name, false, p));
        // The fallback blends the sidebar with the text colour by 0.08.
        EXPECT_EQ(p.selection, lerpColor(p.sidebarBg, p.text, 0.08f)) << name;
    }
    const char* keep[] = {"Concrete", "Mosaic", "Blueprint"};
    for (const char* name : keep) {
        ThemePalette p;
        ASSERT_TRUE(loadThemePalette(name, false, p));
        EXPECT_NE(p.selection, lerpColor(p.sidebarBg, p.text, 0.08f)) << name;
        EXPECT_GE(channelDistance(p.selection, p.sidebarBg), 0.06f) << name;
    }
    for (int i = 1; i < themeCount(); ++i) {
        ThemePalette p;
        ASSERT_TRUE(loadThemePalette(themeNameAt(i), true, p));
        EXPECT_NE(p.selection, lerpColor(p.sidebarBg, p.text, 0.14f)) << themeNameAt(i);
    }
}

TEST(Themes, ColourArithmetic) {
    EXPECT_EQ(colorWithAlpha(0xFF102030u, 0.5f) >> 24, 0x80u);
    EXPECT_EQ(colorWithAlpha(0xFF102030u, 0.5f) & 0xFFFFFFu, 0x102030u);
    EXPECT_EQ(lerpColor(0xFF000000u, 0xFFFFFFFFu, 0.5f), 0xFF808080u);
    EXPECT_EQ(lerpColor(0x00000000u, 0xFF0000FFu, 1.0f), 0xFF0000FFu);
    setTheme(true, "Studio");
    EXPECT_EQ(shadowColorWithAlpha(18), 0x12FFFFFFu);
    EXPECT_EQ(shadowColorWithAlpha(-5), 0x00FFFFFFu);
    EXPECT_EQ(shadowColorWithAlpha(999), 0xFFFFFFFFu);
}
