#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "net/https_client.h"
#include "support/wait_for.h"
#include "update/manifest_text.h"
#include "update/test_files.h"
#include "update/updater.h"
#include "util/folders.h"
#include "util/text.h"

namespace {
namespace fs = std::filesystem;

std::wstring testFolder(const std::wstring& name, std::wstring base = {}) {
    if (base.empty()) base = environmentVariable(L"QH_BINARY_DIR");
    if (base.empty()) base = fromFsPath(fs::temp_directory_path());
    const std::wstring folder = joinPath(joinPath(base, L"update-test-data"), name);
    freshFolder(folder);
    return folder;
}

const char* const kManifestUrl = "https://updates.test/update.json";
const char* const kProgramUrl = "https://updates.test/q.exe";
// Its SHA-256 is a known answer.
const std::string kProgramBytes = "abc";
const std::string kProgramHash = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

// Serves one body in pieces through the request's sink, as the system client
// does; with `stall`, waits after the first piece for the request's abort flag,
// which the system client looks at between its steps.
struct PieceServer final : HttpsClient {
    int status = kHttpOk;
    std::string body = "{}";
    bool complete = true, stall = false;
    std::atomic<bool> stalled{false}, aborted{false};
    std::vector<HttpsRequest> seen;
    HttpsResponse send(const HttpsRequest& rq) override {
        constexpr std::size_t kPiece = 7;
        seen.push_back(rq);
        HttpsResponse r;
        r.answered = true;
        r.status = status;
        for (std::size_t at = 0; at < body.size(); at += kPiece) {
            const std::size_t n = std::min(kPiece, body.size() - at);
            r.bodyTooLarge = at + n > rq.bodyLimit;
            r.cancelled = !r.bodyTooLarge && !rq.onBody(body.data() + at, n);
            if (r.bodyTooLarge || r.cancelled) return r;
            if (stall) {
                stalled = true;
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
                while (!*rq.abort && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                aborted = rq.abort->load();
                return r;
            }
        }
        r.complete = complete;
        return r;
    }
};
}  // namespace

TEST(Updater, ChecksDownloadVerifyAndLeaveNoPartialFile) {
    std::string upper = kProgramHash;
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    // Versions, manifests and server failures are also run against a real
    // server under Wine; here what only a scripted endpoint can show.
    struct Case {
        const char* name;
        std::string manifest;
        bool programOk, ready;
        int programRequests;
    } cases[] = {
        {"newer", manifestText("0.2.0", kProgramUrl, kProgramHash), true, true, 1},
        {"newer, hash in capitals", manifestText("v1.0", kProgramUrl, upper), true, true, 1},
        {"equal: nothing downloaded", manifestText("0.1.5", kProgramUrl, kProgramHash), true, false, 0},
        {"wrong hash", manifestText("0.2.0", kProgramUrl, std::string(64, '0')), true, false, 1},
        {"download failed after a partial file", manifestText("0.2.0", kProgramUrl, kProgramHash), false, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring folder = testFolder(L"check");
        int programRequests = 0;
        Updater::Services s;
        s.get = [&](const std::string& url, int64_t cap, std::string* text, const std::wstring& file,
                    const std::atomic<bool>&) {
            if (url == kManifestUrl) {
                *text = c.manifest;
                return true;
            }
            ++programRequests;
            EXPECT_EQ(url, kProgramUrl);
            EXPECT_EQ(cap, kUpdateProgramMaxBytes);
            writeFile(file, c.programOk ? kProgramBytes : kProgramBytes.substr(0, 1));
            return c.programOk;
        };
        Updater updater(s);
        updater.check(kManifestUrl, folder);
        std::string version;
        EXPECT_EQ(updater.readyVersion(version), c.ready);
        EXPECT_EQ(programRequests, c.programRequests);
        EXPECT_FALSE(exists(joinPath(folder, L"Quillhaven.new.exe.part")));
        EXPECT_EQ(readFile(joinPath(folder, L"Quillhaven.new.exe")), c.ready ? kProgramBytes : "");
    }
}

TEST(Updater, StopAbortsTheDownloadInFlightAndDeletesThePartFile) {
    const std::wstring profile = testFolder(L"stop");
    PieceServer server;
    server.body = std::string(1000, 'x');
    server.stall = true;
    Updater::Services s;
    s.firstCheckSeconds = 0;
    s.get = [&](const std::string& url, int64_t cap, std::string* text, const std::wstring& file,
                const std::atomic<bool>& cancel) {
        if (url == kManifestUrl) {
            *text = manifestText("9.0.0", kProgramUrl, std::string(64, 'a'));
            return true;
        }
        return httpsGet(url, cap, text, file, cancel, &server);
    };
    const std::wstring part = joinPath(joinPath(profile, L"update"), L"Quillhaven.new.exe.part");
    Updater updater(s);
    updater.start(kManifestUrl, profile);
    ASSERT_TRUE(waitFor([&] { return server.stalled.load(); }));
    EXPECT_TRUE(exists(part));
    updater.stop();
    EXPECT_TRUE(server.aborted);
    EXPECT_FALSE(exists(part));
    std::string version;
    EXPECT_FALSE(updater.readyVersion(version));
}

TEST(Updater, InstallSwapsTheFilesAndNeverLosesTheProgram) {
    std::string message;
    EXPECT_FALSE(Updater().install(message));
    EXPECT_EQ(message, "No update is ready.");

    // The download folder may sit on another volume than the program (on this
    // machine /dev/shm is another file system, where a plain rename fails).
    const std::wstring programs = testFolder(L"programs");
    const std::wstring other = fs::is_directory("/dev/shm") ? testFolder(L"shm", fromFsPath("/dev/shm")) : programs;
    // Moves that fail from the n-th on each give their own code.
    struct Case {
        std::wstring downloads;
        bool newMissing;
        int failingFrom;           // 0: no move fails
        const char* message;       // "" when installed
        const wchar_t* programAt;  // suffix of the program's path that holds the old program
        bool altered = false;      // the download was written to after its check
        bool writtenWhileInstalled = false;  // ... or once checked, while the install runs
    } cases[] = {
        {programs, false, 0, "", L".old"},
        {other, false, 0, "", L".old"},
        {other, true, 0, "Could not install the update (error 2).", L""},
        {programs, false, 1, "Could not replace Quillhaven.exe (error 101).", L""},
        {programs, false, 2,
         "Could not install the update (error 102), and Quillhaven.exe could not be put back (error 103). "
         "The previous program is kept as Quillhaven.exe.old beside it.",
         L".old"},
        {other, false, 0, kUpdateDamagedMessage, L"", true},
#ifdef _WIN32
        // The checked bytes go in: the download is held against writers.
        {other, false, 0, "", L".old", false, true},
#else
        // Posix cannot keep writers out: the copy's own hash finds the write.
        {other, false, 0, kUpdateDamagedMessage, L"", false, true},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(wideToUtf8(c.downloads) + ": " + c.message);
        const std::wstring program = joinPath(programs, L"Quillhaven.exe");
        const std::wstring newExe = joinPath(c.downloads, L"Quillhaven.new.exe");
        writeFile(program, "old program");
        writeFile(program + L".old", "an older leftover");
        fs::remove(toFsPath(newExe));
        if (!c.newMissing) writeFile(newExe, c.altered ? kProgramBytes + "!" : kProgramBytes);
        int moves = 0;
        message.clear();
        const InstallStep step = [&](const std::wstring& from, const std::wstring& to) {
            if (c.writtenWhileInstalled && from == program)
                std::ofstream(toFsPath(newExe), std::ios::binary) << "swapped";
            return c.failingFrom == 0 || ++moves < c.failingFrom ? 0ul : 100ul + unsigned(moves);
        };
        EXPECT_EQ(installUpdate(program, newExe, kProgramHash, message, step) == InstallOutcome::Installed, !*c.message)
            << message;
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(readFile(program + c.programAt), "old program");
        if (!*c.message) {
            EXPECT_EQ(readFile(program), kProgramBytes);
        }
        EXPECT_EQ(exists(newExe), *c.message && !c.newMissing && !c.altered && !c.writtenWhileInstalled);
    }
}

TEST(Updater, StartWithoutAThreadGivesItsText) {
    Updater::Services s;
    s.starter = [](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    };
    Updater updater(s);
    EXPECT_EQ(updater.start(kManifestUrl, L"profile"), "Could not start the update check");
    EXPECT_FALSE(updater.isStarted());
}

// Short files are hashed by every check above.
TEST(Updater, Sha256OfFilesLargerThanOnePiece) {
    const std::wstring folder = testFolder(L"sha");
    const std::wstring million = joinPath(folder, L"million");
    writeFile(million, std::string(1000000, 'a'));
    EXPECT_EQ(sha256File(million), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(sha256File(joinPath(folder, L"missing")), "");
}

TEST(Updater, HttpsGetSplitsTheAddressAndKeepsToItsLimits) {
    std::atomic<bool> cancel{false};
    std::string text;
    struct Address {
        const char* url;
        const char* host;  // "" when nothing may be sent
        int port;
        const char* path;
    } addresses[] = {
        {"https://up.test/m.json", "up.test", 443, "/m.json"},
        {"HTTPS://up.test:8443/a/b?x=1#top", "up.test", 8443, "/a/b?x=1"},
        {"https://up.test", "up.test", 443, "/"},
        {"http://up.test/m.json", "", 0, ""},
        {"https://:443/m.json", "", 0, ""},
        {"https://up.test:0/", "", 0, ""},
        {"https://up.test:65536/", "", 0, ""},
        {"https://up.test:4x3/", "", 0, ""},
    };
    for (const Address& a : addresses) {
        SCOPED_TRACE(a.url);
        PieceServer server;
        EXPECT_EQ(httpsGet(a.url, 100, &text, {}, cancel, &server), *a.host != 0);
        ASSERT_EQ(server.seen.size(), *a.host ? 1u : 0u);
        if (*a.host) {
            const HttpsRequest& rq = server.seen[0];
            EXPECT_EQ(rq.host + ":" + std::to_string(rq.port) + rq.path, std::string(a.host) + ":" + std::to_string(a.port) + a.path);
            EXPECT_EQ(rq.userAgent, "Quillhaven-Updater");
            EXPECT_EQ(text, "{}");
        }
    }

    const std::wstring file = joinPath(testFolder(L"get"), L"body.part");
    PieceServer server;
    server.body = std::string(1000, 'b');
    EXPECT_TRUE(httpsGet("https://up.test/q.exe", 1000, nullptr, file, cancel, &server));
    EXPECT_EQ(readFile(file), server.body);
    EXPECT_FALSE(httpsGet("https://up.test/q.exe", 999, nullptr, file, cancel, &server));
    server.status = 404;
    EXPECT_FALSE(httpsGet("https://up.test/q.exe", 1000, &text, {}, cancel, &server));
    server.status = kHttpOk;
    server.complete = false;  // the connection broke off
    EXPECT_FALSE(httpsGet("https://up.test/q.exe", 1000, &text, {}, cancel, &server));
    server.complete = true;
    cancel = true;
    EXPECT_FALSE(httpsGet("https://up.test/q.exe", 1000, &text, {}, cancel, &server));
}
