#include "update/updater.h"

#include <chrono>

#include "update/update_manifest.h"
#include "util/folders.h"

namespace {
const wchar_t* const kUpdateFolderName = L"update";
const wchar_t* const kPartFileName = L"Quillhaven.new.exe.part";
const wchar_t* const kNewFileName = L"Quillhaven.new.exe";
}  // namespace

void Updater::start(const std::string& manifestUrl, const std::wstring& profileFolder) {
    if (manifestUrl.empty() || thread_.joinable()) return;
    stopRequested_ = false;
    thread_ = std::thread(&Updater::run, this, manifestUrl, joinPath(profileFolder, kUpdateFolderName));
}

void Updater::stop() {
    {
        std::lock_guard<std::mutex> g(lock_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool Updater::readyVersion(std::string& version) {
    std::lock_guard<std::mutex> g(lock_);
    version = readyVersionText_;
    return ready_;
}

bool Updater::waitForStop(double seconds) {
    std::unique_lock<std::mutex> g(lock_);
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(seconds));
    wake_.wait_until(g, until, [this] { return stopRequested_.load(); });
    return stopRequested_;
}

void Updater::run(std::string manifestUrl, std::wstring updateFolder) {
    if (waitForStop(services_.firstCheckSeconds)) return;
    for (;;) {
        bool isReady;
        {
            std::lock_guard<std::mutex> g(lock_);
            isReady = ready_;
        }
        if (!isReady) check(manifestUrl, updateFolder);
        if (waitForStop(services_.checkIntervalSeconds)) return;
    }
}

void Updater::check(const std::string& manifestUrl, const std::wstring& updateFolder) {
    std::string text, error;
    UpdateManifest manifest;
    if (!services_.get(manifestUrl, int64_t(kUpdateManifestMaxBytes), &text, {}, stopRequested_)) return;
    if (!parseUpdateManifest(text, manifest, error)) return;
    if (!isNewerVersion(manifest.version, kProgramVersion)) return;

    ensureFolder(updateFolder);
    const std::wstring part = joinPath(updateFolder, kPartFileName);
    const std::wstring verified = joinPath(updateFolder, kNewFileName);
    // A partial or unverified download never survives the check.
    const bool ok = services_.get(manifest.url, kUpdateProgramMaxBytes, nullptr, part, stopRequested_) &&
                    !stopRequested_ && services_.hashFile(part) == manifest.sha256 &&
                    moveFileReplacing(part, verified) == 0;
    if (!ok) {
        deleteFileIfPresent(part);
        return;
    }
    std::lock_guard<std::mutex> g(lock_);
    ready_ = true;
    readyVersionText_ = manifest.version;
    newExePath_ = verified;
}

bool Updater::install(std::string& message) {
    const std::wstring program = programFilePath();
    std::wstring newExe;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (!ready_) {
            message = "No update is ready.";
            return false;
        }
        newExe = newExePath_;
    }
    if (program.empty()) {
        message = "Could not find the running Quillhaven.exe.";
        return false;
    }
    return installUpdate(program, newExe, message);
}

bool installUpdate(const std::wstring& program, const std::wstring& newExe, std::string& message) {
    const std::wstring old = program + L".old";
    deleteFileIfPresent(old);
    if (unsigned long e = moveFileReplacing(program, old)) {
        message = "Could not replace Quillhaven.exe (error " + std::to_string(e) + ").";
        return false;
    }
    if (unsigned long e = moveFileReplacing(newExe, program)) {
        if (unsigned long back = moveFileReplacing(old, program)) {
            message = "Could not install the update (error " + std::to_string(e) +
                      "), and Quillhaven.exe could not be put back (error " + std::to_string(back) +
                      "). The previous program is kept as Quillhaven.exe.old beside it.";
            return false;
        }
        message = "Could not install the update (error " + std::to_string(e) + ").";
        return false;
    }
    return true;
}
