#pragma once
// Self-update: a background thread looks for a newer program on the update
// endpoint, downloads and verifies it into the profile's "update" folder, and
// the studio installs it on request by swapping the program files.

#include <atomic>
#include <cassert>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "remote/thread_starter.h"

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

// The platform's parts of the install; the rules that use them are portable.
// SHA-256 fed piece by piece (BCrypt on Windows, FIPS 180-4 code on posix).
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void add(const unsigned char* data, std::size_t size);
    // 0 with the digest, or the system's error code.
    unsigned long finish(unsigned char (&digest)[32]);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A file open for reading. Held to be installed it may also be renamed
// through, and on Windows nobody may write, rename or delete it meanwhile
// (posix cannot keep writers out).
class HeldFile {
public:
    HeldFile() = default;
    ~HeldFile() { close(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    // Each gives 0 or the system's error code.
    unsigned long open(const std::wstring& path, bool toInstall);
    // Up to `size` bytes from the current place; `got` is 0 at the end.
    unsigned long read(unsigned char* data, std::size_t size, std::size_t& got);
    unsigned long rewind();
    // Gives the file held the name `to`, replacing a file there; the code is
    // kNotSameDevice when `to` is on another volume, and always on posix,
    // which cannot rename through a descriptor.
    unsigned long renameTo(const std::wstring& to);
    void close();

private:
    std::intptr_t handle_ = -1;
};

// A file written anew (created or emptied first); `finish` flushes it to the
// disk and closes it. Each gives 0 or the system's error code.
class NewFile {
public:
    NewFile() = default;
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    unsigned long create(const std::wstring& path);
    unsigned long write(const unsigned char* data, std::size_t size);
    unsigned long finish();

private:
    std::intptr_t handle_ = -1;
};

// ERROR_NOT_SAME_DEVICE on Windows, EXDEV on posix.
extern const unsigned long kNotSameDevice;

// Shown when the download no longer has the SHA-256 it was verified with; it
// is deleted, and the next check fetches it again.
inline constexpr const char* kUpdateDamagedMessage =
    "The downloaded update has been changed since it was checked, so it was not installed. "
    "It will be downloaded again.";

// Shown when the download cannot be read (another program may hold it); it is
// kept and stays ready.
std::string updateUnreadableMessage(unsigned long error);

enum class InstallOutcome {
    Installed,
    Kept,       // not installed; the download stays ready
    Discarded,  // not installed; the download is missing or changed, so the next check fetches it again
};

// Swaps `newExe` in at `program`, keeping the replaced file at program +
// ".old", once `newExe` still has the SHA-256 `sha256`. The download is held
// from its check to its install, so that what is installed is what was
// checked: renamed through that hold on one volume, copied from it across
// volumes and installed only when the copy's bytes have that SHA-256 too.
// Unless installed, `message` tells why; the program file is then back under
// its own name, or, when even that failed, kept at ".old" and named in the
// message. Tests hand in `step`, called before each move (the program to
// ".old", the download to the program, ".old" back) to fail it with the code
// it gives, or to do something in between when it gives 0.
using InstallStep = std::function<unsigned long(const std::wstring& from, const std::wstring& to)>;
InstallOutcome installUpdate(const std::wstring& program, const std::wstring& newExe, const std::string& sha256,
                             std::string& message, const InstallStep& step = {});

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
        ThreadStarter starter = startThread;
    };

    // What `start` gives when the system has no thread for the checks.
    static constexpr const char* kNoThreadError = "Could not start the update check";

    Updater() = default;
    explicit Updater(Services services) : services_(std::move(services)) {}
    ~Updater() { stop(); }
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    // Starts the thread unless the URL is empty or it already runs; "" or
    // kNoThreadError.
    std::string start(const std::string& manifestUrl, const std::wstring& profileFolder);
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
    // A download found missing or changed is no longer ready. `step` as for
    // installUpdate.
    bool install(std::string& message, const InstallStep& step = {});
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
