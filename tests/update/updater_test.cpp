#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
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
const std::string kProgramBytes = "MZ new program bytes";
// SHA-256 of kProgramBytes.
std::string programHash() {
    const std::wstring p = joinPath(testFolder(L"hash"), L"p");
    writeFile(p, kProgramBytes);
    return sha256File(p);
}

// A fake update endpoint: one manifest and one program body.
struct FakeEndpoint {
    bool manifestOk = true;
    std::string manifest;
    bool programOk = true;
    std::string program = kProgramBytes;
    int programRequests = 0;

    Updater::Services services() {
        Updater::Services s;
        s.get = [this](const std::string& url, int64_t cap, std::string* text, const std::wstring& file,
                       const std::atomic<bool>&) {
            if (url == kManifestUrl) {
                if (!manifestOk) return false;
                *text = manifest;
                return true;
            }
            ++programRequests;
            EXPECT_EQ(url, kProgramUrl);
            EXPECT_EQ(cap, kUpdateProgramMaxBytes);
            // A failed download may leave a partial file behind; the updater must remove it.
            writeFile(file, programOk ? program : program.substr(0, 3));
            return programOk;
        };
        s.firstCheckSeconds = 0;
        return s;
    }
};

// Never answers: it waits for the request's abort flag, which the system's
// client looks at between its steps.
struct SilentServer final : HttpsClient {
    std::atomic<bool> asked{false}, aborted{false};
    HttpsResponse send(const HttpsRequest& rq) override {
        asked = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!(rq.abort && *rq.abort) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        aborted = rq.abort && *rq.abort;
        return {};
    }
};
}  // namespace

