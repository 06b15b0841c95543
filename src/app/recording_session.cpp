#include "app/recording_session.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "app/recording_platform.h"
#include "util/folders.h"
#include "util/recording_names.h"
#include "util/text.h"

namespace {

constexpr uint64_t kMinimumFreeMiB = 600;
constexpr uint64_t kLowSpaceMiB = 4096;
constexpr int64_t kDiskCheckNs = 5'000'000'000;
constexpr int kAudioBytesPerSecond = 24000;
// Names run "base (2)" up to this number before a start is refused.
constexpr int kMaxNameNumber = 100000;
const char* const kJoin = "  \xC2\xB7  ";  // two blanks, a middle dot, two blanks

const char* canvasWord(int c) { return c == 0 ? "Horizontal" : "Vertical"; }

bool recordsCanvas(const Project& project, int c) { return c == 0 ? project.recordHorizontal : project.recordVertical; }

// The name part of a path, whichever separator the platform wrote.
std::wstring fileNamePart(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Files of a recording that never started: nothing of the user's is lost by removing them.
void removeFiles(const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) {
        std::error_code ec;
        std::filesystem::remove(toFsPath(path), ec);
    }
}

enum class Entry { Absent, Present, Unknown };

Entry entryAt(const std::wstring& path) {
    std::error_code ec;
    const auto st = std::filesystem::symlink_status(toFsPath(path), ec);
    if (st.type() == std::filesystem::file_type::not_found) return Entry::Absent;
    if (ec || st.type() == std::filesystem::file_type::none) return Entry::Unknown;
    return Entry::Present;
}

}  // namespace

RecordingEnvironment systemRecordingEnvironment() {
    RecordingEnvironment env;
    env.steadyNow = [] {
        return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
    };
    env.localNow = localCalendarNow;
    env.freeSpace = availableDiskBytes;
    env.defaultFolder = defaultRecordingFolder;
    return env;
}

RecordingSession::RecordingSession(RecorderFactory factory, ICompositor* horizontal, ICompositor* vertical,
                                   IAudioInput* microphone, RecordingEnvironment environment)
    : makeRecorder(std::move(factory)), compositors{horizontal, vertical}, mic(microphone),
      env(std::move(environment)) {
    if (!makeRecorder) return;
    for (auto& canvas : recorders) {
        for (auto& r : canvas) r = makeRecorder(Container::Mp4);
    }
}

void RecordingSession::addStatus(const std::string& text) {
    if (status.empty()) {
        status = text;
    } else {
        status += kJoin + text;
    }
}

std::string RecordingSession::takeStatus() {
    std::string out;
    out.swap(status);
    return out;
}

bool RecordingSession::freeMiB(const std::wstring& path, uint64_t& mib) const {
    uint64_t bytes = 0;
    if (!env.freeSpace || !env.freeSpace(path, bytes)) return false;
    mib = bytes >> 20;
    return true;
}

void RecordingSession::closeAll() {
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < 2; ++k) {
            if (active[c][k]) {
                recorders[c][k]->close();
                active[c][k] = false;
            }
        }
    }
}

void RecordingSession::checkBackupDrive() {
    uint64_t mib = 0;
    if (backupFolder.empty() || !freeMiB(backupFolder, mib) || mib >= kMinimumFreeMiB) return;
    for (int c = 0; c < 2; ++c) {
        if (active[c][1]) {
            recorders[c][1]->close();
            active[c][1] = false;
        }
    }
    backupFolder.clear();
    addStatus("Backup copy stopped: backup drive almost full (" + std::to_string(mib) + " MB free)");
}

std::string RecordingSession::start(const Project& project, const Scene& scene) {
    if (recording) return "";
    if (!project.recordHorizontal && !project.recordVertical) return "Choose a canvas to record in Settings";

    folder = project.recordingFolder.empty() ? (env.defaultFolder ? env.defaultFolder() : std::wstring())
                                             : utf8ToWide(project.recordingFolder);
    backupFolder = utf8ToWide(project.backupFolder);
    if (!folder.empty()) ensureFolder(folder);
    if (!backupFolder.empty()) ensureFolder(backupFolder);
    // One folder written two ways is still one folder: a backup there would be no backup.
    if (!backupFolder.empty() && sameFileSystemEntry(backupFolder, folder)) backupFolder.clear();

    status.clear();
    checkBackupDrive();
    uint64_t mib = 0;
    if (freeMiB(folder, mib) && mib < kMinimumFreeMiB) {
        return "Not enough disk space (" + std::to_string(mib) + " MB free)";
    }

    part = 1;
    carriedSeconds = 0.0;
    paused = false;
    lowSpaceWarned = false;
    savedFiles.clear();
    const std::string error = openFiles(project, scene);
    if (!error.empty()) return error;
    recording = true;
    lastDiskCheck = env.steadyNow();
    return "";
}

