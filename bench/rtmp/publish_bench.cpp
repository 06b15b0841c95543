// Publishes the same 60 s, 6 Mbit/s canned stream to nginx on loopback as
// fast as the socket takes it, once with our session and once with
// `ffmpeg -c copy -f flv`, and prints wall and CPU time of each.
// Run through bench/rtmp/run.sh (an optimised build without sanitizers).
#include "e2e/rtmp/canned_media.h"
#include "e2e/rtmp/peer_control.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Times {
    double wall = 0;
    double cpu = 0;
};

double seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

double cpuNow() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

double wallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool runOurs(int port, const std::string& key, const std::vector<CannedPacket>& packets, Times& t, int& sent) {
    RtmpEndpoint ep;
    std::string error;
    parseRtmpUrl("rtmp://127.0.0.1:" + std::to_string(port) + "/live", ep, error);
    const double w0 = wallNow(), c0 = cpuNow();
    PublishCounts counts;
    error = publishAll(ep, key, cannedMetadata(1280, 720, 6000), packets, counts);
    if (!error.empty()) {
        std::fprintf(stderr, "publish failed: %s\n", error.c_str());
        return false;
    }
    t.wall = wallNow() - w0;
    t.cpu = cpuNow() - c0;
    sent = counts.video + counts.audio;
    return true;
}

bool runFfmpeg(const std::string& input, int port, const std::string& key, Times& t) {
    const std::string url = "rtmp://127.0.0.1:" + std::to_string(port) + "/live/" + key;
    const double w0 = wallNow();
    pid_t pid = fork();
    if (pid == 0) {
        execlp("ffmpeg", "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i", input.c_str(), "-c", "copy",
               "-f", "flv", url.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage u{};
    if (pid < 0 || wait4(pid, &status, 0, &u) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "ffmpeg failed\n");
        return false;
    }
    t.wall = wallNow() - w0;
    t.cpu = seconds(u.ru_utime) + seconds(u.ru_stime);
    return true;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::string source = argc > 1 ? argv[1] : ".";
    const std::string work = argc > 2 ? argv[2] : "/tmp/qh-rtmp-bench";
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    setenv("QH_BINARY_DIR", work.c_str(), 1);
    const std::string peers = "/usr/bin/python3 " + source + "/tests/e2e/rtmp/peers.py ";
    if (std::system((peers + "start " + work + "/e2e-peers >/dev/null").c_str()) != 0) return 1;
    int rc = 1;
    {
        PeerControl control("e2e-peers");
        auto media = control.call("media", {"60", "6000"}, 600000);
        auto nginx = control.call("nginx");
        std::vector<CannedPacket> packets;
        std::string error;
        const double loadWall0 = wallNow(), loadCpu0 = cpuNow();
        const bool loaded = media.size() == 2 && loadCannedMedia(media[0], media[1], 30, packets, error);
        const double loadWall = wallNow() - loadWall0, loadCpu = cpuNow() - loadCpu0;
        if (loaded && nginx.size() == 3) {
            // ffmpeg reads the same packets from one FLV file made beforehand.
            const std::string flv = work + "/canned.flv";
            const std::string mux = "ffmpeg -nostdin -hide_banner -loglevel error -y -r 30 -i " + media[0] + " -i " +
                                    media[1] + " -c copy " + flv;
            const int port = std::stoi(nginx[1]);
            std::vector<double> oursWall, oursCpu, ffWall, ffCpu;
            int sent = 0;
            bool ok = std::system(mux.c_str()) == 0;
            for (int r = 0; ok && r < rounds; ++r) {
                Times ours, ff;
                ok = runOurs(port, "ours" + std::to_string(r), packets, ours, sent) &&
                     runFfmpeg(flv, port, "ff" + std::to_string(r), ff);
                oursWall.push_back(ours.wall);
                oursCpu.push_back(ours.cpu);
                ffWall.push_back(ff.wall);
                ffCpu.push_back(ff.cpu);
            }
            if (ok) {
                std::printf("packets per run: %d (%zu loaded)\n", sent, packets.size());
                std::printf("ours:   wall %.3f s  cpu %.3f s  (median of %d)\n", median(oursWall), median(oursCpu), rounds);
                std::printf("ffmpeg: wall %.3f s  cpu %.3f s  (median of %d)\n", median(ffWall), median(ffCpu), rounds);
                std::printf("reading and cutting the files once (not in the figures above): wall %.3f s  cpu %.3f s\n",
                            loadWall, loadCpu);
                std::printf("cpu ratio ours/ffmpeg: %.3f (%.3f with the file reading added)\n",
                            median(oursCpu) / median(ffCpu), (median(oursCpu) + loadCpu) / median(ffCpu));
                rc = 0;
            }
        } else {
            std::fprintf(stderr, "setup failed: %s %s\n", control.error().c_str(), error.c_str());
        }
    }
    std::system((peers + "stop " + work + "/e2e-peers").c_str());
    return rc;
}
