#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <vector>

#include "app/frame_input.h"
#include "app/image_fit.h"
#include "app/studio.h"
#include "media/media_kit.h"
#include "recording/recording_fakes.h"
#include "ui/headless_gui.h"

using namespace fakes;

namespace {

class SizedSources : public ISourceCache {
public:
    SourceFrame frameFor(const Layer&) override { return {nullptr, 1, 3840, 2160, ""}; }
    void endFrame() override {}
    void clear() override {}
    std::vector<std::string> listCameras() override { return {}; }
    std::vector<std::string> listDisplays() override { return {}; }
    std::vector<std::string> listWindows() override { return {}; }
};

class StudioActions : public ::testing::Test {
protected:
    void SetUp() override {
        folder = scratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        MediaKit kit;
        auto micPtr = std::make_unique<FakeMic>();
        mic = micPtr.get();
        kit.micInput = std::move(micPtr);
        kit.compositors[0] = std::make_unique<FakeCompositor>();
        kit.compositors[1] = std::make_unique<FakeCompositor>();
        kit.sources = std::make_unique<SizedSources>();
        kit.makeRecorder = [this](Container c) { return std::make_unique<FakeRecorder>(book, c); };
        fillUnavailableParts(kit);
        studio = std::make_unique<Studio>(std::move(kit), nullptr);

        Project& p = studio->project;
        p.recordingFolder = folder + "/rec";
        for (const char* name : {"One", "Two", "Three"}) {
            Scene s;
            s.name = name;
            s.layers = {makeLayer(LayerKind::Screen, "Screen"), makeLayer(LayerKind::Camera, "Camera")};
            p.scenes.push_back(s);
        }
        studio->projectPath = folder + "/project.txt";
    }

    // One GUI frame with these keys held down (pressed in this frame) and the shortcuts handled.
    void press(std::initializer_list<ImGuiKey> keys, bool typing = false) {
        ImGuiIO& io = ImGui::GetIO();
        for (ImGuiKey k : keys) io.AddKeyEvent(k, true);
        gui.bareFrame([&] {
            if (typing) ImGui::GetIO().WantTextInput = true;
            studio->handleShortcuts();
        });
        for (ImGuiKey k : keys) io.AddKeyEvent(k, false);
        gui.bareFrame([] {});
    }

    Scene& scene() { return studio->project.scenes[static_cast<size_t>(studio->project.activeScene)]; }

    HeadlessGui gui;
    std::string folder;
    RecorderBook book;
    FakeMic* mic = nullptr;
    std::unique_ptr<Studio> studio;
};

}  // namespace

TEST_F(StudioActions, DigitsPickScenesThatExist) {
    studio->selectedLayer = 1;
    press({ImGuiKey_2});
    EXPECT_EQ(studio->project.activeScene, 1);
    EXPECT_EQ(studio->selectedLayer, -1);
    press({ImGuiKey_5});
    EXPECT_EQ(studio->project.activeScene, 1);
    press({ImGuiKey_1}, true);  // typing in a field
    EXPECT_EQ(studio->project.activeScene, 1);
}

TEST_F(StudioActions, CtrlDigitsApplyPresetsAndStartTheCrossfade) {
    studio->viewCanvas = 1;
    studio->setEditCanvas(1);
    press({ImGuiMod_Ctrl, ImGuiKey_3});
    EXPECT_EQ(scene().layoutPreset, 2);
    EXPECT_TRUE(studio->layoutApplied);
    EXPECT_EQ(studio->layoutSignature, 3);
    EXPECT_EQ(studio->editCanvas, 1);  // editing goes on where it was
    // Preset 2 puts the camera band at the top of the vertical canvas; it is in the primary slot now.
    EXPECT_FLOAT_EQ(scene().layers[1].y, 40);
    EXPECT_FLOAT_EQ(scene().layers[1].height, 760);
    EXPECT_FLOAT_EQ(scene().layers[1].verticalWidth, 440);  // the horizontal column, swapped out
}

TEST_F(StudioActions, CtrlShortcutsToggleTheirTargets) {
    press({ImGuiMod_Ctrl, ImGuiKey_M});
    EXPECT_TRUE(mic->muted);
    press({ImGuiMod_Ctrl, ImGuiKey_T});
    EXPECT_TRUE(studio->teleprompter.open);
    press({ImGuiKey_Space});
    EXPECT_TRUE(studio->teleprompter.playing);
    press({ImGuiMod_Ctrl, ImGuiKey_T});
    press({ImGuiKey_Space});  // closed: space does nothing
    EXPECT_TRUE(studio->teleprompter.playing);
    press({ImGuiMod_Ctrl, ImGuiKey_Comma});
    EXPECT_TRUE(studio->settings.open);
    press({ImGuiMod_Ctrl, ImGuiKey_Comma});
    EXPECT_FALSE(studio->settings.open);
}

