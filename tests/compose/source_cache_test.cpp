#include <gtest/gtest.h>

#include <cmath>

#include <map>
#include <memory>

#include "media/media_kit.h"
#include "media/source_cache.h"
#include "project/project.h"

namespace {

struct Counts {
  int made = 0, updates = 0, destroyed = 0;
  bool removeBackground = false;
};

class FakeSource : public ISource {
 public:
  explicit FakeSource(Counts& c) : counts(c) { ++counts.made; }
  ~FakeSource() override { ++counts.destroyed; }
  void update() override { ++counts.updates; }
  SourceFrame frame() override {
    SourceFrame f;
    f.view = reinterpret_cast<ID3D11ShaderResourceView*>(&counts);
    f.mode = 2;
    f.width = 64;
    f.height = 32;
    return f;
  }
  void setRemoveBackground(bool on) override { counts.removeBackground = on; }

 private:
  Counts& counts;
};

class SourceCacheTest : public ::testing::Test {
 protected:
  SourceCacheTest()
      : cache(SourceMakers{[this](const Layer& l) -> std::unique_ptr<ISource> {
                             return std::make_unique<FakeSource>(counts[sourceKey(l)]);
                           },
                           [] { return std::vector<std::string>{"Cam"}; }, nullptr, nullptr}) {}
  std::map<std::string, Counts> counts;
  SourceCache cache;
};

TEST(SourceKey, OneKeyPerKind) {
  Layer t = makeTextLayer("t", "Hello", 96.7f, 0, 0);
  EXPECT_EQ(sourceKey(t), "T|96|Hello");
  t.fontSize = 96.4f;
  EXPECT_EQ(sourceKey(t), "T|96|Hello");
  Layer i = makeLayer(LayerKind::Image, "i");
  i.source = "C:\\a.png";
  EXPECT_EQ(sourceKey(i), "I|C:\\a.png");
  Layer s = makeLayer(LayerKind::Screen, "s");
  s.deviceIndex = 2;
  EXPECT_EQ(sourceKey(s), "S|2");
  Layer c = makeLayer(LayerKind::Camera, "c");
  c.deviceIndex = 1000;
  EXPECT_EQ(sourceKey(c), "C|1000");
  Layer w = makeLayer(LayerKind::GameOrApp, "w");
  w.source = "Game";
  EXPECT_EQ(sourceKey(w), "W|Game");
  Layer chat = makeLayer(LayerKind::Chat, "chat");
  chat.colour = {1, 0.5f, 0, 1};
  chat.liveText = "x";
  EXPECT_EQ(sourceKey(chat), "L|6|30|520x560|255,127,0|x");
  Layer odd;
  odd.kind = 9;
  EXPECT_EQ(sourceKey(odd), "");
  EXPECT_EQ(sourceKey(Layer{}), "");
}

TEST(SourceKey, DifferentColoursNeverShareAKey) {
  Layer a = makeLayer(LayerKind::LiveCounter, "a");
  Layer b = a;
  a.colour = {1.0f / 255, 23.0f / 255 + 1e-4f, 0, 1};  // 1, 23, 0
  b.colour = {12.0f / 255 + 1e-4f, 3.0f / 255 + 1e-4f, 0, 1};  // 12, 3, 0
  EXPECT_NE(sourceKey(a), sourceKey(b));
}

TEST(SourceKey, HostileSizesDoNotOverflow) {
  Layer l = makeLayer(LayerKind::Chat, "c");
  l.fontSize = INFINITY;
  l.width = 1e30f;
  l.height = NAN;
  l.colour = {-INFINITY, 1e20f, NAN, 1};
  EXPECT_EQ(sourceKey(l), "L|6|2147483647|2147483647x0|-2147483648,2147483647,0|");
}

TEST_F(SourceCacheTest, ColourLayersNeedNoSource) {
  const SourceFrame f = cache.frameFor(makeLayer(LayerKind::Color, "bg"));
  EXPECT_EQ(f.view, nullptr);
  EXPECT_TRUE(counts.empty());
  EXPECT_EQ(cache.liveSources(), 0u);
}

TEST_F(SourceCacheTest, OneUpdatePerTickHoweverOftenAsked) {
  Layer screen = makeLayer(LayerKind::Screen, "s");
  for (int tick = 0; tick < 3; ++tick) {
    const SourceFrame f = cache.frameFor(screen);  // canvas 0
    EXPECT_EQ(f.width, 64);
    cache.frameFor(screen);  // canvas 1
    Layer twin = screen;     // a second layer on the same display
    twin.x = 100;
    cache.frameFor(twin);
    cache.endFrame();
  }
  const Counts& c = counts["S|0"];
  EXPECT_EQ(c.made, 1);
  EXPECT_EQ(c.updates, 3);
  EXPECT_EQ(c.destroyed, 0);
}

TEST_F(SourceCacheTest, UnaskedSourcesAreSweptAndMadeAfresh) {
  Layer cam = makeLayer(LayerKind::Camera, "c");
  cache.frameFor(cam);
  cache.endFrame();
  cache.endFrame();  // hidden for one tick
  EXPECT_EQ(counts["C|0"].destroyed, 1);
  EXPECT_EQ(cache.liveSources(), 0u);
  cache.frameFor(cam);
  EXPECT_EQ(counts["C|0"].made, 2);
  EXPECT_EQ(counts["C|0"].updates, 2);
}

TEST_F(SourceCacheTest, AKeyChangeMakesANewSourceAndSweepsTheOld) {
  Layer chat = makeLayer(LayerKind::Chat, "chat");
  chat.liveText = "one";
  cache.frameFor(chat);
  cache.endFrame();
  chat.liveText = "two";
  cache.frameFor(chat);
  cache.endFrame();
  EXPECT_EQ(counts[sourceKey(chat)].made, 1);
  chat.liveText = "one";
  EXPECT_EQ(counts[sourceKey(chat)].destroyed, 1);
  EXPECT_EQ(cache.liveSources(), 1u);
}

TEST_F(SourceCacheTest, InspectorKeepsAHiddenLayerAlive) {
  Layer cam = makeLayer(LayerKind::Camera, "c");
  cam.removeBackground = true;
  cache.frameFor(cam);
  cache.endFrame();
  for (int tick = 0; tick < 4; ++tick) {
    cache.frameFor(cam);  // only the inspector asks
    cache.endFrame();
  }
  EXPECT_EQ(counts["C|0"].made, 1);
  EXPECT_EQ(counts["C|0"].updates, 5);
  EXPECT_TRUE(counts["C|0"].removeBackground);
}

TEST_F(SourceCacheTest, LastCameraLayerAskedSetsBackgroundRemoval) {
  Layer a = makeLayer(LayerKind::Camera, "a");
  Layer b = a;
  a.removeBackground = true;
  cache.frameFor(a);
  EXPECT_TRUE(counts["C|0"].removeBackground);
  cache.frameFor(b);
  EXPECT_FALSE(counts["C|0"].removeBackground);
  EXPECT_EQ(counts["C|0"].made, 1);
}

TEST_F(SourceCacheTest, EndFrameWithoutRequestsDropsEverythingAndClearEmpties) {
  cache.frameFor(makeLayer(LayerKind::Image, "i"));
  cache.frameFor(makeLayer(LayerKind::Screen, "s"));
  EXPECT_EQ(cache.liveSources(), 2u);
  const auto gen = cache.currentGeneration();
  cache.endFrame();
  cache.endFrame();
  EXPECT_EQ(cache.liveSources(), 0u);
  EXPECT_EQ(cache.currentGeneration(), gen + 2);
  cache.frameFor(makeLayer(LayerKind::Image, "i"));
  cache.clear();
  EXPECT_EQ(cache.liveSources(), 0u);
  EXPECT_EQ(counts["I|"].destroyed, 2);
  EXPECT_EQ(cache.listCameras(), std::vector<std::string>{"Cam"});
  EXPECT_TRUE(cache.listWindows().empty());
}

TEST(MediaKitParts, MissingPartsExplainThemselves) {
  MediaKit kit;
  fillUnavailableParts(kit);
  ASSERT_TRUE(kit.sources && kit.micInput && kit.desktopInput && kit.virtualCamera && kit.phoneFeed);
  EXPECT_FALSE(kit.micInput->status().empty());
  EXPECT_EQ(kit.micInput->sampleRate(), 0);
  EXPECT_FALSE(kit.virtualCamera->start());
  EXPECT_FALSE(kit.virtualCamera->lastError().empty());
  for (Container c : {Container::Mp4, Container::Mkv}) {
    auto recorder = kit.makeRecorder(c);
    ASSERT_TRUE(recorder);
    EXPECT_FALSE(recorder->open(L"x.mp4", RecordingSettings{}));
    EXPECT_FALSE(recorder->lastError().empty());
  }
  auto video = kit.makeVideoEncoder();
  EXPECT_FALSE(video->open(VideoEncoderSettings{}));
  EXPECT_FALSE(video->lastError().empty());
  EXPECT_FALSE(kit.makeAudioEncoder()->open(48000, 16000));
  EXPECT_TRUE(kit.listAudioDevices().empty());
  std::vector<int16_t> samples{1, 2};
  kit.micInput->takeSamples(samples);
  EXPECT_TRUE(samples.empty());
}

}  // namespace