TEST(Updater, ChecksDownloadVerifyAndLeaveNoPartialFile) {
    const std::string good = programHash();
    std::string upper = good;
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    struct Case {
        const char* name;
        std::string manifest;
        bool manifestOk, programOk;
        bool ready;
        int programRequests;
    } cases[] = {
        {"newer", manifestText("0.2.0", kProgramUrl, good), true, true, true, 1},
        {"newer, hash in capitals", manifestText("v1.0", kProgramUrl, upper), true, true, true, 1},
        {"equal", manifestText("0.1.5", kProgramUrl, good), true, true, false, 0},
        {"older", manifestText("0.1.4", kProgramUrl, good), true, true, false, 0},
        {"manifest refused by the server", manifestText("0.2.0", kProgramUrl, good), false, true,
         false, 0},
        {"invalid manifest", "{\"version\":", true, true, false, 0},
        {"wrong hash", manifestText("0.2.0", kProgramUrl, std::string(64, '0')), true, true, false,
         1},
        {"download failed", manifestText("0.2.0", kProgramUrl, good), true, false, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring folder = testFolder(L"check");
        FakeEndpoint endpoint;
        endpoint.manifest = c.manifest;
        endpoint.manifestOk = c.manifestOk;
        endpoint.programOk = c.programOk;
        Updater updater(endpoint.services());
        updater.check(kManifestUrl, folder);
        std::string version;
        EXPECT_EQ(updater.readyVersion(version), c.ready);
        EXPECT_EQ(endpoint.programRequests, c.programRequests);
        EXPECT_FALSE(exists(joinPath(folder, L"Quillhaven.new.exe.part")));
        EXPECT_EQ(exists(joinPath(folder, L"Quillhaven.new.exe")), c.ready);
        if (c.ready) {
            EXPECT_EQ(readFile(joinPath(folder, L"Quillhaven.new.exe")), kProgramBytes);
        }
    }
}

TEST(Updater, StopEndsADownloadAndDeletesThePartFile) {
    const std::wstring profile = testFolder(L"stop");
    const std::wstring part = joinPath(joinPath(profile, L"update"), L"Quillhaven.new.exe.part");
    std::mutex m;
    std::condition_variable cv;
    bool downloading = false;
    Updater::Services s;
    s.firstCheckSeconds = 0;
    s.get = [&](const std::string& url, int64_t, std::string* text, const std::wstring& file,
                const std::atomic<bool>& cancel) {
        if (url == kManifestUrl) {
            *text = manifestText("9.0.0", kProgramUrl, std::string(64, 'a'));
            return true;
        }
        std::ofstream out(toFsPath(file), std::ios::binary);
        {
            std::lock_guard<std::mutex> g(m);
            downloading = true;
        }
        cv.notify_all();
        while (!cancel) out << std::string(65536, 'x') << std::flush;
        return false;
    };
    Updater updater(s);
    updater.start(kManifestUrl, profile);
    EXPECT_TRUE(updater.isStarted());
    {
        std::unique_lock<std::mutex> g(m);
        ASSERT_TRUE(cv.wait_for(g, std::chrono::seconds(60), [&] { return downloading; }));
    }
    updater.stop();
    EXPECT_FALSE(updater.isStarted());
    EXPECT_FALSE(exists(part));
    std::string version;
    EXPECT_FALSE(updater.readyVersion(version));
    EXPECT_TRUE(updater.waitForStop(3600));  // stopped: no wait at all

    // A request still waiting for its answer is aborted by the stop.
    SilentServer silent;
    s.get = [&](const std::string& url, int64_t cap, std::string* text, const std::wstring& file,
                const std::atomic<bool>& cancel) {
        return httpsGet(url, cap, text, file, cancel, &silent);
    };
    Updater asking(s);
    asking.start(kManifestUrl, testFolder(L"stop-asking"));
    ASSERT_TRUE(waitFor([&] { return silent.asked.load(); }));
    asking.stop();
    EXPECT_TRUE(silent.aborted);
}

TEST(Updater, InstallSwapsTheFilesAndRestoresTheProgramOnFailure) {
    std::string message;
    Updater idle;
    EXPECT_FALSE(idle.install(message));
    EXPECT_EQ(message, "No update is ready.");

    // The download folder may sit on another volume than the program (on this
    // machine /dev/shm is another file system, where a plain rename fails).
    std::wstring other;
    if (fs::is_directory("/dev/shm")) other = testFolder(L"shm", fromFsPath("/dev/shm"));
    for (const std::wstring& downloads : {testFolder(L"downloads"), other}) {
        if (downloads.empty()) continue;
        SCOPED_TRACE(wideToUtf8(downloads));
        const std::wstring programs = testFolder(L"programs");
        const std::wstring program = joinPath(programs, L"Quillhaven.exe");
        const std::wstring newExe = joinPath(downloads, L"Quillhaven.new.exe");
        writeFile(program, "old program");
        writeFile(program + L".old", "an older leftover");
        writeFile(newExe, kProgramBytes);
        ASSERT_TRUE(installUpdate(program, newExe, message)) << message;
        EXPECT_EQ(readFile(program), kProgramBytes);
        EXPECT_EQ(readFile(program + L".old"), "old program");
        EXPECT_FALSE(exists(newExe));

        // The new file is gone: the program goes back under its own name.
        writeFile(program, "old program");
        EXPECT_FALSE(installUpdate(program, newExe, message));
        EXPECT_EQ(message.rfind("Could not install the update (error ", 0), 0u) << message;
        EXPECT_EQ(readFile(program), "old program");
    }

    // Moves that fail from the n-th on, each with its own code: the program is
    // never lost, and the message says where it is.
    struct Fault {
        int failingFrom;
        const char* message;
        const wchar_t* programAt;  // suffix of the program's path that holds the old program
    } faults[] = {
        {1, "Could not replace Quillhaven.exe (error 101).", L""},
        {2,
         "Could not install the update (error 102), and Quillhaven.exe could not be put back (error 103). "
         "The previous program is kept as Quillhaven.exe.old beside it.",
         L".old"},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.failingFrom);
        const std::wstring programs = testFolder(L"programs");
        const std::wstring program = joinPath(programs, L"Quillhaven.exe");
        const std::wstring newExe = joinPath(programs, L"Quillhaven.new.exe");
        writeFile(program, "old program");
        writeFile(newExe, kProgramBytes);
        int moves = 0;
        const FileMove failing = [&](const std::wstring& from, const std::wstring& to) {
            return ++moves < f.failingFrom ? moveFileReplacing(from, to) : 100ul + unsigned(moves);
        };
        EXPECT_FALSE(installUpdate(program, newExe, message, failing));
        EXPECT_EQ(message, f.message);
        EXPECT_EQ(readFile(program + f.programAt), "old program");
        EXPECT_EQ(readFile(newExe), kProgramBytes);
    }
}

