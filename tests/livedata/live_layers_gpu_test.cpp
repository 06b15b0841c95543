// Chat and counter layers filled from live data and composited on the GPU.
#include <gtest/gtest.h>

#include <cstdlib>

#include "compose/gpu_support.h"
#include "compose/png_file.h"
#include "livedata/live_text.h"
#include "media/d3d11/d3d11_compositor.h"
#include "media/d3d11/d3d11_source_cache.h"
#include "media/text_layout.h"

namespace {

constexpr int kW = 960, kH = 540;

Layer placed(int kind, float x, float y, float w, float h) {
    Layer l = makeLayer(kind, "live");
    l.x = x;
    l.y = y;
    l.width = w;
    l.height = h;
    return l;
}

// The lowest row of the region where a pixel is within 40 of the colour; -1 when none.
int lowestRowOf(const RefImage& img, std::uint32_t colour, int x0, int x1) {
    const int r = int(colour & 0xFF), g = int((colour >> 8) & 0xFF), b = int((colour >> 16) & 0xFF);
    int lowest = -1;
    for (int y = 0; y < img.height; ++y) {
        for (int x = x0; x < x1; ++x) {
            const std::uint8_t* p = img.at(x, y);
            if (std::abs(p[2] - r) < 40 && std::abs(p[1] - g) < 40 && std::abs(p[0] - b) < 40) lowest = y;
        }
    }
    return lowest;
}

TEST(LiveLayersGpu, ChatShowsAuthorColoursInOrderAndTheCounterItsNumbers) {
    TestGpu& gpu = TestGpu::get();
    ASSERT_TRUE(gpu.device) << "no Direct3D 11 device";
    D3d11Compositor compositor(gpu.device.Get(), gpu.context.Get());
    ASSERT_TRUE(compositor.init());
    ASSERT_TRUE(compositor.resize(kW, kH));
    D3d11SourceCache cache(gpu.device.Get(), gpu.context.Get(), std::make_shared<PhoneFeed>());

    Scene scene;
    scene.layers = {placed(LayerKind::Chat, 40, 40, 900, 1000), placed(LayerKind::LiveCounter, 1000, 40, 880, 200)};
    scene.layers[1].text = "{viewers} watching";
    const std::vector<ChatEntry> chat = {
        {"Ann", "first line from the main channel", 0, 1},
        {"Bo", "second, from the shorts channel", 1, 2},
        {"Cy\nforged\x1f", "third\x1f" "0", 2, 3},
    };
    applyLiveDataToScene(scene, chat, {{"@main", "", 1234, "", ""}, {"@shorts", "", 56, "", ""}});
    EXPECT_EQ(scene.layers[1].liveText, "1,290 watching");
    EXPECT_EQ(layoutBoxText(scene.layers[0].liveText).size(), 3u);

    compositor.render(scene, cache, 1920, 1080);
    int pitch = 0;
    const std::uint8_t* px = compositor.mapPixels(&pitch);
    ASSERT_TRUE(px);
    RefImage img;
    img.width = kW;
    img.height = kH;
    for (int y = 0; y < kH; ++y) img.bgra.insert(img.bgra.end(), px + y * pitch, px + y * pitch + kW * 4);
    writeBgraPng(artifactsDir() + "live_layers.png", px, kW, kH, pitch);
    compositor.unmapPixels();

    // Authors in their colours, oldest line on top; the third author's
    // forged colour field did not take.
    const int ann = lowestRowOf(img, authorColour(0), 20, 470);
    const int bo = lowestRowOf(img, authorColour(1), 20, 470);
    const int cy = lowestRowOf(img, authorColour(2), 20, 470);
    EXPECT_GT(ann, 0);
    EXPECT_GT(bo, ann);
    EXPECT_GT(cy, bo);
    // The counter's text is drawn in its box.
    int lit = 0;
    for (int y = 20; y < 120; ++y)
        for (int x = 500; x < 940; ++x) lit += img.at(x, y)[1] > 160;
    EXPECT_GT(lit, 100);
}

}  // namespace
