#pragma once
// Recorders, compositors and a microphone that remember what the recording session asked of
// them, and a world (clock, calendar, disk) the test turns by hand.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/recording_session.h"
#include "support/still_compositor.h"
#include "util/folders.h"
#include "util/text.h"

namespace fakes {

struct RecorderLog {
    std::wstring path;
    RecordingSettings settings;
    Container container = Container::Mp4;
    std::vector<int64_t> frames;
    uint64_t audioFrames = 0;
    bool closed = false;
};

// Shared by every recorder one factory makes, in making order.
struct RecorderBook {
    std::vector<std::shared_ptr<RecorderLog>> logs;
    std::map<std::wstring, std::string> failOpenUnder;  // folder -> error text
    std::string errorAtClose;                           // lastError of every recorder once closed
    bool supports48k = true;

    std::vector<std::shared_ptr<RecorderLog>> opened() const {
        std::vector<std::shared_ptr<RecorderLog>> out;
        for (const auto& l : logs) {
            if (!l->path.empty()) out.push_back(l);
        }
        return out;
    }
};

class FakeRecorder : public IRecorder {
public:
    FakeRecorder(RecorderBook& book, Container c) : book(book), log(std::make_shared<RecorderLog>()) {
        log->container = c;
        book.logs.push_back(log);
    }
    bool open(const std::wstring& path, const RecordingSettings& s) override {
        for (const auto& [dir, text] : book.failOpenUnder) {
            if (path.rfind(dir, 0) == 0) {
                // Like the Matroska recorder: the file exists before the encoder refuses.
                std::ofstream(toFsPath(path)) << "";
                error = text;
                return false;
            }
        }
        log->path = path;
        log->settings = s;
        std::ofstream(toFsPath(path)) << "";
        isOpenFlag = true;
        return true;
    }
    void writeVideo(const uint8_t*, int, int64_t frameNumber) override { log->frames.push_back(frameNumber); }
    void writeAudio(const int16_t*, uint64_t frames) override { log->audioFrames += frames; }
    void close() override {
        log->closed = true;
        isOpenFlag = false;
        if (error.empty()) error = book.errorAtClose;
    }
    bool isOpen() const override { return isOpenFlag; }
    std::string lastError() const override { return error; }
    bool supportsSampleRate(int rate) const override { return book.supports48k && (rate == 48000 || rate == 44100); }
    std::string encoderName() const override { return "Fake H.264"; }

    RecorderBook& book;
    std::shared_ptr<RecorderLog> log;
    std::string error;
    bool isOpenFlag = false;
};

class FakeCompositor : public StillCompositorBase {
public:
    const uint8_t* mapPixels(int* rowPitch) override {
        ++maps;
        if (failMap) return nullptr;
        *rowPitch = 64;
        return pixels.data();
    }

    std::vector<uint8_t> pixels = std::vector<uint8_t>(64 * 16);
    bool failMap = false;
    int maps = 0;
};

class FakeMic : public IAudioInput {
public:
    void start(const AudioInputSettings&) override {}
    void stop() override {}
    float level() const override { return 0; }
    bool isMuted() const override { return muted; }
    void setMuted(bool on) override { muted = on; }
    int sampleRate() const override { return rate; }
    std::string status() const override { return statusText; }
    std::string activeEffects() const override { return ""; }
    void setCollecting(bool) override {}
    void takeSamples(std::vector<int16_t>& s) override { s.clear(); }

    int rate = 48000;
    bool muted = false;
    std::string statusText;
};

// The test's world: a steady clock in nanoseconds, a fixed calendar time and free space by folder.
struct World {
    int64_t now = 1'000'000'000'000;
    std::tm calendar = [] {
        std::tm t = {};
        t.tm_year = 2026 - 1900;
        t.tm_mon = 11;
        t.tm_mday = 7;
        t.tm_hour = 9;
        t.tm_min = 5;
        t.tm_sec = 3;
        return t;
    }();
    std::map<std::wstring, uint64_t> freeMiB;  // absent = unreadable

    void advanceSeconds(double s) { now += static_cast<int64_t>(s * 1e9); }

    RecordingEnvironment environment() {
        RecordingEnvironment env;
        env.steadyNow = [this] { return now; };
        env.localNow = [this] { return calendar; };
        env.freeSpace = [this](const std::wstring& folder, uint64_t& bytes) {
            const auto it = freeMiB.find(folder);
            if (it == freeMiB.end()) return false;
            bytes = it->second << 20;
            return true;
        };
        env.defaultFolder = [] { return std::wstring(); };
        return env;
    }
};

// The names of the files in a folder (none when it does not exist).
inline std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
    return names;
}

// A fresh folder under the build folder for one test.
inline std::string scratchFolder(const std::string& name) {
    const char* root = std::getenv("QH_BINARY_DIR");
    std::filesystem::path p = root && *root ? std::filesystem::path(root) : std::filesystem::temp_directory_path();
    p /= "recording-test-data";
    p /= name;
    std::filesystem::remove_all(p);
    std::filesystem::create_directories(p);
    return p.string();
}

}  // namespace fakes
