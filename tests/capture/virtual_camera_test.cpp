// The virtual camera over a plain memory block: start-up texts, fitting, letterbox bars, the
// sequence rule, the once-a-second mapping, the black frame left after stop and the buffers kept
// from frame to frame.
#include <gtest/gtest.h>

#include <cstring>

#include "capture/heap_count.h"
#include "media/capture/virtual_camera.h"
#include "media/packaging.h"

namespace {

struct FakeSystem : VirtualCameraSystem {
    bool function = true, installed = true;
    int32_t createResult = 0;
    bool blockExists = false;
    std::vector<uint8_t> block = std::vector<uint8_t>(kVirtualCameraBlockBytes, 0);
    int maps = 0, removes = 0, unmaps = 0;
    bool hasVirtualCameraFunction() override { return function; }
    bool isCameraInstalled() override { return installed; }
    int32_t createCamera() override { return createResult; }
    void removeCamera() override { ++removes; }
    uint8_t* mapBlock() override {
        ++maps;
        return blockExists ? block.data() : nullptr;
    }
    void unmapBlock() override { ++unmaps; }
    uint8_t luma(int x, int y) const { return block[kVirtualCameraHeaderBytes + size_t(y) * kVirtualCameraWidth + size_t(x)]; }
    uint8_t chroma(int x, int y) const {
        return block[kVirtualCameraHeaderBytes + kVirtualCameraLumaBytes + size_t(y / 2) * kVirtualCameraWidth + size_t(x)];
    }
};

uint64_t sequenceOf(const uint8_t* block) {
    uint64_t n;
    std::memcpy(&n, block + kVirtualCameraSequenceOffset, 8);
    return n;
}

struct Rig {
    FakeSystem* system;
    int64_t now = 5'000'000'000;
    std::unique_ptr<MfVirtualCamera> camera;
    explicit Rig(bool blockExists = true) {
        auto s = std::make_unique<FakeSystem>();
        system = s.get();
        system->blockExists = blockExists;
        camera = std::make_unique<MfVirtualCamera>(std::move(s), [this] { return now; });
    }
    // A canvas of one grey level.
    void push(int width, int height, uint8_t level = 255) {
        const std::vector<uint8_t> canvas(size_t(width) * size_t(height) * 4, level);
        camera->pushFrame(canvas.data(), width * 4, width, height);
    }
    uint64_t sequence() const { return sequenceOf(system->block.data()); }
};

TEST(VirtualCamera, StartFailuresSayWhy) {
    struct Case {
        bool function, installed;
        int32_t result;
        const char* text;
    } cases[] = {
        {false, true, 0, "The virtual camera needs Windows 11."},
        {true, false, 0, "The Quillhaven camera isn't installed. Run vcam_install.cmd as administrator once."},
        {true, true, int32_t(0x80070005), "Windows refused the virtual camera (0x80070005)."},
        {true, true, 0, ""},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.system->function = c.function;
        rig.system->installed = c.installed;
        rig.system->createResult = c.result;
        EXPECT_EQ(rig.camera->start(), c.text[0] == 0);
        EXPECT_EQ(rig.camera->lastError(), c.text);
        EXPECT_EQ(rig.camera->isRunning(), c.text[0] == 0);
    }
}

TEST(VirtualCamera, FitsAnyCanvasInside1280x720) {
    struct Case {
        int width, height;
        VirtualCameraFit fit;
    } cases[] = {
        {1080, 1920, {404, 720, 438, 0}},
        {1920, 1080, {1280, 720, 0, 0}},
        {1280, 720, {1280, 720, 0, 0}},
        {1000, 1000, {720, 720, 280, 0}},
        {2560, 1080, {1280, 540, 0, 90}},
    };
    for (const Case& c : cases) EXPECT_EQ(fitVirtualCamera(c.width, c.height), c.fit) << c.width << "x" << c.height;
}

TEST(VirtualCamera, MapsOnceASecondPublishesEachFrameAndLeavesBlackAfterStop) {
    Rig rig(false);
    ASSERT_TRUE(rig.camera->start());
    // No program has opened the camera yet: one mapping attempt a second, nothing written.
    rig.push(1080, 1920);
    rig.now += 999'999'999;
    rig.push(1080, 1920);
    EXPECT_EQ(rig.system->maps, 1);
    rig.system->blockExists = true;
    rig.now += 1;
    rig.push(1080, 1920);
    EXPECT_EQ(rig.system->maps, 2);
    EXPECT_EQ(rig.sequence(), 2u);
    rig.push(1080, 1920);  // every frame moves the counter by two
    EXPECT_EQ(rig.sequence(), 4u);
    EXPECT_EQ(rig.system->maps, 2);

    rig.camera->stop();
    EXPECT_FALSE(rig.camera->isRunning());
    EXPECT_EQ(rig.sequence(), 6u);
    EXPECT_EQ(rig.system->unmaps, 1);
    EXPECT_EQ(rig.system->removes, 1);
    for (int x : {0, 640, 1279}) {
        EXPECT_EQ(rig.system->luma(x, 719), 16);
        EXPECT_EQ(rig.system->chroma(x, 718), 128);
    }
    rig.push(1080, 1920);  // stopped: nothing happens
    EXPECT_EQ(rig.sequence(), 6u);
}

TEST(VirtualCamera, TheHeaderIsWholeAndTheSequenceOddWhileAFrameIsWritten) {
    std::vector<uint8_t> block(kVirtualCameraBlockBytes, 0);
    struct Case {
        uint64_t before, during, after;
    } cases[] = {{4, 5, 6}, {7, 7, 8}};  // 7: a writer that died mid-frame
    for (const Case& c : cases) {
        std::memcpy(&block[kVirtualCameraSequenceOffset], &c.before, 8);
        uint64_t seen = 0;
        publishVirtualCameraFrame(block.data(), [&](uint8_t* frame) {
            // A reader looking now finds the header complete but the counter odd, and waits.
            EXPECT_EQ(frame, block.data() + kVirtualCameraHeaderBytes);
            EXPECT_EQ(std::memcmp(block.data(), "QHVC", 4), 0);
            EXPECT_EQ(block[4] | block[5] << 8, 1280);
            EXPECT_EQ(block[8] | block[9] << 8, 720);
            EXPECT_EQ(block[12], 30);
            seen = sequenceOf(block.data());
        });
        EXPECT_EQ(seen, c.during);
        EXPECT_EQ(sequenceOf(block.data()), c.after);
    }
}

// Points inside the picture are white (luma 235); the bars are black, luma 16 and chroma 128, and
// stay so when the picture moves; a 1280 x 720 canvas covers the frame whole.
TEST(VirtualCamera, LetterboxesThePictureAndKeepsTheBarsBlackWhenItMoves) {
    Rig rig;
    ASSERT_TRUE(rig.camera->start());
    using Points = std::vector<std::pair<int, int>>;
    const Points tall = {{640, 0}, {640, 719}}, wide = {{0, 360}, {1279, 360}};
    // 404 x 720 at column 438: its edge columns, and the bars' beside them.
    const Points portrait = {{438, 360}, {640, 0}, {841, 719}};
    const Points portraitBars = {{0, 0}, {437, 360}, {842, 360}, {1279, 719}};
    struct Case {
        int width, height;
        Points picture, bars;
    } cases[] = {
        {1080, 1920, portrait, portraitBars},
        {2560, 1080, wide, tall},  // 1280 x 540 at row 90: the column's ends become bars
        {1080, 1920, portrait, portraitBars},  // and back: the band's ends become bars again
        {1280, 720, {{0, 0}, {1279, 719}, {0, 360}, {640, 0}}, {}},
    };
    for (const Case& c : cases) {
        rig.push(c.width, c.height);
        for (auto [x, y] : c.picture) EXPECT_EQ(rig.system->luma(x, y), 235) << c.width << ": " << x << "," << y;
        for (auto [x, y] : c.bars) {
            EXPECT_EQ(rig.system->luma(x, y), 16) << c.width << ": " << x << "," << y;
            EXPECT_EQ(rig.system->chroma(x & ~1, y), 128) << c.width << ": " << x << "," << y;
            EXPECT_EQ(rig.system->chroma(x | 1, y), 128) << c.width << ": " << x << "," << y;
        }
    }
}

TEST(VirtualCamera, AWarmFrameAllocatesNothingButTheScalersTables) {
    Rig rig;
    ASSERT_TRUE(rig.camera->start());
    for (auto [width, height] : {std::pair{1280, 720}, std::pair{1080, 1920}}) {
        const std::vector<uint8_t> frame(size_t(width) * size_t(height) * 4, 90);
        rig.camera->pushFrame(frame.data(), width * 4, width, height);
        rig.camera->pushFrame(frame.data(), width * 4, width, height);
        // The shared scaler makes its small position tables on each call; 1280 x 720 skips it.
        const VirtualCameraFit fit = fitVirtualCamera(width, height);
        std::vector<uint8_t> scaled(size_t(fit.width) * size_t(fit.height) * 4);
        size_t before = heapAllocations();
        if (width != kVirtualCameraWidth) {
            scaleBgraBilinear(frame.data(), width * 4, width, height, scaled.data(), fit.width,
                              fit.height);
        }
        const size_t scaler = heapAllocations() - before;
        before = heapAllocations();
        rig.camera->pushFrame(frame.data(), width * 4, width, height);
        EXPECT_EQ(heapAllocations() - before, scaler) << width << "x" << height;
    }
}

}  // namespace
