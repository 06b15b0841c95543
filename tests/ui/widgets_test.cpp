#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ui/headless_gui.h"
#include "ui/widgets.h"

namespace {

// Id of a control made in the test window inside the given scopes.
ImGuiID idIn(std::initializer_list<const char*> scopes, const char* label) {
    ImGuiWindow* w = ImGui::FindWindowByName("test");
    ImGuiID seed = w->ID;
    for (const char* s : scopes) seed = ImHashStr(s, 0, seed);
    return ImHashStr(label, 0, seed);
}
ImGuiID idInInt(ImGuiID seed, int n) { return ImHashData(&n, sizeof n, seed); }
ImGuiID rootId() { return ImGui::FindWindowByName("test")->ID; }

// Vertices of the last frame with exactly this colour.
int verticesWithColour(ImU32 colour, float* maxX = nullptr) {
    int n = 0;
    ImDrawData* dd = ImGui::GetDrawData();
    for (ImDrawList* dl : dd->CmdLists)
        for (const ImDrawVert& v : dl->VtxBuffer)
            if (v.col == colour) {
                ++n;
                if (maxX) *maxX = std::max(*maxX, v.pos.x);
            }
    return n;
}

class Widgets : public ::testing::Test {
protected:
    void SetUp() override { setTheme(true, "Studio"); }
    HeadlessGui gui;
};

}  // namespace

TEST_F(Widgets, AnimatedValuesStartAtTheirTarget) {
    float first = -1, second = -1;
    gui.frame([&] {
        first = animateTowards(42, 1.0f, 16.0f);
        second = animateTowards(42, 0.0f, 16.0f);
    });
    EXPECT_FLOAT_EQ(first, 1.0f);
    EXPECT_NEAR(second, 1.0f - 16.0f / 60.0f, 1e-5);
    float big = -1;
    gui.frame([&] { big = animateTowards(43, 5.0f, 1000.0f); });
    EXPECT_FLOAT_EQ(big, 5.0f);  // a step never overshoots
}

TEST_F(Widgets, SegmentedThumbStartsUnderTheCurrentIndexAndClicksSelect) {
    const char* labels[] = {"Horizontal", "Vertical", "Both"};
    int value = 2;
    bool changed = false;
    auto body = [&] {
        ImGui::SetCursorScreenPos(ImVec2(20, 20));
        changed |= segmentedControl("view", labels, 3, value, 300);
    };
    gui.frame(body);
    ImGuiWindow* w = ImGui::FindWindowByName("test");
    EXPECT_FLOAT_EQ(w->StateStorage.GetFloat(w->GetID("view"), -1), 2.0f);

    ImGuiID seg0 = ImHashStr("##seg", 0, idInInt(ImHashStr("view", 0, rootId()), 0));
    ASSERT_NE(ItemLog::find(seg0), nullptr);
    gui.click(seg0, body);
    EXPECT_TRUE(changed);
    EXPECT_EQ(value, 0);

    changed = false;
    gui.click(seg0, body);  // the current segment: no change
    EXPECT_FALSE(changed);
    EXPECT_EQ(value, 0);
}

TEST_F(Widgets, SliderDragBeyondTheEndsClampsExactly) {
    float value = 0.2f;
    bool changed = false;
    auto body = [&] {
        ImGui::SetCursorScreenPos(ImVec2(50, 50));
        ImGui::SetNextItemWidth(300);
        changed |= sliderTrack("gate", value, 0.001f, 0.5f, "%.3f");
    };
    gui.frame(body);
    ImGuiID track = ImHashStr("##track", 0, ImHashStr("gate", 0, rootId()));
    const LoggedItem* item = ItemLog::find(track);
    ASSERT_NE(item, nullptr);
    EXPECT_FLOAT_EQ(item->rect.GetWidth(), 300 - 54);
    gui.mouseTo(item->rect.GetCenter());
    gui.frame(body);
    gui.mouseDown();
    gui.frame(body);
    gui.mouseTo(ImVec2(item->rect.Max.x + 400, item->rect.GetCenter().y));
    gui.frame(body);
    EXPECT_TRUE(changed);
    EXPECT_EQ(value, 0.5f);
    gui.mouseTo(ImVec2(item->rect.Min.x - 400, item->rect.GetCenter().y));
    gui.frame(body);
    EXPECT_EQ(value, 0.001f);
    gui.mouseUp();
    gui.frame(body);
}