TEST_F(StudioActions, CtrlRRecordsAndCtrlPPauses) {
    press({ImGuiMod_Ctrl, ImGuiKey_R});
    ASSERT_TRUE(studio->recording.recording);
    press({ImGuiMod_Ctrl, ImGuiKey_P});
    EXPECT_TRUE(studio->recording.paused);
    press({ImGuiMod_Ctrl, ImGuiKey_P});
    EXPECT_FALSE(studio->recording.paused);
    studio->recordingStartedByLive = true;
    press({ImGuiMod_Ctrl, ImGuiKey_R});
    EXPECT_FALSE(studio->recording.recording);
    EXPECT_FALSE(studio->recordingStartedByLive);
    EXPECT_EQ(studio->toast.text.rfind("Saved ", 0), 0u);
    EXPECT_EQ(studio->toast.folder, studio->recording.savedFiles.back());
}

// Key messages as the window delivers them, frames taking them as the message loop does: each
// burst arrives before the frame of its index. xdotool and a quick hand release Ctrl before the
// letter, and on a busy frame the letter and the release come in together.
TEST_F(StudioActions, ChordsSurviveTheirModifierBeingReleasedInTheSameBurst) {
    struct Message {
        ImGuiKey key;
        bool down, ctrlHeld;
    };
    const Message ctrlDown{ImGuiKey_LeftCtrl, true, true}, ctrlUp{ImGuiKey_LeftCtrl, false, false};
    const Message tDown{ImGuiKey_T, true, true}, tUp{ImGuiKey_T, false, false}, bareT{ImGuiKey_T, true, false};
    struct Case {
        const char* name;
        std::vector<std::vector<Message>> bursts;
        bool open;  // the teleprompter after them
    };
    const Case cases[] = {
        {"Ctrl earlier, the rest at once", {{ctrlDown}, {tDown, ctrlUp, tUp}}, true},
        {"all at once", {{ctrlDown, tDown, ctrlUp, tUp}}, true},
        {"twice at once", {{ctrlDown, tDown, ctrlUp, tUp, ctrlDown, tDown, ctrlUp, tUp}}, false},
        {"again before the GUI took the first", {{bareT, tUp, ctrlDown, tDown}, {ctrlUp, tUp}}, true},
        {"no Ctrl", {{bareT, tUp}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        studio->teleprompter.open = false;
        std::deque<Message> waiting;
        for (size_t frame = 0; frame < c.bursts.size() + 8; ++frame) {
            if (frame < c.bursts.size()) waiting.insert(waiting.end(), c.bursts[frame].begin(), c.bursts[frame].end());
            takeFrameMessages([&](bool withInput) {
                if (!withInput || waiting.empty()) return false;
                const Message m = waiting.front();
                waiting.pop_front();
                ImGui::GetIO().AddKeyEvent(ImGuiMod_Ctrl, m.ctrlHeld);
                ImGui::GetIO().AddKeyEvent(m.key, m.down);
                return true;
            });
            gui.bareFrame([&] { studio->handleShortcuts(); });
        }
        EXPECT_TRUE(waiting.empty());
        EXPECT_EQ(studio->teleprompter.open, c.open);
    }
}

TEST_F(StudioActions, RefusedRecordingSaysWhy) {
    studio->project.recordHorizontal = false;
    studio->toggleRecord();
    EXPECT_FALSE(studio->recording.recording);
    EXPECT_EQ(studio->toast.text, "Could not record: Choose a canvas to record in Settings");
    EXPECT_TRUE(studio->toast.folder.empty());
}

TEST_F(StudioActions, CtrlSSavesHorizontalRectanglesAndKeepsTheVerticalEdit) {
    scene().layers[1].x = 11;
    scene().layers[1].verticalX = 22;
    studio->viewCanvas = 1;
    studio->setEditCanvas(1);
    press({ImGuiMod_Ctrl, ImGuiKey_S});
    EXPECT_EQ(studio->toast.text, "Project saved");
    EXPECT_EQ(studio->editCanvas, 1);
    EXPECT_FLOAT_EQ(scene().layers[1].x, 22);
    Project saved;
    ASSERT_TRUE(saved.load(studio->projectPath));
    EXPECT_FLOAT_EQ(saved.scenes[0].layers[1].x, 11);
    EXPECT_FLOAT_EQ(saved.scenes[0].layers[1].verticalX, 22);

    studio->projectPath = folder + "/missing/deeper/project.txt";
    press({ImGuiMod_Ctrl, ImGuiKey_S});
    EXPECT_EQ(studio->toast.text, "Could not save");
    studio->toast.text.clear();
    press({ImGuiMod_Ctrl, ImGuiKey_S}, true);
    EXPECT_TRUE(studio->toast.text.empty());
}

TEST_F(StudioActions, FunctionKeysFlipBothCanvasesFromThePrimarySlot) {
    Layer& cam = scene().layers[1];
    cam.toggleKey = 4;
    cam.verticalVisible = false;  // hidden on the vertical canvas only
    press({ImGuiKey_F4});
    EXPECT_FALSE(scene().layers[1].visible);
    EXPECT_FALSE(scene().layers[1].verticalVisible);
    press({ImGuiMod_Shift, ImGuiKey_F4});
    EXPECT_TRUE(scene().layers[1].visible);
    EXPECT_TRUE(scene().layers[1].verticalVisible);
    press({ImGuiKey_F4}, true);
    EXPECT_TRUE(scene().layers[1].visible);
}

TEST_F(StudioActions, ArrowsNudgeDeleteRemovesCtrlDDuplicates) {
    studio->selectedLayer = 1;
    const float x = scene().layers[1].x;
    const float y = scene().layers[1].y;
    press({ImGuiKey_RightArrow});
    press({ImGuiMod_Shift, ImGuiKey_RightArrow});
    press({ImGuiKey_UpArrow});
    press({ImGuiKey_DownArrow});
    press({ImGuiKey_DownArrow});
    press({ImGuiKey_LeftArrow});
    EXPECT_FLOAT_EQ(scene().layers[1].x, x + 10);
    EXPECT_FLOAT_EQ(scene().layers[1].y, y + 1);
    scene().layers[1].locked = true;
    press({ImGuiMod_Shift, ImGuiKey_RightArrow});
    EXPECT_FLOAT_EQ(scene().layers[1].x, x + 10);

    press({ImGuiMod_Ctrl, ImGuiKey_D});
    EXPECT_EQ(studio->selectedLayer, 2);
    EXPECT_EQ(scene().layers[2].name, "Camera copy");
    press({ImGuiKey_Delete, ImGuiMod_Ctrl, ImGuiKey_D});  // Delete wins over Ctrl+D
    EXPECT_EQ(studio->selectedLayer, -1);
    EXPECT_EQ(scene().layers.size(), 2u);
    studio->selectedLayer = 0;
    press({ImGuiKey_Delete}, true);
    EXPECT_EQ(scene().layers.size(), 2u);
}

TEST_F(StudioActions, AddedLayersAreNumberedAndMatchTheEditedCanvas) {
    studio->addLayer(LayerKind::Text);
    studio->addLayer(LayerKind::Text);
    EXPECT_EQ(scene().layers[2].name, "Text");
    EXPECT_EQ(scene().layers[3].name, "Text 2");
    EXPECT_EQ(studio->selectedLayer, 3);
    studio->addLayer(LayerKind::Camera);
    EXPECT_EQ(scene().layers.back().name, "Camera 2");

    studio->setEditCanvas(1);
    studio->addLayer(LayerKind::Chat);
    const Layer made = makeLayer(LayerKind::Chat, "Chat");
    EXPECT_FLOAT_EQ(scene().layers.back().x, made.verticalX);
    EXPECT_FLOAT_EQ(scene().layers.back().verticalX, made.x);
}

TEST(ImageFit, LargePicturesShrinkAndStayCentred) {
    Layer image = makeLayer(LayerKind::Image, "Image");
    fitImageLayer(image, 3840, 2160);
    EXPECT_FLOAT_EQ(image.x, 0);
    EXPECT_FLOAT_EQ(image.y, 0);
    EXPECT_FLOAT_EQ(image.width, 1920);
    EXPECT_FLOAT_EQ(image.height, 1080);
    EXPECT_FLOAT_EQ(image.verticalX, 0);
    EXPECT_FLOAT_EQ(image.verticalY, 656.25f);
    EXPECT_FLOAT_EQ(image.verticalWidth, 1080);
    EXPECT_FLOAT_EQ(image.verticalHeight, 607.5f);
    EXPECT_TRUE(image.verticalVisible);

    const LayoutRect small = fittedImageRect(0, 200, 100);  // never enlarged
    EXPECT_FLOAT_EQ(small.x, 860);
    EXPECT_FLOAT_EQ(small.y, 490);
    EXPECT_FLOAT_EQ(small.width, 200);

    Layer unknown = makeLayer(LayerKind::Image, "Image");
    const Layer before = unknown;
    fitImageLayer(unknown, 0, 0);
    EXPECT_EQ(unknown, before);
}