std::wstring RecordingSession::freeName(const std::string& base, const std::string& extension) const {
    // Nothing is ever overwritten: a name taken in either folder, or one whose presence
    // cannot be told, moves on to the next number.
    auto taken = [&](const std::string& candidate) {
        const std::wstring name = utf8ToWide(candidate + extension);
        if (entryAt(joinPath(folder, name)) != Entry::Absent) return true;
        return !backupFolder.empty() && entryAt(joinPath(backupFolder, name)) != Entry::Absent;
    };
    // Empty when every number is taken: a failed start removes the files it attempted, so it
    // must never be handed a name that already stands there.
    std::string candidate = base;
    for (int n = 2; taken(candidate); ++n) {
        if (n >= kMaxNameNumber) return {};
        candidate = base + " (" + std::to_string(n) + ")";
    }
    return utf8ToWide(candidate + extension);
}

std::string RecordingSession::openFiles(const Project& project, const Scene& scene) {
    FileNameFields fields;
    fields.show = project.showName;
    fields.scene = scene.name;
    fields.part = part;
    fields.time = env.localNow();
    const bool both = project.recordHorizontal && project.recordVertical;
    const std::string& nameTemplate = project.fileNameTemplate;
    const int sampleRate = recorders[0][0] && recorders[0][0]->supportsSampleRate(48000) ? 48000 : 0;
    // Every name below was free, so whatever stands there now was made by this attempt.
    std::vector<std::wstring> attempted;
    const size_t savedBefore = savedFiles.size();
    auto refuse = [&](const std::string& error) {
        closeAll();
        removeFiles(attempted);
        savedFiles.resize(savedBefore);
        keepFileName();
        return error;
    };

    for (int c = 0; c < 2; ++c) {
        if (!recordsCanvas(project, c)) continue;
        active[c][0] = false;
        active[c][1] = false;
        const std::string canvas = canvasWord(c);
        const CanvasSettings& cs = project.canvases[static_cast<size_t>(c)];
        if (cs.width <= 0 || cs.height <= 0 || cs.fps <= 0)
            return refuse("Could not record " + canvas + ": the canvas size or frame rate is not valid");

        fields.canvas = canvas;
        std::string base = expandFileName(nameTemplate, fields);
        if (both && nameTemplate.find("{canvas}") == std::string::npos) base += " " + canvas;
        if (part > 1 && nameTemplate.find("{part}") == std::string::npos) base += " part " + std::to_string(part);
        const std::wstring name = freeName(base, project.mkv ? ".mkv" : ".mp4");
        if (name.empty()) return refuse("Could not record " + canvas + ": no free file name for " + base);

        RecordingSettings settings;
        settings.width = cs.width;
        settings.height = cs.height;
        settings.fps = cs.fps;
        settings.videoBitrate = cs.bitrateKbps * 1000;
        settings.sampleRate = sampleRate;
        settings.audioBytesPerSecond = kAudioBytesPerSecond;
        settings.preset = project.encoderPreset;
        settings.fragmented = project.safeMp4;

        for (int k = 0; k < 2; ++k) {
            const std::wstring& dir = k == 0 ? folder : backupFolder;
            if (k == 1 && dir.empty()) continue;
            const std::wstring path = joinPath(dir, name);
            attempted.push_back(path);
            recorders[c][k] = makeRecorder ? makeRecorder(project.mkv ? Container::Mkv : Container::Mp4) : nullptr;
            IRecorder* r = recorders[c][k].get();
            if (r && r->open(path, settings)) {
                active[c][k] = true;
                if (k == 0) savedFiles.push_back(path);
                continue;
            }
            const std::string error = r ? r->lastError() : std::string("no recorder is available");
            // A recorder that failed to open may still have created its file.
            if (r) r->close();
            if (k == 0) return refuse("Could not record " + canvas + ": " + error);
            removeFiles({path});
            attempted.pop_back();
            addStatus("Backup copy not recorded: " + error);
        }
        fps[c] = cs.fps;
        nextFrame[c] = 0;
    }

    if (part == 1 && mic && mic->sampleRate() == 0) {
        const std::string micStatus = mic->status();
        addStatus("Recording without the microphone: " + (micStatus.empty() ? std::string("not open") : micStatus));
    }
    keepFileName();
    startTime = env.steadyNow();
    pausedSeconds = 0.0;
    return "";
}

