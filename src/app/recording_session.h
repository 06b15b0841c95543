#pragma once
// The recording runtime: one file per recorded canvas (and a backup copy of each in a second
// folder), parts, pause, the disk-space watch and the one pending status text the studio shows.
// Main thread only; encoding and writing happen inside the recorders.

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/media.h"
#include "project/project.h"

// Everything the session reads from the world, so that it can run on a test's clock and disk.
struct RecordingEnvironment {
    std::function<int64_t()> steadyNow;                                  // nanoseconds
    std::function<std::tm()> localNow;                                   // calendar time for names
    std::function<bool(const std::wstring& folder, uint64_t& bytes)> freeSpace;  // false: unknown
    std::function<std::wstring()> defaultFolder;                         // when the project names none
};

RecordingEnvironment systemRecordingEnvironment();

class RecordingSession {
public:
    using RecorderFactory = std::function<std::unique_ptr<IRecorder>(Container)>;

    RecordingSession(RecorderFactory factory, ICompositor* horizontal, ICompositor* vertical, IAudioInput* mic,
                     RecordingEnvironment environment = systemRecordingEnvironment());
    // From the media kit: its recorder factory, its two compositors and its microphone.
    template <typename Kit>
        requires requires(Kit& k) {
            k.makeRecorder;
            k.compositors[1].get();
            k.micInput.get();
        }
    explicit RecordingSession(Kit& kit, RecordingEnvironment environment = systemRecordingEnvironment())
        : RecordingSession(kit.makeRecorder, kit.compositors[0].get(), kit.compositors[1].get(), kit.micInput.get(),
                           std::move(environment)) {}
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;

    // An error text, empty on success (and when already recording).
    std::string start(const Project& project, const Scene& scene);
    void stop();
    void tick(const Project& project, const Scene& scene, const std::vector<int16_t>& mixedSamples);
    void togglePause();
    int32_t elapsedSeconds() const;
    std::string encoderName() const;
    std::string takeStatus();
    // File name (no folder) of the newest main file, UTF-8; "" before the first.
    const std::string& currentFileName() const { return fileName; }

    RecorderFactory makeRecorder;
    std::unique_ptr<IRecorder> recorders[2][2];  // [canvas][0 main, 1 backup]
    ICompositor* compositors[2] = {nullptr, nullptr};
    IAudioInput* mic = nullptr;
    bool recording = false;
    bool paused = false;
    bool active[2][2] = {{false, false}, {false, false}};
    bool lowSpaceWarned = false;
    int32_t part = 1;
    int32_t fps[2] = {0, 0};
    int64_t nextFrame[2] = {0, 0};
    int64_t startTime = 0;
    int64_t pauseStart = 0;
    int64_t lastDiskCheck = 0;
    double pausedSeconds = 0.0;
    double carriedSeconds = 0.0;
    std::wstring folder;
    std::wstring backupFolder;  // empty = no backup
    std::vector<std::wstring> savedFiles;
    std::string status;

private:
    std::string openFiles(const Project& project, const Scene& scene);
    void closeAll();
    void checkBackupDrive();
    void addStatus(const std::string& text);
    // Free space of a folder's volume in whole MiB; false when it cannot be read.
    bool freeMiB(const std::wstring& path, uint64_t& mib) const;
    std::wstring freeName(const std::string& base, const std::string& extension) const;
    // Kept as text when a file opens, for the frame that shows it while recording.
    void keepFileName();

    std::string fileName;

    RecordingEnvironment env;
};

// What the user is told after starting or stopping by hand.
struct RecordingNotice {
    std::string text;   // empty = no notice
    std::wstring path;  // file to show on click; empty = not clickable
};

// Takes the session's pending status. A refused start leads with "Could not record: " and its
// reason, and the pending status follows it instead of replacing it, so that a backup-drive
// text never hides why nothing is being recorded.
RecordingNotice noticeAfterToggle(RecordingSession& session, const std::string& startError);
