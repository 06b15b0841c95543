#include <gtest/gtest.h>

#include "ui/gui_script.h"
#include "ui/inspector.h"

namespace {

// The inspector in the test window, over a scene of given layers.
class InspectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        setTheme(false, "Studio");
        ImGui::GetIO().DisplaySize = ImVec2(1280, 3000);
    }
    // The inspector's column, tall enough that nothing needs scrolling.
    void draw() {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImVec2(320, 3000));
        ImGui::Begin("inspector", nullptr, ImGuiWindowFlags_NoDecoration);
        InspectorActions a;
        drawLayerInspector(tab, a, scene, selected, context);
        ImGui::End();
        actions.chooseLut |= a.chooseLut;
        actions.chooseImage |= a.chooseImage;
        actions.refreshSources |= a.refreshSources;
    }
    void show(std::vector<Layer> layers, int select) {
        scene.layers = std::move(layers);
        // No spare room: a copy or a move that keeps a stale reference shows up under ASan.
        scene.layers.shrink_to_fit();
        selected = select;
        ItemLog::clear();
        script.frames(2);
    }
    ImGuiID id(std::initializer_list<GuiScript::Scope> path) {
        return GuiScript::id("inspector", path);
    }

    HeadlessGui gui;
    Scene scene;
    int selected = -1;
    int tab = 0;
    InspectorContext context;
    InspectorActions actions;
    GuiScript script{gui, [this] { gui.bareFrame([this] { draw(); }); }};
};

}  // namespace

TEST_F(InspectorTest, TabsFollowTheKindAndNoSelectionDrawsNoControls) {
    tab = 1;
    show({makeLayer(LayerKind::Text, "Title"), makeLayer(LayerKind::Camera, "Cam")}, 0);
    EXPECT_EQ(tab, 0);  // text layers have no Filters tab
    EXPECT_FALSE(script.exists(id({"##tabs", 1, "##seg"})));
    show(scene.layers, 1);
    script.click(id({"##tabs", 1, "##seg"}));
    script.click(id({"##chroma"}));
    EXPECT_TRUE(scene.layers[1].chromaKey);
    show(scene.layers, 5);
    EXPECT_FALSE(script.exists(id({"##name"})));
}

TEST_F(InspectorTest, ArrangeRowsUseTheViewedCanvas) {
    Layer image = makeLayer(LayerKind::Image, "Photo");
    image.width = 960;
    image.height = 100;
    context.source.width = 1920;
    context.source.height = 1080;
    show({image}, 0);
    script.clickLabel("Source aspect");
    EXPECT_FLOAT_EQ(scene.layers[0].height, 540);

    scene.layers[0].width = 1920;
    context.canvasSize = ImVec2(1080, 1920);
    script.clickLabel("Centre");
    script.clickLabel("Bottom");
    EXPECT_FLOAT_EQ(scene.layers[0].x, -420);
    EXPECT_FLOAT_EQ(scene.layers[0].y, 1920 - 540);

    // A typed width below the minimum is raised to it.
    ImGui::GetIO().AddKeyEvent(ImGuiMod_Ctrl, true);
    script.click(id({"##aSize"}));
    ImGui::GetIO().AddKeyEvent(ImGuiMod_Ctrl, false);
    script.key(ImGuiKey_A, true);
    script.type("3");
    script.key(ImGuiKey_Enter);
    EXPECT_FLOAT_EQ(scene.layers[0].width, 16);

    // Not loaded yet: "Source aspect" cannot be clicked.
    context.source.width = 0;
    scene.layers[0].height = 77;
    script.clickLabel("Source aspect");
    EXPECT_FLOAT_EQ(scene.layers[0].height, 77);
}

TEST_F(InspectorTest, StackButtonsKeepTheSelectionOnTheLayer) {
    show({makeLayer(LayerKind::Color, "A"), makeLayer(LayerKind::Color, "B")}, 0);
    script.clickLabel("Duplicate");
    ASSERT_EQ(scene.layers.size(), 3u);
    EXPECT_EQ(selected, 2);
    EXPECT_EQ(scene.layers[2].name, "A copy");
    show(scene.layers, 1);
    script.click(id({int(0xE136), "Send backward", "##ib"}));
    EXPECT_EQ(selected, 0);
    EXPECT_EQ(scene.layers[0].name, "B");
    scene.layers.shrink_to_fit();
    script.clickLabel("Delete");
    EXPECT_EQ(selected, -1);
    ASSERT_EQ(scene.layers.size(), 2u);
    EXPECT_EQ(scene.layers[0].name, "A");
}

TEST_F(InspectorTest, PhoneCameraAndChoosersReportActions) {
    Layer camera = makeLayer(LayerKind::Camera, "Cam");
    camera.deviceIndex = kPhoneCameraIndex;
    std::vector<std::string> cameras = {"USB Camera"};
    context.cameraNames = cameras;
    show({camera}, 0);
    script.click(id({int(0xE038), "Refresh camera list", "##ib"}));
    EXPECT_TRUE(actions.refreshSources);
    EXPECT_EQ(scene.layers[0].deviceIndex, kPhoneCameraIndex);
    context.source.status = "100% %s%n%d";  // drawn as text, never as a format
    scene.layers[0].name = "%s%n";
    script.click(id({"##tabs", 1, "##seg"}));
    script.clickLabel("Choose\xE2\x80\xA6");
    EXPECT_TRUE(actions.chooseLut);
    EXPECT_FALSE(actions.chooseImage);
}
