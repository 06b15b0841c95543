// NV12 conversion against ffmpeg's own, quarter turns, the camera's format choice and the
// checks that keep a capture thread inside its buffers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <fstream>
#include <string>
#include <vector>

#include "media/capture/camera_frames.h"

namespace {

std::vector<uint8_t> makeNv12(int stride, int codedHeight, int width, int height) {
    std::vector<uint8_t> nv12(size_t(stride) * size_t(codedHeight) * 3 / 2, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) nv12[size_t(y) * size_t(stride) + size_t(x)] = uint8_t(16 + (x * 7 + y * 3) % 220);
    uint8_t* uv = nv12.data() + size_t(stride) * size_t(codedHeight);
    // Smooth chroma, so that ffmpeg's choice of chroma siting cannot matter.
    for (int y = 0; y < (height + 1) / 2; ++y) {
        for (int x = 0; x < (width + 1) / 2; ++x) {
            uv[size_t(y) * size_t(stride) + size_t(2 * x)] = uint8_t(40 + 170 * x / ((width + 1) / 2));
            uv[size_t(y) * size_t(stride) + size_t(2 * x) + 1] = uint8_t(210 - 170 * y / ((height + 1) / 2));
        }
    }
    return nv12;
}

TEST(Nv12ToBgra, MatchesFfmpegWithinTwoForSdAndHd) {
    // Below 720 rows the picture is SD (BT.601), from 720 rows HD (BT.709), whatever its width.
    struct Case {
        int width, height;
        const char* matrix;
    } cases[] = {{480, 640, "bt601"}, {1280, 720, "bt709"}, {640, 718, "bt601"}};
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("qh_nv12_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const std::vector<uint8_t> nv12 = makeNv12(c.width, c.height, c.width, c.height);
        const std::string in = (dir / "in.yuv").string(), out = (dir / "out.bgra").string();
        std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(nv12.data()), std::streamsize(nv12.size()));
        const std::string cmd = "ffmpeg -loglevel error -y -f rawvideo -pix_fmt nv12 -s " + std::to_string(c.width) + "x" +
                                std::to_string(c.height) + " -i " + in + " -vf scale=in_color_matrix=" + c.matrix +
                                ":in_range=tv:flags=accurate_rnd+full_chroma_int+bitexact -f rawvideo -pix_fmt bgra " + out;
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        std::vector<uint8_t> expected(size_t(c.width) * size_t(c.height) * 4);
        std::ifstream(out, std::ios::binary).read(reinterpret_cast<char*>(expected.data()), std::streamsize(expected.size()));
        std::vector<uint8_t> ours(expected.size());
        nv12ToBgra(nv12.data(), c.width, c.height, c.width, c.height, ours.data());
        int worst = 0;
        for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(int(ours[i]) - int(expected[i])));
        EXPECT_LE(worst, 2);
    }
    std::filesystem::remove_all(dir);
}

TEST(RotateBgra, QuarterTurnsClockwise) {
    // A 3 x 2 picture whose pixels are numbered 0..5 row by row.
    std::vector<uint8_t> src(3 * 2 * 4);
    for (int i = 0; i < 6; ++i) src[size_t(i) * 4] = uint8_t(i);
    struct Case {
        int turns, width, height;
        std::vector<int> order;
    } cases[] = {
        {1, 2, 3, {3, 0, 4, 1, 5, 2}},
        {2, 3, 2, {5, 4, 3, 2, 1, 0}},
        {3, 2, 3, {2, 5, 1, 4, 0, 3}},
        {0, 3, 2, {0, 1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> dst;
        int w = 0, h = 0;
        rotateBgra(src.data(), 3, 2, c.turns, dst, w, h);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        std::vector<int> order;
        for (size_t i = 0; i < dst.size(); i += 4) order.push_back(dst[i]);
        EXPECT_EQ(order, c.order) << "turns " << c.turns;
    }
}

TEST(CameraModes, RateFirstThenSizeUpTo1920ThenRate) {
    struct Case {
        std::vector<CameraMode> modes;
        int expected;
    } cases[] = {
        {{{1280, 720, 30, 1}, {1920, 1080, 15, 1}}, 0},
        {{{3840, 2160, 30, 1}, {1920, 1080, 30, 1}}, 1},
        {{{1920, 1080, 30, 1}, {1920, 1080, 60, 1}}, 1},
        {{{640, 480, 30, 1}, {640, 480, 30, 1}}, 0},                       // equal scores: the earlier stays
        {{{1920, 1080, 30000, 1001}, {1920, 1080, 24, 0}}, 0},             // 29.97 counts as 29; /0 as 0
        {{{640, 480, 24, 1}, {1920, 1080, 23, 1}}, 0},
        {{}, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(chooseCameraMode(c.modes), c.expected);
}

TEST(CameraBounds, IndexAndBufferChecks) {
    EXPECT_FALSE(cameraIndexInRange(-1, 2));
    EXPECT_TRUE(cameraIndexInRange(0, 2));
    EXPECT_TRUE(cameraIndexInRange(1, 2));
    EXPECT_FALSE(cameraIndexInRange(2, 2));
    EXPECT_FALSE(cameraIndexInRange(0, 0));
    EXPECT_TRUE(cameraBufferHolds(640 * 4 * 480, 480, 640 * 4, 640 * 4));
    EXPECT_TRUE(cameraBufferHolds(640 * 4 * 480, 480, 640 * 4, -640 * 4));
    EXPECT_FALSE(cameraBufferHolds(640 * 4 * 480 - 1, 480, 640 * 4, 640 * 4));
    EXPECT_FALSE(cameraBufferHolds(700 * 4 * 479, 480, 640 * 4, 700 * 4));  // padded rows need more
    EXPECT_FALSE(cameraBufferHolds(1 << 20, 480, 640 * 4, 100));  // pitch shorter than a row
}

}  // namespace
