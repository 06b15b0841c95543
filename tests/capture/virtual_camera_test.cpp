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
    uint64_t sequence() const {
        uint64_t s;
        std::memcpy(&s, &block[kVirtualCameraSequenceOffset], 8);
        return s;
    }
    uint8_t luma(int x, int y) const { return block[kVirtualCameraHeaderBytes + size_t(y) * kVirtualCameraWidth + size_t(x)]; }
    uint8_t chroma(int x, int y) const {
        return block[kVirtualCameraHeaderBytes + kVirtualCameraLumaBytes + size_t(y / 2) * kVirtualCameraWidth + size_t(x)];
    }
};

struct Rig {
    FakeSystem* system;
    int64_t now = 5'000'000'000;
    std::unique_ptr<MfVirtualCamera> camera;
    Rig() {
        auto s = std::make_unique<FakeSystem>();
        system = s.get();
        camera = std::make_unique<MfVirtualCamera>(std::move(s), [this] { return now; });
    }
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
    for (const Case& c : cases) {
        const VirtualCameraFit f = fitVirtualCamera(c.width, c.height);
        EXPECT_EQ(f.width, c.fit.width) << c.width << "x" << c.height;
        EXPECT_EQ(f.height, c.fit.height);
        EXPECT_EQ(f.x, c.fit.x);
        EXPECT_EQ(f.y, c.fit.y);
    }
}

TEST(VirtualCamera, PublishesLetterboxedFramesAndLeavesBlackAfterStop) {
    Rig rig;
    ASSERT_TRUE(rig.camera->start());
    std::vector<uint8_t> white(size_t(1080) * 1920 * 4, 255);
    // No program has opened the camera yet: one mapping attempt a second, nothing written.
    rig.camera->pushFrame(white.data(), 1080 * 4, 1080, 1920);
    rig.now += 999'999'999;
    rig.camera->pushFrame(white.data(), 1080 * 4, 1080, 1920);
    EXPECT_EQ(rig.system->maps, 1);
    rig.system->blockExists = true;
    rig.now += 1;
    rig.camera->pushFrame(white.data(), 1080 * 4, 1080, 1920);
    EXPECT_EQ(rig.system->maps, 2);
    EXPECT_EQ(std::memcmp(rig.system->block.data(), "QHVC", 4), 0);
    EXPECT_EQ(rig.system->block[4] | rig.system->block[5] << 8, 1280);
    EXPECT_EQ(rig.system->block[8] | rig.system->block[9] << 8, 720);
    EXPECT_EQ(rig.system->block[12], 30);
    EXPECT_EQ(rig.system->sequence(), 2u);
    // Black bars left and right of the 404-wide picture at column 438.
    for (int x : {0, 437, 842, 1279}) {
        EXPECT_EQ(rig.system->luma(x, 360), 16) << x;
        EXPECT_EQ(rig.system->chroma(x & ~1, 360), 128) << x;
        EXPECT_EQ(rig.system->chroma(x | 1, 360), 128) << x;
    }
    for (int x : {440, 640, 840}) EXPECT_EQ(rig.system->luma(x, 360), 235) << x;
    // Every frame moves the counter by two; an odd counter (a writer that died mid-frame) is
    // completed rather than stepped back.
    rig.camera->pushFrame(white.data(), 1080 * 4, 1080, 1920);
    EXPECT_EQ(rig.system->sequence(), 4u);
    rig.system->block[kVirtualCameraSequenceOffset] = 7;
    rig.camera->pushFrame(white.data(), 1080 * 4, 1080, 1920);
    EXPECT_EQ(rig.system->sequence(), 8u);
    EXPECT_EQ(rig.system->maps, 2);

    rig.camera->stop();
    EXPECT_FALSE(rig.camera->isRunning());
    EXPECT_EQ(rig.system->sequence(), 10u);
    EXPECT_EQ(rig.system->unmaps, 1);
    EXPECT_EQ(rig.system->removes, 1);
    for (int x : {0, 640, 1279}) {
        EXPECT_EQ(rig.system->luma(x, 719), 16);
        EXPECT_EQ(rig.system->chroma(x, 718), 128);
    }
    rig.camera->pushFrame(white.data(), 1080 * 4, 1080, 1920);  // stopped: nothing happens
    EXPECT_EQ(rig.system->sequence(), 10u);
}

TEST(VirtualCamera, A1280x720CanvasGoesStraightThrough) {
    Rig rig;
    rig.system->blockExists = true;
    ASSERT_TRUE(rig.camera->start());
    std::vector<uint8_t> frame(size_t(1280) * 720 * 4, 0);
    for (int x = 0; x < 1280; ++x) frame[size_t(x) * 4 + 1] = 255;  // a green top row, no bars anywhere
    rig.camera->pushFrame(frame.data(), 1280 * 4, 1280, 720);
    EXPECT_GT(rig.system->luma(0, 0), 100);
    EXPECT_GT(rig.system->luma(1279, 0), 100);
    EXPECT_EQ(rig.system->luma(0, 2), 16);
}

TEST(VirtualCamera, TheSequenceIsOddWhileAFrameIsWritten) {
    std::vector<uint8_t> block(kVirtualCameraBlockBytes, 0);
    auto sequence = [&] {
        uint64_t n;
        std::memcpy(&n, &block[kVirtualCameraSequenceOffset], 8);
        return n;
    };
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
            seen = sequence();
            std::memset(frame, 200, kVirtualCameraFrameBytes / 2);
        });
        EXPECT_EQ(seen, c.during);
        EXPECT_EQ(sequence(), c.after);
    }
}

TEST(VirtualCamera, BarsStayBlackWhenThePictureMoves) {
    Rig rig;
    rig.system->blockExists = true;
    ASSERT_TRUE(rig.camera->start());
    using Points = std::vector<std::pair<int, int>>;
    const Points tall = {{640, 0}, {640, 719}}, wide = {{0, 360}, {1279, 360}};
    struct Case {
        int width, height;
        Points picture, bars;
    } cases[] = {
        {1080, 1920, tall, wide},  // 404 x 720 at column 438
        {2560, 1080, wide, tall},  // 1280 x 540 at row 90: the column's ends become bars
        {1080, 1920, tall, wide},  // and back: the band's ends become bars again
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> white(size_t(c.width) * size_t(c.height) * 4, 255);
        rig.camera->pushFrame(white.data(), c.width * 4, c.width, c.height);
        for (auto [x, y] : c.picture) EXPECT_EQ(rig.system->luma(x, y), 235) << c.width << " " << x;
        for (auto [x, y] : c.bars) EXPECT_EQ(rig.system->luma(x, y), 16) << c.width << " " << x;
    }
}

TEST(VirtualCamera, AWarmFrameAllocatesNothingButTheScalersTables) {
    Rig rig;
    rig.system->blockExists = true;
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
