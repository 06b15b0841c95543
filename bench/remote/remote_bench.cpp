// remote_bench [ticks] [video seconds]
//  1. Eight clients, each with 32 requests queued before every tick (256 in
//     all, a mix of scene switches, layer toggles, mute and status requests),
//     so every tick runs 256 operations and pushes a changed status to all
//     eight: the main thread's time in Studio::handleRemoteMessages.
//  2. The phone camera at 1080p30 and 8 Mbit/s (a key frame every 2 s five
//     times the size of the others) sent in real time over loopback UDP to the
//     UDP service, a consumer popping the feed: the process's CPU time apart
//     from the sending thread, as a share of one core.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "remote/discovery.h"
#include "remote/os_random.h"
#include "remote/phone_datagrams.h"
#include "remote/studio_remote_test_support.h"
#include "remote/udp_socket.h"
#include "remote/ws_client.h"
#include "ui/headless_gui.h"

namespace {

double cpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void benchRemoteStep(int ticks) {
    HeadlessGui gui;
    useFreshProfile("bench");
    Studio studio(nullptr);
    if (!startRemoteStudio(studio)) {
        std::printf("remote step: no port\n");
        return;
    }
    const int port = studio.project.remotePort;
    constexpr int kClients = 8;
    constexpr int kPerClient = 32;
    std::vector<std::unique_ptr<WsClient>> clients;
    std::atomic<int> pongs{0};
    std::atomic<bool> running{true};
    std::vector<std::thread> readers;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<WsClient>(port));
        if (!clients.back()->open("/?token=" + studio.remoteToken)) {
            std::printf("remote step: client %d not admitted\n", i);
            return;
        }
    }
    for (auto& c : clients) {
        readers.emplace_back([&, client = c.get()] {
            while (running) {
                std::string payload;
                uint32_t opcode = 0;
                if (!client->readFrame(payload, opcode, 100)) continue;
                if (opcode == kOpPong) ++pongs;
            }
        });
    }
    std::vector<double> ms, cpuMs;
    for (int t = 0; t < ticks; ++t) {
        pongs = 0;
        for (int i = 0; i < kClients; ++i) {
            std::string burst;
            for (int k = 0; k < kPerClient; ++k) {
                static const char* kOps[] = {R"({"op":"scene.set","index":%d})", R"({"op":"layer.toggle","index":3})",
                                             R"({"op":"mic.mute"})", R"({"op":"status"})"};
                char text[64];
                std::snprintf(text, sizeof text, kOps[k % 4], (t + k) % 3);
                burst += clientFrame(kOpText, text);
            }
            burst += clientFrame(kOpPing, "");
            clients[size_t(i)]->send(burst);
        }
        // Every request is queued once each client's pong came back.
        waitFor([&] { return pongs.load() == kClients; });
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        studio.handleRemoteMessages();
        cpuMs.push_back((cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - c0) * 1e3);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    running = false;
    for (auto& r : readers) r.join();
    auto report = [&](const char* what, std::vector<double>& v) {
        std::sort(v.begin(), v.end());
        double sum = 0;
        for (double x : v) sum += x;
        std::printf("remote step, %d clients, %d requests per tick, %d ticks, %s: mean %.3f ms, median %.3f ms, "
                    "p99 %.3f ms per tick\n",
                    kClients, kClients * kPerClient, ticks, what, sum / double(v.size()), v[v.size() / 2],
                    v[std::min(v.size() - 1, v.size() * 99 / 100)]);
    };
    report("main-thread CPU", cpuMs);
    report("wall", ms);
}

void benchPhoneFeed(double seconds) {
    Discovery discovery;
    auto feed = std::make_shared<PhoneFeed>();
    const int port = startOnFreePort(discovery, feed, "PC");
    if (!port) {
        std::printf("phone feed: no port\n");
        return;
    }
    const uint32_t session = discovery.newCameraSession();
    std::atomic<bool> running{true};
    std::atomic<uint64_t> frames{0}, bytes{0};
    std::thread consumer([&] {
        PhonePacket packet;
        while (running)
            if (feed->pop(packet, 50)) {
                ++frames;
                bytes += packet.data.size();
            }
    });
    constexpr int kFps = 30;
    constexpr double kBitrate = 8e6;
    constexpr int kKeyEvery = 60;
    // Key frames five times the size of the others, the average at the bitrate.
    const double average = kBitrate / 8 / kFps;
    const size_t other = size_t(average * kKeyEvery / (kKeyEvery - 1 + 5));
    const size_t key = other * 5;
    std::vector<uint8_t> data(key);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7);
    const int total = int(seconds * kFps);
    double senderCpu = 0;
    const double cpu0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const auto wall0 = std::chrono::steady_clock::now();
    std::thread sender([&] {
        UdpSocket socket;
        std::string error;
        socket.bind(0, false, error);
        const double c0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        for (int f = 0; f < total; ++f) {
            std::this_thread::sleep_until(wall0 + std::chrono::microseconds(int64_t(f) * 1000000 / kFps));
            const bool isKey = f % kKeyEvery == 0;
            const size_t size = isKey ? key : other;
            const uint16_t count = uint16_t((size + 1199) / 1200);
            for (uint16_t i = 0; i < count; ++i) {
                std::vector<uint8_t> d = phoneDatagramHeader(session, uint32_t(f), i, count, isKey);
                const size_t from = size_t(i) * 1200, n = std::min<size_t>(1200, size - from);
                d.insert(d.end(), data.begin() + std::ptrdiff_t(from), data.begin() + std::ptrdiff_t(from + n));
                socket.sendTo(d.data(), d.size(), 0x7F000001, uint16_t(port));
            }
        }
        senderCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - c0;
    });
    sender.join();
    waitFor([&] { return frames.load() >= uint64_t(total) * 95 / 100; });
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0 - senderCpu;
    running = false;
    consumer.join();
    discovery.stop();
    std::printf("phone feed, 1080p30 at 8 Mbit/s for %.1f s: %llu of %d frames (%.2f MB) delivered, "
                "receive + reassembly + feed %.2f%% of one core (sender %.2f%% apart)\n",
                wall, (unsigned long long)frames.load(), total, double(bytes.load()) / 1e6, 100 * cpu / wall,
                100 * senderCpu / wall);
}

}  // namespace

int main(int argc, char** argv) {
    const int ticks = argc > 1 ? std::atoi(argv[1]) : 300;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 10;
    benchRemoteStep(ticks);
    benchPhoneFeed(seconds);
    return 0;
}