TEST_F(Widgets, DisabledButtonKeepsItsSizeAndShowsNoHandCursor) {
    bool clicked = false;
    bool disabled = true;
    auto body = [&] {
        ImGui::SetCursorScreenPos(ImVec2(40, 40));
        ImGui::BeginDisabled(disabled);
        clicked |= roundedButton("Go live", true);
        ImGui::EndDisabled();
    };
    gui.frame(body);
    ImGuiID id = idIn({}, "Go live");
    const LoggedItem* item = ItemLog::find(id);
    ASSERT_NE(item, nullptr);
    ImFont* f = uiFonts().semibold;
    float expected = f->CalcTextSizeA(f->LegacySize, FLT_MAX, 0, "Go live").x + 28;
    EXPECT_FLOAT_EQ(item->rect.GetWidth(), expected);
    EXPECT_FLOAT_EQ(item->rect.GetHeight(), ImGui::GetFrameHeight());
    gui.click(id, body);
    EXPECT_FALSE(clicked);
    EXPECT_NE(ImGui::GetMouseCursor(), ImGuiMouseCursor_Hand);
    EXPECT_GT(verticesWithColour(colorWithAlpha(palette().textSecondary, 0.7f)), 0);

    disabled = false;
    gui.click(id, body);
    EXPECT_TRUE(clicked);
    EXPECT_EQ(ImGui::GetMouseCursor(), ImGuiMouseCursor_Hand);
    EXPECT_FLOAT_EQ(ItemLog::find(id)->rect.GetWidth(), expected);
}

TEST_F(Widgets, ButtonLabelAfterHashesIsHiddenButKeepsTheId) {
    bool a = false, b = false;
    auto body = [&] {
        ImGui::SetCursorScreenPos(ImVec2(40, 40));
        a |= roundedButton("Save##one", false);
        ImGui::SetCursorScreenPos(ImVec2(40, 100));
        b |= roundedButton("Save##two", false);
    };
    gui.frame(body);
    gui.click(idIn({}, "Save##two"), body);
    EXPECT_FALSE(a);
    EXPECT_TRUE(b);
    ImFont* f = uiFonts().semibold;
    EXPECT_FLOAT_EQ(ItemLog::find(idIn({}, "Save##one"))->rect.GetWidth(),
                    f->CalcTextSizeA(f->LegacySize, FLT_MAX, 0, "Save").x + 28);
}

TEST_F(Widgets, ToggleSwitchFlipsOnClick) {
    bool on = false;
    auto body = [&] {
        ImGui::SetCursorScreenPos(ImVec2(30, 30));
        toggleSwitch("##mic", on);
    };
    gui.frame(body);
    const LoggedItem* item = ItemLog::find(idIn({}, "##mic"));
    ASSERT_NE(item, nullptr);
    EXPECT_FLOAT_EQ(item->rect.GetWidth(), 38);
    EXPECT_FLOAT_EQ(item->rect.GetHeight(), std::max(ImGui::GetFrameHeight(), 22.0f));
    gui.click(item->id, body);
    EXPECT_TRUE(on);
    gui.click(item->id, body);
    EXPECT_FALSE(on);
}

TEST_F(Widgets, WindowButtonsReportTheirCommands) {
    int result = 0;
    bool maximised = false;
    auto body = [&] {
        int r = windowButtons(ImVec2(900, 0), 56, maximised);
        if (r) result = r;
    };
    gui.frame(body);
    const int expected[3] = {CaptionMinimize, CaptionMaximizeOrRestore, CaptionClose};
    for (int i = 0; i < 3; ++i) {
        ImGuiID id = ImHashStr("##wb", 0, idInInt(rootId(), i));
        const LoggedItem* item = ItemLog::find(id);
        ASSERT_NE(item, nullptr) << i;
        EXPECT_FLOAT_EQ(item->rect.Min.x, 900 - 46 * (3 - i));
        EXPECT_FLOAT_EQ(item->rect.GetHeight(), 56);
        result = 0;
        gui.click(id, body);
        EXPECT_EQ(result, expected[i]);
    }
    // Hovering the close button paints it red with a white glyph.
    gui.mouseTo(ImVec2(900 - 23, 28));
    gui.frame(body);
    EXPECT_GT(verticesWithColour(0xFF1C2BC4u), 0);
}

