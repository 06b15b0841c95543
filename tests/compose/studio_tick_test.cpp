#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "app/studio.h"
#include "app/studio_tick.h"
#include "media/media_kit.h"
#include "media/source_cache.h"
#include "project/project.h"
#include "ui/headless_gui.h"

namespace {

int64_t gNow = 0;
int64_t fakeNow() { return gNow; }
constexpr int64_t kMs = 1000000;

struct SeenLayer {
  float x, y, width, height;
  bool visible;
};

class FakeCompositor : public ICompositor {
 public:
  bool init() override { return true; }
  bool resize(int w, int h) override {
    width = w;
    height = h;
    return true;
  }
  void render(const Scene& scene, ISourceCache& sources, float dw, float dh) override {
    ++renders;
    designWidth = dw;
    designHeight = dh;
    seen.clear();
    for (const Layer& l : scene.layers) {
      seen.push_back({l.x, l.y, l.width, l.height, l.visible});
      if (l.visible && l.width > 0 && l.height > 0) sources.frameFor(l);
    }
  }
  void snapshot() override { ++snapshots; }
  void setFade(float f) override { fades.push_back(f); }
  ID3D11ShaderResourceView* canvasView() override { return nullptr; }
  const uint8_t* mapPixels(int* pitch) override {
    ++maps;
    *pitch = 16;
    return failMap ? nullptr : pixels;
  }
  void unmapPixels() override { ++unmaps; }

  int width = 0, height = 0, renders = 0, snapshots = 0, maps = 0, unmaps = 0;
  float designWidth = 0, designHeight = 0;
  bool failMap = false;
  std::vector<float> fades;
  std::vector<SeenLayer> seen;
  uint8_t pixels[64] = {};
};

class FakeCamera : public IVirtualCamera {
 public:
  bool start() override {
    ++starts;
    running = startSucceeds;
    return running;
  }
  void stop() override {
    ++stops;
    running = false;
  }
  bool isRunning() const override { return running; }
  void pushFrame(const uint8_t*, int stride, int w, int h) override {
    frames.push_back(gNow);
    lastSize = {stride, w, h};
  }
  std::string lastError() const override { return "no camera"; }

  bool startSucceeds = true, running = false;
  int starts = 0, stops = 0;
  std::vector<int64_t> frames;
  std::array<int, 3> lastSize{};
};

class FakeInput : public IAudioInput {
 public:
  void start(const AudioInputSettings& s) override { started.push_back(s); }
  void stop() override { ++stops; }
  float level() const override { return 0; }
  bool isMuted() const override { return false; }
  void setMuted(bool) override {}
  int sampleRate() const override { return 48000; }
  std::string status() const override { return {}; }
  std::string activeEffects() const override { return {}; }
  void setCollecting(bool on) override { collecting = on; }
  void takeSamples(std::vector<int16_t>& s) override { s.assign(4, 100); }

  std::vector<AudioInputSettings> started;
  int stops = 0;
  bool collecting = false;
};

// Text sources measure 200 x 80; everything else 64 x 32. Destructions are counted per key.
class FakeSource : public ISource {
 public:
  FakeSource(int w, int h, int& destroyed) : w(w), h(h), destroyed(destroyed) {}
  ~FakeSource() override { ++destroyed; }
  void update() override {}
  SourceFrame frame() override { return {nullptr, 1, w, h, ""}; }

 private:
  int w, h;
  int& destroyed;
};

class StudioTick : public ::testing::Test {
 protected:
  void SetUp() override {
    gNow = 1000 * kMs;
    setStudioTickClock(fakeNow);
    MediaKit kit;
    auto c0 = std::make_unique<FakeCompositor>();
    auto c1 = std::make_unique<FakeCompositor>();
    auto cam = std::make_unique<FakeCamera>();
    auto mic = std::make_unique<FakeInput>();
    auto desk = std::make_unique<FakeInput>();
    comp[0] = c0.get();
    comp[1] = c1.get();
    camera = cam.get();
    micInput = mic.get();
    desktopInput = desk.get();
    kit.compositors[0] = std::move(c0);
    kit.compositors[1] = std::move(c1);
    kit.virtualCamera = std::move(cam);
    kit.micInput = std::move(mic);
    kit.desktopInput = std::move(desk);
    kit.sources = std::make_unique<SourceCache>(SourceMakers{[this](const Layer& l) -> std::unique_ptr<ISource> {
      const bool text = l.kind == LayerKind::Text;
      return std::make_unique<FakeSource>(text ? 200 : 64, text ? 80 : 32, destroyed[sourceKey(l)]);
    }});
    fillUnavailableParts(kit);
    studio = std::make_unique<Studio>(std::move(kit), nullptr);
    Scene a, b;
    a.name = "A";
    b.name = "B";
    Layer image = makeLayer(LayerKind::Image, "img");
    image.x = 100;
    image.verticalX = 7;
    image.verticalY = 8;
    image.verticalWidth = 500;
    image.verticalHeight = 600;
    a.layers = {image, makeTextLayer("title", "Hi", 96, 960, 540)};
    b.layers = {makeLayer(LayerKind::Color, "bg")};
    studio->project.scenes = {a, b};
  }
  void TearDown() override { setStudioTickClock(nullptr); }