TEST(Updater, Sha256OfFilesLargerThanOnePiece) {
    const std::wstring folder = testFolder(L"sha");
    const std::wstring a = joinPath(folder, L"abc"), million = joinPath(folder, L"million");
    writeFile(a, "abc");
    writeFile(million, std::string(1000000, 'a'));
    EXPECT_EQ(sha256File(a), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256File(million), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(sha256File(joinPath(folder, L"missing")), "");
}

namespace {
// Serves one body in pieces through the request's sink, as the system client does.
struct PieceServer final : HttpsClient {
    int status = 200;
    std::string body;
    bool complete = true;
    std::size_t piece = 7;
    std::vector<HttpsRequest> seen;
    HttpsResponse send(const HttpsRequest& rq) override {
        seen.push_back(rq);
        HttpsResponse r;
        r.answered = true;
        r.status = status;
        for (std::size_t at = 0; at < body.size(); at += piece) {
            const std::size_t n = std::min(piece, body.size() - at);
            if (at + n > rq.bodyLimit) {
                r.bodyTooLarge = true;
                return r;
            }
            if (!rq.onBody(body.data() + at, n)) {
                r.cancelled = true;
                return r;
            }
        }
        r.complete = complete;
        return r;
    }
};
}  // namespace

TEST(Updater, HttpsGetSplitsTheAddressAndKeepsToItsLimits) {
    std::atomic<bool> cancel{false};
    std::string text;
    struct Address {
        const char* url;
        bool sent;
        const char* host;
        int port;
        const char* path;
    } addresses[] = {
        {"https://up.test/m.json", true, "up.test", 443, "/m.json"},
        {"HTTPS://up.test:8443/a/b?x=1#top", true, "up.test", 8443, "/a/b?x=1"},
        {"https://up.test", true, "up.test", 443, "/"},
        {"http://up.test/m.json", false, "", 0, ""},
        {"https://:443/m.json", false, "", 0, ""},
        {"https://up.test:0/", false, "", 0, ""},
        {"https://up.test:65536/", false, "", 0, ""},
        {"https://up.test:4x3/", false, "", 0, ""},
    };
    for (const Address& a : addresses) {
        PieceServer server;
        server.body = "{}";
        EXPECT_EQ(httpsGet(a.url, 100, &text, {}, cancel, &server), a.sent) << a.url;
        ASSERT_EQ(server.seen.size(), a.sent ? 1u : 0u) << a.url;
        if (a.sent) {
            EXPECT_EQ(server.seen[0].host, a.host);
            EXPECT_EQ(server.seen[0].port, a.port);
            EXPECT_EQ(server.seen[0].path, a.path);
            EXPECT_EQ(server.seen[0].userAgent, "Quillhaven-Updater");
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
    server.status = 200;
    server.complete = false;  // the connection broke off
    EXPECT_FALSE(httpsGet("https://up.test/q.exe", 1000, &text, {}, cancel, &server));
    server.complete = true;
    cancel = true;
    EXPECT_FALSE(httpsGet("https://up.test/q.exe", 1000, &text, {}, cancel, &server));
}
