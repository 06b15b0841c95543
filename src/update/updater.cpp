#include "update/updater.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string_view>

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
}  // namespace

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
    newExeSha256_ = manifest.sha256;
}

bool Updater::install(std::string& message) {
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
    if (installUpdate(program, newExe, sha256, message)) return true;
    // A download that is gone or was refused is fetched again by the next check.
    std::error_code ec;
    if (!std::filesystem::exists(toFsPath(newExe), ec) && !ec) {
        std::lock_guard<std::mutex> g(lock_);
        ready_ = false;
    }
    return false;
}

bool installUpdate(const std::wstring& program, const std::wstring& newExe, const std::string& sha256,
                   std::string& message, const FileMove& move) {
    // The download has waited in the user's profile since it was verified,
    // where anything may have written to it. A missing file fails at its move
    // below, with the system's code.
    std::error_code ec;
    if (sha256File(newExe) != sha256 && (std::filesystem::exists(toFsPath(newExe), ec) || ec)) {
        deleteFileIfPresent(newExe);
        message = kUpdateDamagedMessage;
        return false;
    }
    const std::wstring old = program + L".old";
    deleteFileIfPresent(old);
    if (unsigned long e = move(program, old)) {
        message = "Could not replace Quillhaven.exe (error " + std::to_string(e) + ").";
        return false;
    }
    if (unsigned long e = move(newExe, program)) {
        if (unsigned long back = move(old, program)) {
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
