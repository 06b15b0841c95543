// An H.264 stream made by ffmpeg, cut by a python "phone" into shuffled,
// duplicated and partly dropped datagrams, comes out of the phone feed as
// whole access units that ffprobe decodes without an error.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>

#include "remote/discovery.h"
#include "remote/phone_datagrams.h"
#include "remote/ws_client.h"

namespace {

std::string run(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    const int raw = ::pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

TEST(PhoneFeedPeer, FfmpegStreamThroughShuffledDatagramsDecodesInFfprobe) {
    const std::string dir = std::string(std::getenv("QH_BINARY_DIR")) + "/test-data/remote/phone_feed/";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    int status = -1;
    const std::string made = run("ffmpeg -v error -y -f lavfi -i testsrc=size=640x360:rate=30 -t 4 -c:v libx264 "
                                 "-preset ultrafast -g 30 -bf 0 -x264-params aud=1 -f h264 " + dir + "in.h264",
                                 status);
    ASSERT_EQ(status, 0) << made;

    Discovery discovery;
    auto feed = std::make_shared<PhoneFeed>();
    const int port = startOnFreePort(discovery, feed, "PC");
    ASSERT_NE(port, 0);
    const uint32_t session = discovery.newCameraSession();

    std::atomic<bool> running{true};
    std::atomic<int> delivered{0}, keyframes{0};
    std::ofstream out(dir + "out.h264", std::ios::binary);
    std::thread consumer([&] {
        PhonePacket packet;
        while (running) {
            if (!feed->pop(packet, 50)) continue;
            out.write(reinterpret_cast<const char*>(packet.data.data()), std::streamsize(packet.data.size()));
            keyframes += packet.keyframe ? 1 : 0;
            ++delivered;
        }
    });
    const std::string sent = run("/usr/bin/python3 " + std::string(std::getenv("QH_SOURCE_DIR")) +
                                     "/tests/remote/peers/phone_sender.py " + dir + "in.h264 " + std::to_string(port) +
                                     " " + std::to_string(session) + " 40",
                                 status);
    ASSERT_EQ(status, 0) << sent;
    int total = 0, expected = 0;
    ASSERT_EQ(std::sscanf(sent.c_str(), "%d %d", &total, &expected), 2) << sent;
    EXPECT_EQ(total, 120);
    EXPECT_EQ(expected, 100);  // frames 40 to 59 wait for the key frame at 60
    EXPECT_TRUE(waitFor([&] { return delivered.load() >= expected; })) << delivered.load();
    running = false;
    consumer.join();
    out.close();
    discovery.stop();
    EXPECT_EQ(delivered.load(), expected);
    EXPECT_EQ(keyframes.load(), 4);

    const std::string probe = run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                  "stream=nb_read_frames,width,height -of csv=p=0 " + dir + "out.h264",
                                  status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(probe, "640,360," + std::to_string(expected) + "\n");
    const std::string decode = run("ffmpeg -v error -i " + dir + "out.h264 -f null -", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(decode, "");
}

}  // namespace
