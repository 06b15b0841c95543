#include "update/updater.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "update/update_manifest.h"
#include "net/byte_stream.h"
#include "net/https_client.h"
#include "util/folders.h"

namespace {
const wchar_t* const kUpdateFolderName = L"update";
const wchar_t* const kPartFileName = L"Quillhaven.new.exe.part";
const wchar_t* const kNewFileName = L"Quillhaven.new.exe";
const char* const kUserAgent = "Quillhaven-Updater";
constexpr int kResolveTimeoutMs = 10000;
constexpr int kConnectTimeoutMs = 10000;
constexpr int kSendTimeoutMs = 15000;
constexpr int kReceiveTimeoutMs = 15000;
constexpr std::size_t kMaxHostChars = 256;
constexpr std::size_t kMaxPathChars = 2048;
constexpr std::size_t kPieceBytes = 65536;

// Splits "https://host[:port][/path][?query]"; the scheme in any case, as the
// system's URL reader takes it.
bool splitHttpsUrl(std::string_view url, HttpsRequest& rq) {
    constexpr std::string_view scheme = "https://";
    if (url.size() < scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) return false;
    url.remove_prefix(scheme.size());
    const std::size_t hostEnd = std::min(url.find_first_of("/?#"), url.size());
    std::string_view authority = url.substr(0, hostEnd);
    std::string_view rest = url.substr(hostEnd);
    rq.port = kHttpsPort;
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
        std::string_view digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5) return false;
        int port = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > kMaxPort) return false;
        rq.port = port;
        authority = authority.substr(0, colon);
    }
    if (authority.empty() || authority.size() > kMaxHostChars) return false;
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) rest = rest.substr(0, hash);
    rq.host = std::string(authority);
    rq.path.clear();
    if (rest.empty() || rest[0] != '/') rq.path += '/';
    rq.path += rest;
    return rq.path.size() <= kMaxPathChars;
}

// Reads `in` from where it is to its end into `hex`, and into `copy` too when
// given. 0 or the system's error code.
unsigned long hashFrom(HeldFile& in, std::string& hex, NewFile* copy = nullptr) {
    Sha256 sha;
    std::vector<unsigned char> piece(kPieceBytes);
    for (;;) {
        std::size_t got = 0;
        if (unsigned long e = in.read(piece.data(), piece.size(), got)) return e;
        if (got == 0) break;
        sha.add(piece.data(), got);
        if (copy)
            if (unsigned long e = copy->write(piece.data(), got)) return e;
    }
    unsigned char digest[32];
    if (unsigned long e = sha.finish(digest)) return e;
    static const char digits[] = "0123456789abcdef";
    hex.clear();
    for (unsigned char b : digest) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return 0;
}

// Copies the held file whole to `to`, as a new file; `changed` tells whether
// the bytes copied lack the SHA-256 `sha256`. 0 or the system's error code.
unsigned long copyChecked(HeldFile& from, const std::wstring& to, const std::string& sha256, bool& changed) {
    NewFile copy;
    std::string hex;
    unsigned long e = from.rewind();
    if (!e) e = copy.create(to);
    if (!e) e = hashFrom(from, hex, &copy);
    if (!e) e = copy.finish();
    changed = !e && hex != sha256;
    return e;
}

unsigned long takeStep(const InstallStep& step, const std::wstring& from, const std::wstring& to,
                       const std::function<unsigned long()>& move) {
    if (step)
        if (unsigned long e = step(from, to)) return e;
    return move();
}

std::string installFailedMessage(unsigned long error) {
    return "Could not install the update (error " + std::to_string(error) + ")";
}
}  // namespace

std::string sha256File(const std::wstring& path) {
    HeldFile file;
    std::string hex;
    return file.open(path, false) || hashFrom(file, hex) ? std::string() : hex;
}

std::string updateUnreadableMessage(unsigned long error) {
    return "The downloaded update could not be read (error " + std::to_string(error) +
           "), so it was not installed. Try again in a moment.";
}

