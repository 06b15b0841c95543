// CPU cost of the recording session's own per-tick work for both canvases at 1080p30 with a
// backup copy: recorders that encode nothing and compositors whose read-back is instant, so
// what is measured is the session's bookkeeping, disk watch and fan-out, per recorded second.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/recording_platform.h"
#include "app/recording_session.h"
#include "support/still_compositor.h"
#include "util/text.h"

namespace {

class NullRecorder : public IRecorder {
public:
    bool open(const std::wstring&, const RecordingSettings&) override { return true; }
    void writeVideo(const uint8_t* p, int, int64_t) override { sink += p[0]; }
    void writeAudio(const int16_t* s, uint64_t n) override { sink += static_cast<uint64_t>(s[0]) + n; }
    void close() override {}
    bool isOpen() const override { return true; }
    std::string lastError() const override { return {}; }
    bool supportsSampleRate(int) const override { return true; }
    std::string encoderName() const override { return "none"; }
    static inline uint64_t sink = 0;
};

class StillCompositor : public StillCompositorBase {
public:
    explicit StillCompositor(int w, int h) : pixels(static_cast<size_t>(w) * h * 4), pitch(w * 4) {}
    const uint8_t* mapPixels(int* rowPitch) override {
        *rowPitch = pitch;
        return pixels.data();
    }
    std::vector<uint8_t> pixels;
    int pitch;
};

}  // namespace

int main() {
    const std::filesystem::path root = std::filesystem::temp_directory_path() / "quillhaven-recording-bench";
    std::filesystem::create_directories(root / "main");
    std::filesystem::create_directories(root / "backup");

    Project project;
    project.recordVertical = true;
    project.recordingFolder = (root / "main").string();
    project.backupFolder = (root / "backup").string();
    Scene scene;
    scene.name = "Bench";

    int64_t fakeNow = 0;
    RecordingEnvironment env = systemRecordingEnvironment();
    env.steadyNow = [&] { return fakeNow; };  // the clock is simulated; the disk queries are real

    StillCompositor horizontal(1920, 1080);
    StillCompositor vertical(1080, 1920);
    RecordingSession session([](Container) { return std::make_unique<NullRecorder>(); }, &horizontal, &vertical,
                             nullptr, env);
    if (!session.start(project, scene).empty()) {
        std::fprintf(stderr, "could not start\n");
        return 1;
    }

    const int seconds = 3600;
    const int ticksPerSecond = 60;  // the main loop runs faster than the canvases
    const std::vector<int16_t> audio(2 * 48000 / ticksPerSecond, 1);
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < seconds * ticksPerSecond; ++i) {
        fakeNow += 1'000'000'000 / ticksPerSecond;
        session.tick(project, scene, audio);
    }
    const double cpu = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    session.stop();
    std::filesystem::remove_all(root);

    std::printf("recorded seconds: %d (both canvases, 1080p30, with backup; %d ticks per second)\n", seconds,
                ticksPerSecond);
    std::printf("session CPU time: %.3f s = %.4f ms per recorded second = %.4f %% of one core (target < 3 %%)\n",
                cpu, cpu * 1000.0 / seconds, cpu * 100.0 / seconds);
    return cpu * 100.0 / seconds < 3.0 ? 0 : 2;
}
