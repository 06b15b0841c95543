#pragma once
// Self-update: a background thread looks for a newer program on the update
// endpoint, downloads and verifies it into the profile's "update" folder, and
// the studio installs it on request by swapping the program files.

#include <atomic>
#include <cassert>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

class HttpsClient;

inline constexpr const char* kProgramVersion = "0.1.5";
inline constexpr int64_t kUpdateProgramMaxBytes = 314572800;  // 300 MiB

// GET over HTTPS with status 200 only, through `client` (the system's when
// null). The body goes to `text`, or to the file at `filePath` when that is not
// empty (created or truncated). More than `cap` bytes fails before the excess
// is written; `cancel`, looked at before the request, between the transport's
// steps and after every piece, fails the request when set.
bool httpsGet(const std::string& url, int64_t cap, std::string* text, const std::wstring& filePath,
              const std::atomic<bool>& cancel, HttpsClient* client = nullptr);

// SHA-256 of the file as 64 lower-case hex digits; empty when it cannot be had.
std::string sha256File(const std::wstring& path);

// The running program's full path; empty when it cannot be had.
std::wstring programFilePath();

// Moves `from` over `to`, also across volumes, and flushes it. 0 or the
// system's error code.
unsigned long moveFileReplacing(const std::wstring& from, const std::wstring& to);

// Deletes the file; 0 when it is gone (a missing file included), else the
// system's error code.
unsigned long deleteFileIfPresent(const std::wstring& path);

// Shown when the download no longer has the SHA-256 it was verified with; it
// is deleted, and the next check fetches it again.
inline constexpr const char* kUpdateDamagedMessage =
    "The downloaded update has been changed since it was checked, so it was not installed. "
    "It will be downloaded again.";

// Swaps `newExe` in at `program`, keeping the replaced file at program +
// ".old", once `newExe` still has the SHA-256 `sha256`. False with the message
// to show when it could not; the program file is then back under its own
// name, or, when even that failed, kept at ".old" and named in the message.
// Tests hand in `move` to make a move fail.
using FileMove = std::function<unsigned long(const std::wstring& from, const std::wstring& to)>;
bool installUpdate(const std::wstring& program, const std::wstring& newExe, const std::string& sha256,
                   std::string& message, const FileMove& move = moveFileReplacing);

// Deletes the running program's ".old" file, retrying briefly while the
// previous process may still hold it; failures are ignored.
void removeOldExe();
// Starts the program file again; failures are ignored.
void relaunchSelf();

class Updater {
public:
    // What the updater thread reaches the network and disk through.
    struct Services {
        std::function<bool(const std::string&, int64_t, std::string*, const std::wstring&,
                           const std::atomic<bool>&)>
            get = [](const std::string& url, int64_t cap, std::string* text, const std::wstring& file,
                     const std::atomic<bool>& cancel) { return httpsGet(url, cap, text, file, cancel); };
        std::function<std::string(const std::wstring&)> hashFile = sha256File;
        double firstCheckSeconds = 20;
        double checkIntervalSeconds = 14400;
    };

    Updater() = default;
    explicit Updater(Services services) : services_(std::move(services)) {}
    ~Updater() { stop(); }
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    // Starts the thread unless the URL is empty or it already runs.
    void start(const std::string& manifestUrl, const std::wstring& profileFolder);
    // Ends the request in flight at once, and joins the thread.
    void stop();
    bool isStarted() const { return thread_.joinable(); }
    // Before start: what the thread reaches the network and disk through.
    void setServices(Services services) {
        assert(!thread_.joinable());
        services_ = std::move(services);
    }
    // True with the version text once a verified download is waiting.
    bool readyVersion(std::string& version);
    // Swaps the running program for the downloaded one; false with a message.
    bool install(std::string& message);
    // Waits up to `seconds`; true when stop was asked for.
    bool waitForStop(double seconds);
    // One check: manifest, version, download, verification. Runs on the thread.
    void check(const std::string& manifestUrl, const std::wstring& updateFolder);

private:
    void run(std::string manifestUrl, std::wstring updateFolder);

    Services services_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::atomic<bool> stopRequested_{false};
    std::thread thread_;
    bool ready_ = false;
    std::string readyVersionText_;
    std::wstring newExePath_;
    std::string newExeSha256_;  // as the manifest gave it
};