bool httpsGet(const std::string& url, int64_t cap, std::string* text, const std::wstring& filePath,
              const std::atomic<bool>& cancel, HttpsClient* client) {
    HttpsRequest rq;
    if (!splitHttpsUrl(url, rq) || cap < 0) return false;
    rq.userAgent = kUserAgent;
    rq.resolveTimeoutMs = kResolveTimeoutMs;
    rq.connectTimeoutMs = kConnectTimeoutMs;
    rq.sendTimeoutMs = kSendTimeoutMs;
    rq.receiveTimeoutMs = kReceiveTimeoutMs;
    rq.bodyLimit = std::size_t(cap);
    // The transport also watches the flag while it waits, so a stop ends a
    // request that is still waiting for its answer or its next piece. The
    // request only borrows it: the call returns before the flag's owner can go.
    rq.abort = std::shared_ptr<const std::atomic<bool>>(std::shared_ptr<void>(), &cancel);
    std::ofstream file;
    if (!filePath.empty()) {
        file.open(toFsPath(filePath), std::ios::binary | std::ios::trunc);
        if (!file) return false;
    }
    if (text) text->clear();
    rq.onBody = [&](const char* data, std::size_t size) {
        if (file.is_open())
            file.write(data, std::streamsize(size));
        else if (text)
            text->append(data, size);
        return !cancel && (!file.is_open() || file.good());
    };
    if (cancel) return false;
    std::shared_ptr<HttpsClient> system;
    if (!client) client = (system = systemHttpsClient()).get();
    const HttpsResponse r = client->send(rq);
    bool ok = r.answered && r.status == kHttpOk && r.complete && !r.bodyTooLarge && !r.cancelled && !cancel;
    if (file.is_open()) {
        file.close();
        ok = ok && !file.fail();
    }
    return ok;
}

std::string Updater::start(const std::string& manifestUrl, const std::wstring& profileFolder) {
    if (manifestUrl.empty() || thread_.joinable()) return "";
    stopRequested_ = false;
    try {
        thread_ = services_.starter(
            [this, manifestUrl, folder = joinPath(profileFolder, kUpdateFolderName)] { run(manifestUrl, folder); });
    } catch (const std::system_error&) {
        return kNoThreadError;
    }
    return "";
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
    newExeSha256_ = manifest.sha256;
}

bool Updater::install(std::string& message, const InstallStep& step) {
    const std::wstring program = programFilePath();
    std::wstring newExe;
    std::string sha256;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (!ready_) {
            message = "No update is ready.";
            return false;
        }
        newExe = newExePath_;
        sha256 = newExeSha256_;
    }
    if (program.empty()) {
        message = "Could not find the running Quillhaven.exe.";
        return false;
    }
    const InstallOutcome outcome = installUpdate(program, newExe, sha256, message, step);
    if (outcome == InstallOutcome::Discarded) {
        // Whether or not its delete worked, the next check fetches it again
        // (and its download replaces the file).
        std::lock_guard<std::mutex> g(lock_);
        ready_ = false;
    }
    return outcome == InstallOutcome::Installed;
}

InstallOutcome installUpdate(const std::wstring& program, const std::wstring& newExe, const std::string& sha256,
                             std::string& message, const InstallStep& step) {
    // The download has waited in the user's profile since it was verified,
    // where anything may have written to it: it is checked again, and held
    // from that check until it is installed.
    HeldFile held;
    if (unsigned long e = held.open(newExe, true)) {
        std::error_code ec;
        const bool missing = !std::filesystem::exists(toFsPath(newExe), ec) && !ec;
        message = missing ? installFailedMessage(e) + "." : updateUnreadableMessage(e);
        return missing ? InstallOutcome::Discarded : InstallOutcome::Kept;
    }
    std::string hex;
    if (unsigned long e = hashFrom(held, hex)) {
        message = updateUnreadableMessage(e);
        return InstallOutcome::Kept;
    }
    if (hex != sha256) {
        held.close();
        deleteFileIfPresent(newExe);
        message = kUpdateDamagedMessage;
        return InstallOutcome::Discarded;
    }
    const std::wstring old = program + L".old";
    deleteFileIfPresent(old);
    if (unsigned long e = takeStep(step, program, old, [&] { return moveFileReplacing(program, old); })) {
        message = "Could not replace Quillhaven.exe (error " + std::to_string(e) + ").";
        return InstallOutcome::Kept;
    }
    // Renamed through the hold on one volume; across volumes copied from it,
    // and kept only when the copy has the checked SHA-256.
    bool changed = false;
    unsigned long e = takeStep(step, newExe, program, [&] { return held.renameTo(program); });
    if (e == kNotSameDevice) {
        e = copyChecked(held, program, sha256, changed);
        held.close();
        if (!e && !changed) {
            deleteFileIfPresent(newExe);
            return InstallOutcome::Installed;
        }
        deleteFileIfPresent(program);
        if (changed) deleteFileIfPresent(newExe);
    }
    held.close();
    if (!e && !changed) return InstallOutcome::Installed;
    // The program file goes back under its own name.
    const unsigned long back = takeStep(step, old, program, [&] { return moveFileReplacing(old, program); });
    const std::string putBack = " could not be put back (error " + std::to_string(back) +
                                "). The previous program is kept as Quillhaven.exe.old beside it.";
    if (changed)
        message = std::string(kUpdateDamagedMessage) + (back ? " Quillhaven.exe" + putBack : "");
    else
        message = installFailedMessage(e) + (back ? ", and Quillhaven.exe" + putBack : ".");
    return changed ? InstallOutcome::Discarded : InstallOutcome::Kept;
}