void RecordingSession::stop() {
    if (!recording) return;
    // A main file whose container could not be finished is not reported as saved.
    std::string unfinished;
    for (int c = 0; c < 2; ++c) {
        if (active[c][0] && unfinished.empty()) {
            recorders[c][0]->close();
            unfinished = recorders[c][0]->lastError();
        }
    }
    closeAll();
    recording = false;
    paused = false;
    if (!unfinished.empty()) {
        status = "Could not finish " + fileName + ": " + unfinished;
    } else if (!savedFiles.empty()) {
        status = "Saved " + fileName + kJoin + "click to show in folder";
    }
}

void RecordingSession::tick(const Project& project, const Scene& scene, const std::vector<int16_t>& mixed) {
    if (!recording || paused) return;
    const int64_t now = env.steadyNow();
    const double elapsed = static_cast<double>(now - startTime) / 1e9 - pausedSeconds;

    for (int c = 0; c < 2; ++c) {
        if (!active[c][0] && !active[c][1]) continue;
        // The frame number follows the clock: frames a slow loop missed are skipped, so the
        // file's timing stays true.
        const auto n = static_cast<int64_t>(static_cast<double>(fps[c]) * elapsed);
        if (nextFrame[c] <= n) {
            int pitch = 0;
            const uint8_t* pixels = compositors[c] ? compositors[c]->mapPixels(&pitch) : nullptr;
            if (pixels) {
                for (int k = 0; k < 2; ++k) {
                    if (active[c][k]) recorders[c][k]->writeVideo(pixels, pitch, n);
                }
                compositors[c]->unmapPixels();
            }
            nextFrame[c] = n + 1;
        }
        for (int k = 0; k < 2; ++k) {
            if (!active[c][k]) continue;
            IRecorder& r = *recorders[c][k];
            if (!mixed.empty()) r.writeAudio(mixed.data(), mixed.size() / 2);
            const std::string error = r.lastError();
            if (error.empty()) continue;
            if (k == 0) {
                stop();
                status = "Recording stopped: " + error;
                return;
            }
            r.close();
            active[c][k] = false;
            addStatus("Backup copy stopped: " + error);
        }
    }

    if (now - lastDiskCheck >= kDiskCheckNs) {
        lastDiskCheck = now;
        checkBackupDrive();
        uint64_t mib = 0;
        if (freeMiB(folder, mib)) {
            if (mib < kMinimumFreeMiB) {
                stop();
                status = "Recording stopped: disk almost full (" + std::to_string(mib) + " MB free). The file is saved.";
                return;
            }
            if (mib < kLowSpaceMiB && !lowSpaceWarned) {
                lowSpaceWarned = true;
                // Joined, not assigned: a backup-drive text from this same check must stay.
                addStatus("Low disk space: " + std::to_string(mib / 1024) + " GB free");
            }
        }
    }

    if (project.splitMinutes >= 1 && elapsed >= static_cast<double>(project.splitMinutes) * 60.0) {
        closeAll();
        carriedSeconds += elapsed;
        ++part;
        const std::string error = openFiles(project, scene);
        if (!error.empty()) {
            recording = false;
            paused = false;
            status = error;
        }
    }
}

void RecordingSession::togglePause() {
    if (!recording) return;
    const int64_t now = env.steadyNow();
    if (paused) {
        pausedSeconds += static_cast<double>(now - pauseStart) / 1e9;
        paused = false;
    } else {
        pauseStart = now;
        paused = true;
    }
}

int32_t RecordingSession::elapsedSeconds() const {
    if (!recording) return 0;
    const int64_t t = paused ? pauseStart : env.steadyNow();
    return static_cast<int32_t>(static_cast<double>(t - startTime) / 1e9 - pausedSeconds + carriedSeconds);
}

std::string RecordingSession::encoderName() const {
    if (active[0][0]) return recorders[0][0]->encoderName();
    if (active[1][0]) return recorders[1][0]->encoderName();
    return "";
}

void RecordingSession::keepFileName() {
    fileName = savedFiles.empty() ? std::string() : wideToUtf8(fileNamePart(savedFiles.back()));
}

RecordingNotice noticeAfterToggle(RecordingSession& session, const std::string& startError) {
    RecordingNotice notice;
    const std::string pending = session.takeStatus();
    if (!startError.empty()) {
        // A file that could not be opened already says "Could not record <canvas>: ".
        const char* const lead = "Could not record";
        notice.text = startError.starts_with(lead) ? startError : std::string(lead) + ": " + startError;
        if (!pending.empty()) notice.text += std::string(kJoin) + pending;
        return notice;
    }
    notice.text = pending;
    if (!pending.empty() && !session.recording && !session.savedFiles.empty()) notice.path = session.savedFiles.back();
    return notice;
}
