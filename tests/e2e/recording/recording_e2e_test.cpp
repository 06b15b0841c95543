// A whole recording, natively: both canvases in Matroska with a backup copy, split into two
// parts, paused and resumed on a clock the test turns, encoded by the test-only libx264 and
// libavcodec encoders from a compositor that draws a moving pattern. Every file is then handed
// to ffprobe, ffmpeg and mkvinfo.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "media/mkv_recorder.h"
#include "recording/recording_fakes.h"
#include "support/test_encoders.h"

using namespace fakes;

namespace {

// A box that moves one step per frame over a gradient, different on each canvas.
class PatternCompositor : public FakeCompositor {
public:
    PatternCompositor(int w, int h) : w(w), h(h) { pixels.resize(static_cast<size_t>(w) * h * 4); }
    const uint8_t* mapPixels(int* rowPitch) override {
        const int boxX = (frame * 4) % (w - 32);
        const int boxY = (frame * 3) % (h - 32);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t* p = &pixels[(static_cast<size_t>(y) * w + x) * 4];
                const bool inBox = x >= boxX && x < boxX + 32 && y >= boxY && y < boxY + 32;
                p[0] = inBox ? 255 : static_cast<uint8_t>(x * 255 / w);
                p[1] = inBox ? 255 : static_cast<uint8_t>(y * 255 / h);
                p[2] = inBox ? 40 : static_cast<uint8_t>(frame);
                p[3] = 255;
            }
        }
        ++frame;
        ++maps;
        *rowPitch = w * 4;
        return pixels.data();
    }
    int w, h, frame = 0;
};

struct CommandResult {
    int status = -1;
    std::string out;
};

CommandResult run(const std::string& command) {
    CommandResult r;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return r;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) r.out.append(buf.data(), n);
    r.status = pclose(pipe);
    return r;
}

std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

struct Probe {
    bool clean = false;  // ffprobe read it without a word of complaint
    std::string videoCodec, audioCodec;
    int width = 0, height = 0, packets = 0, sampleRate = 0, channels = 0;
    double duration = 0;
};

// One ffprobe run per file, one line per stream and one for the format, as key=value fields.
Probe probe(const std::filesystem::path& file) {
    Probe p;
    const CommandResult r = run("ffprobe -v error -count_packets -show_entries "
                                "stream=codec_type,codec_name,width,height,nb_read_packets,sample_rate,channels:"
                                "format=duration -of compact " + quoted(file));
    p.clean = r.status == 0;
    std::map<std::string, std::map<std::string, std::string>> sections;  // "video", "audio", "format"
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        std::map<std::string, std::string> fields;
        std::istringstream parts(line);
        std::string head, part;
        std::getline(parts, head, '|');
        while (std::getline(parts, part, '|')) {
            const size_t eq = part.find('=');
            if (eq != std::string::npos) fields[part.substr(0, eq)] = part.substr(eq + 1);
        }
        if (head == "stream") {
            sections[fields["codec_type"]] = fields;
        } else if (head == "format") {
            sections["format"] = fields;
        } else {
            p.clean = false;  // anything else is a complaint
        }
    }
    auto& video = sections["video"];
    auto& audio = sections["audio"];
    p.videoCodec = video["codec_name"];
    p.width = std::atoi(video["width"].c_str());
    p.height = std::atoi(video["height"].c_str());
    p.packets = std::atoi(video["nb_read_packets"].c_str());
    p.audioCodec = audio["codec_name"];
    p.sampleRate = std::atoi(audio["sample_rate"].c_str());
    p.channels = std::atoi(audio["channels"].c_str());
    p.duration = std::atof(sections["format"]["duration"].c_str());
    return p;
}

// One line per decoded picture with its checksum.
std::vector<std::string> decodedFrames(const std::filesystem::path& file) {
    std::vector<std::string> frames;
    std::istringstream in(run("ffmpeg -v error -i " + quoted(file) + " -map 0:v -f framemd5 -").out);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != '#') frames.push_back(line);
    }
    return frames;
}

}  // namespace