TEST_F(Widgets, LevelMeterShowsNothingAtSilenceAndDangerAtFullScale) {
    EXPECT_FLOAT_EQ(meterLevel(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(meterLevel(0.0001f), 0.0f);
    EXPECT_FLOAT_EQ(meterLevel(1.0f), 1.0f);
    EXPECT_FLOAT_EQ(meterLevel(4.0f), 1.0f);
    EXPECT_NEAR(meterLevel(0.1f), 40.0f / 60.0f, 1e-5);

    const ThemePalette& p = palette();
    gui.frame([] {
        ImGui::PushID("quiet");
        levelMeter(0.0001f, ImVec2(200, 8));
        ImGui::PopID();
    });
    EXPECT_EQ(verticesWithColour(p.success) + verticesWithColour(p.warning) + verticesWithColour(p.danger), 0);
    gui.frame([] {
        ImGui::PushID("loud");
        levelMeter(1.0f, ImVec2(200, 8));
        ImGui::PopID();
    });
    float maxX = 0;
    EXPECT_GT(verticesWithColour(p.danger, &maxX), 0);
    EXPECT_NEAR(maxX, ImGui::FindWindowByName("test")->Pos.x + ImGui::GetStyle().WindowPadding.x + 200, 1.0f);
}

TEST_F(Widgets, LongListRowLabelIsClippedBeforeTheSecondaryText) {
    const ThemePalette& p = palette();
    std::string label(200, 'W');
    gui.frame([&] {
        ImGui::SetCursorScreenPos(ImVec2(10, 10));
        ImGui::BeginChild("row", ImVec2(260, 40));
        listRowButton("##row", 0, label.c_str(), "Live", false);
        ImGui::EndChild();
    });
    float secondaryWidth = ImGui::CalcTextSize("Live").x;
    ImGuiWindow* child = ImGui::FindWindowByName("test")->DC.ChildWindows.Data[0];
    float right = child->Pos.x + child->Size.x;
    float labelMax = 0;
    ASSERT_GT(verticesWithColour(p.text, &labelMax), 0);
    EXPECT_LE(labelMax, right - 10 - secondaryWidth - 6 + 0.5f);
    EXPECT_GT(verticesWithColour(p.textSecondary), 0);
}

TEST_F(Widgets, PillMenuOpensAndARowClickClosesIt) {
    bool open = false, picked = false;
    auto body = [&] {
        ImGui::SetCursorScreenPos(ImVec2(20, 20));
        ImGui::SetNextItemWidth(200);
        open = pillMenuButton("canvas", "Horizontal");
        if (open) {
            picked |= menuItemRow("Horizontal", true);
            picked |= menuItemRow("Vertical", false);
            endPillMenu();
        }
    };
    gui.frame(body);
    EXPECT_FALSE(open);
    ImGuiID pill = ImHashStr("##pill", 0, ImHashStr("canvas", 0, rootId()));
    ASSERT_NE(ItemLog::find(pill), nullptr);
    gui.click(pill, body);
    gui.frame(body);
    ASSERT_TRUE(open);
    const LoggedItem* row = ItemLog::findByLabel("##it");
    ASSERT_NE(row, nullptr);
    EXPECT_GE(row->rect.Min.y, ItemLog::find(pill)->rect.Max.y + 4 - 0.5f);
    EXPECT_FLOAT_EQ(row->rect.GetHeight(), 28);
    // The second row.
    ImGuiID second = 0;
    ImGuiWindow* popup = ImGui::GetCurrentContext()->OpenPopupStack.Size
                             ? ImGui::GetCurrentContext()->OpenPopupStack[0].Window
                             : nullptr;
    ASSERT_NE(popup, nullptr);
    second = ImHashStr("##it", 0, idInInt(popup->ID, 1));
    ASSERT_NE(ItemLog::find(second), nullptr);
    gui.click(second, body);
    EXPECT_TRUE(picked);
    gui.frame(body);
    EXPECT_FALSE(open);
}

TEST_F(Widgets, CardRowsShareTheCardWidth) {
    float itemWidth = 0;
    gui.frame([&] {
        cardTitle("Recording");
        beginCard();
        fieldRow("Folder");
        itemWidth = ImGui::CalcItemWidth();
        ImGui::Button("x");
        fieldRow("Format");
        ImGui::Button("y");
        endCard();
    });
    float avail = 1000 - 2 * ImGui::GetStyle().WindowPadding.x;
    EXPECT_NEAR(itemWidth, avail - 12 - avail * 0.38f, 1.0f);
}