  void tickAt(int64_t t) {
    gNow = t;
    studio->tick();
  }

  std::map<std::string, int> destroyed;  // outlives the studio's sources
  std::unique_ptr<Studio> studio;
  FakeCompositor* comp[2] = {};
  FakeCamera* camera = nullptr;
  FakeInput* micInput = nullptr;
  FakeInput* desktopInput = nullptr;
};

TEST(TickArithmetic, FadeWeightsFollowTheEasedCurve) {
  EXPECT_FLOAT_EQ(transitionWeight(0, 0, 400), 1.0f);
  EXPECT_FLOAT_EQ(transitionWeight(100 * kMs, 0, 400), 0.84375f);
  EXPECT_FLOAT_EQ(transitionWeight(200 * kMs, 0, 400), 0.5f);
  EXPECT_FLOAT_EQ(transitionWeight(400 * kMs, 0, 400), 0.0f);
  EXPECT_FLOAT_EQ(transitionWeight(9000 * kMs, 0, 400), 0.0f);
  EXPECT_FLOAT_EQ(transitionWeight(0, 0, 0), 0.0f);
  EXPECT_FLOAT_EQ(transitionWeight(0, 0, -5), 0.0f);
  EXPECT_NEAR(frameIntervalFor(30, 60), 16.6667, 1e-3);
  EXPECT_DOUBLE_EQ(frameIntervalFor(0, -3), 1000.0);
}

TEST_F(StudioTick, EachCanvasRendersItsOwnRectanglesAndTheSlotReturnsToHorizontal) {
  tickAt(gNow);
  ASSERT_EQ(comp[0]->renders, 1);
  ASSERT_EQ(comp[1]->renders, 1);
  EXPECT_FLOAT_EQ(comp[0]->seen[0].x, 100);
  EXPECT_FLOAT_EQ(comp[1]->seen[0].x, 7);
  EXPECT_FLOAT_EQ(comp[1]->seen[0].height, 600);
  EXPECT_EQ(comp[0]->designWidth, 1920);
  EXPECT_EQ(comp[1]->designWidth, 1080);
  EXPECT_EQ(comp[1]->designHeight, 1920);
  EXPECT_EQ(comp[0]->width, 1920);
  EXPECT_EQ(comp[1]->height, 1920);
  EXPECT_EQ(studio->editCanvas, 0);
  EXPECT_FLOAT_EQ(studio->project.scenes[0].layers[0].x, 100);

  // Starting while the vertical canvas is edited ends the same way.
  studio->setEditCanvas(1);
  tickAt(gNow + 16 * kMs);
  EXPECT_EQ(studio->editCanvas, 0);
  EXPECT_FLOAT_EQ(studio->project.scenes[0].layers[0].x, 100);
  EXPECT_FLOAT_EQ(studio->project.scenes[0].layers[0].verticalX, 7);
  EXPECT_FLOAT_EQ(comp[1]->seen[0].x, 7);
}

TEST_F(StudioTick, UnmeasuredTextIsMeasuredOnBothCanvasesAroundItsCentre) {
  tickAt(gNow);
  const Layer& t = studio->project.scenes[0].layers[1];
  EXPECT_FLOAT_EQ(t.width, 200);
  EXPECT_FLOAT_EQ(t.height, 80);
  EXPECT_FLOAT_EQ(t.x, 860);
  EXPECT_FLOAT_EQ(t.y, 500);
  EXPECT_FLOAT_EQ(t.verticalWidth, 200);
  EXPECT_FLOAT_EQ(t.verticalX, 440);
  EXPECT_FLOAT_EQ(t.verticalY, 920);
  tickAt(gNow + 16 * kMs);
  EXPECT_FLOAT_EQ(studio->project.scenes[0].layers[1].x, 860) << "measured once";
}

TEST_F(StudioTick, SceneChangeSnapshotsOnceAndFadesOver400ms) {
  studio->project.transitionMs = 400;
  tickAt(gNow);
  EXPECT_EQ(comp[0]->snapshots, 0) << "nothing shown before the first tick";
  const int64_t start = gNow + 50 * kMs;
  studio->project.activeScene = 1;
  const int64_t offsets[] = {0, 100, 200, 400};
  const float expected[] = {1.0f, 0.84375f, 0.5f, 0.0f};
  for (int i = 0; i < 4; ++i) {
    tickAt(start + offsets[i] * kMs);
    EXPECT_FLOAT_EQ(comp[0]->fades.back(), expected[i]) << offsets[i];
    EXPECT_FLOAT_EQ(comp[1]->fades.back(), expected[i]) << offsets[i];
  }
  EXPECT_EQ(comp[0]->snapshots, 1);
  EXPECT_EQ(comp[1]->snapshots, 1);
}

TEST_F(StudioTick, CutsWithoutTransitionAndCrossfadesAfterALayout) {
  studio->project.transitionMs = 0;
  tickAt(gNow);
  studio->project.activeScene = 1;
  tickAt(gNow + 16 * kMs);
  EXPECT_EQ(comp[0]->snapshots, 0);
  EXPECT_FLOAT_EQ(comp[0]->fades.back(), 0.0f);

  studio->project.transitionMs = 400;
  studio->layoutApplied = true;
  tickAt(gNow + 16 * kMs);
  EXPECT_EQ(comp[0]->snapshots, 1);
  EXPECT_EQ(comp[1]->snapshots, 1);
  EXPECT_FALSE(studio->layoutApplied);
  EXPECT_FLOAT_EQ(comp[0]->fades.back(), 1.0f);
}

TEST_F(StudioTick, HiddenLayersLoseTheirSourcesAtTheEndOfTheTick) {
  tickAt(gNow);
  EXPECT_EQ(destroyed["I|"], 0);
  studio->project.scenes[0].layers[0].visible = false;
  studio->project.scenes[0].layers[0].verticalVisible = false;
  tickAt(gNow + 16 * kMs);
  EXPECT_EQ(destroyed["I|"], 1);
}

TEST_F(StudioTick, NoScenesStillRendersBothCanvases) {
  studio->project.scenes.clear();
  studio->project.activeScene = 3;
  tickAt(gNow);
  EXPECT_EQ(comp[0]->renders, 1);
  EXPECT_TRUE(comp[1]->seen.empty());
}

TEST_F(StudioTick, VirtualCameraGetsThirtyFramesASecondAt144Passes) {
  studio->project.virtualCamera = true;
  studio->project.virtualCameraCanvas = 1;
  const int64_t begin = gNow;
  for (int i = 0; i < 288; ++i) tickAt(begin + int64_t(i) * 1000000000 / 144);
  EXPECT_EQ(camera->starts, 1);
  int inSecondSecond = 0;
  for (int64_t t : camera->frames) inSecondSecond += t >= begin + 1000000000LL;
  EXPECT_EQ(inSecondSecond, 30);
  EXPECT_EQ(comp[1]->maps, int(camera->frames.size()));
  EXPECT_EQ(comp[1]->unmaps, comp[1]->maps);
  EXPECT_EQ(comp[0]->maps, 0);
  EXPECT_EQ(camera->lastSize, (std::array<int, 3>{16, 1080, 1920}));

  // A one-second stall: the next pass sends at once, then the pace resumes.
  const int64_t after = begin + 3 * 1000000000LL;
  tickAt(after);
  EXPECT_EQ(camera->frames.back(), after);
  const std::size_t sent = camera->frames.size();
  for (int i = 1; i <= 144; ++i) tickAt(after + int64_t(i) * 1000000000 / 144);
  EXPECT_NEAR(double(camera->frames.size() - sent), 30.0, 1.0);
}

TEST_F(StudioTick, FailedReadBackSkipsTheFrameButKeepsTheSchedule) {
  studio->project.virtualCamera = true;
  comp[0]->failMap = true;
  studio->nextVirtualCameraFrame = gNow;  // on schedule
  tickAt(gNow);
  EXPECT_TRUE(camera->frames.empty());
  EXPECT_EQ(comp[0]->unmaps, 0);
  tickAt(gNow + 10 * kMs);
  EXPECT_EQ(comp[0]->maps, 1) << "not due again yet";
}

TEST_F(StudioTick, AFailedCameraStartIsNotRetriedUntilTurnedOff) {
  camera->startSucceeds = false;
  studio->project.virtualCamera = true;
  tickAt(gNow);
  tickAt(gNow + 40 * kMs);
  EXPECT_EQ(camera->starts, 1);
  EXPECT_TRUE(studio->virtualCameraFailed);
  studio->project.virtualCamera = false;
  tickAt(gNow + 80 * kMs);
  EXPECT_FALSE(studio->virtualCameraFailed);
  camera->startSucceeds = true;
  studio->project.virtualCamera = true;
  tickAt(gNow + 120 * kMs);
  EXPECT_EQ(camera->starts, 2);
  EXPECT_TRUE(camera->running);
  studio->project.virtualCamera = false;
  tickAt(gNow + 160 * kMs);
  EXPECT_EQ(camera->stops, 1);
}

TEST_F(StudioTick, AudioInputsStartOnceAndCollectOnlyWhenNeeded) {
  studio->project.micDeviceId = "mic-7";
  studio->project.voiceProcessing = false;
  tickAt(gNow);
  tickAt(gNow + 16 * kMs);
  ASSERT_EQ(micInput->started.size(), 1u);
  EXPECT_EQ(micInput->started[0].deviceId, "mic-7");
  EXPECT_FALSE(micInput->started[0].loopback);
  EXPECT_FALSE(micInput->started[0].voiceProcessing);
  ASSERT_EQ(desktopInput->started.size(), 1u);
  EXPECT_TRUE(desktopInput->started[0].loopback);
  EXPECT_FALSE(micInput->collecting);
  EXPECT_TRUE(studio->mixedSamples.empty());
  EXPECT_TRUE(studio->micSamples.empty());

  studio->project.desktopAudio = false;
  tickAt(gNow + 32 * kMs);
  EXPECT_EQ(desktopInput->stops, 1);
  EXPECT_EQ(micInput->started.size(), 2u);
  EXPECT_FALSE(studio->audioOn);

  // A new microphone, then voice processing turned on: each is applied by the next tick, once.
  studio->project.micDeviceId = "mic-9";
  tickAt(gNow + 48 * kMs);
  tickAt(gNow + 64 * kMs);
  ASSERT_EQ(micInput->started.size(), 3u);
  EXPECT_EQ(micInput->started[2].deviceId, "mic-9");
  EXPECT_FALSE(micInput->started[2].voiceProcessing);
  studio->project.voiceProcessing = true;
  tickAt(gNow + 80 * kMs);
  tickAt(gNow + 96 * kMs);
  ASSERT_EQ(micInput->started.size(), 4u);
  EXPECT_EQ(micInput->started[3].deviceId, "mic-9");
  EXPECT_TRUE(micInput->started[3].voiceProcessing);
}

}  // namespace

namespace {

TEST_F(StudioTick, RecordingStatusBecomesANoticeWithTheSavedFile) {
  HeadlessGui gui;  // notices keep GUI time
  studio->recording.savedFiles = {L"C:\\Videos\\one.mp4", L"C:\\Videos\\two.mp4"};
  studio->recording.status = "Saved two.mp4  \xC2\xB7  click to show in folder";
  tickAt(gNow);
  EXPECT_EQ(studio->toast.text, "Saved two.mp4  \xC2\xB7  click to show in folder");
  EXPECT_EQ(studio->toast.folder, L"C:\\Videos\\two.mp4");
  EXPECT_TRUE(studio->recording.status.empty());

  studio->recording.status = "Disk almost full";
  tickAt(gNow + 16 * kMs);
  EXPECT_EQ(studio->toast.text, "Disk almost full");
  EXPECT_TRUE(studio->toast.folder.empty());
}

}  // namespace