TEST(RecordingEndToEnd, BothCanvasesWithBackupPartsAndPause) {
    for (const char* tool : {"ffprobe -version", "ffmpeg -version", "mkvinfo --version"}) {
        ASSERT_EQ(run(tool).status, 0) << tool << " is needed";
    }
    const std::filesystem::path root = scratchFolder("e2e");
    const std::filesystem::path mainDir = root / "Recordings";
    const std::filesystem::path backupDir = root / "Backup";

    Project project;
    project.showName = "E2E";
    project.recordVertical = true;
    project.mkv = true;
    project.splitMinutes = 1;
    project.recordingFolder = mainDir.string();
    project.backupFolder = backupDir.string();
    project.canvases[0] = {320, 180, 30, 600};
    project.canvases[1] = {180, 320, 30, 600};
    Scene scene;
    scene.name = "Main";

    World world;
    world.freeMiB[utf8ToWide(project.recordingFolder)] = 50000;
    world.freeMiB[utf8ToWide(project.backupFolder)] = 50000;
    PatternCompositor horizontal(320, 180);
    PatternCompositor vertical(180, 320);
    FakeMic mic;
    RecordingSession session(
        [](Container) -> std::unique_ptr<IRecorder> {
            return std::make_unique<MkvRecorder>(makeTestVideoEncoder(), makeTestAudioEncoder());
        },
        &horizontal, &vertical, &mic, world.environment());

    // A file of the first name is already there: this recording must not touch it.
    std::filesystem::create_directories(mainDir);
    std::ofstream(mainDir / "E2E 2026-12-07 09-05-03 Horizontal.mkv") << "keep me";

    ASSERT_EQ(session.start(project, scene), "");
    ASSERT_EQ(session.takeStatus(), "");

    // The main loop runs at 60 passes a second; each pass brings 800 frames of a 440 Hz tone.
    const int64_t tickNs = 1'000'000'000 / 60;
    std::vector<int16_t> tone(800 * 2);
    int64_t toneAt = 0;
    auto tick = [&] {
        for (size_t i = 0; i < 800; ++i, ++toneAt) {
            const auto v = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440.0 * toneAt / 48000.0));
            tone[i * 2] = v;
            tone[i * 2 + 1] = v;
        }
        world.now += tickNs;
        session.tick(project, scene, tone);
    };

    for (int i = 0; i < 59 * 60; ++i) tick();
    world.calendar.tm_min = 6;  // the next part opens a minute later
    while (session.part == 1) tick();
    const double part1Seconds = session.carriedSeconds;
    EXPECT_NEAR(part1Seconds, 60.0, 0.02);

    for (int i = 0; i < 10 * 60; ++i) tick();
    session.togglePause();
    for (int i = 0; i < 5 * 60; ++i) tick();
    session.togglePause();
    for (int i = 0; i < 5 * 60; ++i) tick();
    const double part2Seconds = static_cast<double>(world.now - session.startTime) / 1e9 - session.pausedSeconds;
    EXPECT_NEAR(part2Seconds, 15.0, 0.02);
    EXPECT_EQ(session.elapsedSeconds(), 75);
    session.stop();
    EXPECT_EQ(session.takeStatus(),
              "Saved E2E 2026-12-07 09-06-03 Vertical part 2.mkv  \xC2\xB7  click to show in folder");

    struct Expected {
        std::string name;
        int width, height;
        double seconds;
    };
    const Expected files[] = {
        {"E2E 2026-12-07 09-05-03 Horizontal (2).mkv", 320, 180, part1Seconds},
        {"E2E 2026-12-07 09-05-03 Vertical.mkv", 180, 320, part1Seconds},
        {"E2E 2026-12-07 09-06-03 Horizontal part 2.mkv", 320, 180, part2Seconds},
        {"E2E 2026-12-07 09-06-03 Vertical part 2.mkv", 180, 320, part2Seconds},
    };
    ASSERT_EQ(session.savedFiles.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(session.savedFiles[i], joinPath(utf8ToWide(project.recordingFolder), utf8ToWide(files[i].name)));
    }
    {
        std::ifstream untouched(mainDir / "E2E 2026-12-07 09-05-03 Horizontal.mkv");
        std::string content((std::istreambuf_iterator<char>(untouched)), std::istreambuf_iterator<char>());
        EXPECT_EQ(content, "keep me");
    }

    const double frame = 1.0 / 30.0;
    for (const Expected& e : files) {
        SCOPED_TRACE(e.name);
        for (const std::filesystem::path& dir : {mainDir, backupDir}) {
            const std::filesystem::path file = dir / e.name;
            ASSERT_TRUE(std::filesystem::exists(file)) << file;
            const Probe p = probe(file);
            EXPECT_TRUE(p.clean) << file;
            EXPECT_EQ(p.videoCodec, "h264");
            EXPECT_EQ(p.width, e.width);
            EXPECT_EQ(p.height, e.height);
            EXPECT_EQ(p.audioCodec, "aac");
            EXPECT_EQ(p.sampleRate, 48000);
            EXPECT_EQ(p.channels, 2);
            EXPECT_LE(std::fabs(p.packets * frame - e.seconds), frame + 1e-3) << p.packets << " packets";
            EXPECT_LE(std::fabs(p.duration - e.seconds), frame + 2e-3) << p.duration << " s";
            const CommandResult info = run("mkvinfo " + quoted(file));
            EXPECT_EQ(info.status, 0) << info.out;
            EXPECT_NE(info.out.find("Duration"), std::string::npos);
        }
        const std::vector<std::string> mainFrames = decodedFrames(mainDir / e.name);
        EXPECT_LE(std::fabs(static_cast<double>(mainFrames.size()) * frame - e.seconds), frame + 1e-3)
            << mainFrames.size() << " decoded frames";
        EXPECT_TRUE(mainFrames == decodedFrames(backupDir / e.name)) << "the backup copy decodes differently";
    }
}
