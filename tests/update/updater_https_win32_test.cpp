// The updater against a local HTTPS server through the system's transport.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "e2e/rtmp/peer_control.h"
#include "support/https_test_server.h"
#include "support/wait_for.h"
#include "update/manifest_text.h"
#include "update/test_files.h"
#include "update/updater.h"
#include "util/folders.h"
#include "util/text.h"

namespace {
namespace fs = std::filesystem;

class UpdaterHttps : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.open(error)) << error;
        base = "https://localhost:" + std::to_string(server.port);
        profile = joinPath(environmentVariable(L"QH_BINARY_DIR"), L"update-https-profile");
        freshFolder(profile);
    }
    void serve(const std::string& name, const std::string& bytes) {
        writeFile(utf8ToWide(server.filesFolder + name), bytes);
    }
    std::wstring updateFile(const wchar_t* name) { return joinPath(joinPath(profile, L"update"), name); }

    HttpsTestServer server;
    PeerControl peers{"e2e-peers"};
    std::string base;
    std::wstring profile;
};

Updater::Services immediately() {
    Updater::Services s;
    s.firstCheckSeconds = 0;
    return s;
}
}  // namespace

TEST_F(UpdaterHttps, ChecksDownloadAndVerifyOnlyWhatTheyShould) {
    const std::string program = "MZ" + std::string(200000, 'q');
    serve("program.exe", program);
    const std::wstring local = joinPath(profile, L"reference.exe");
    writeFile(local, program);
    const std::string sha = sha256File(local);
    ASSERT_EQ(sha.size(), 64u);
    const std::string programUrl = base + "/files/program.exe";
    // A manifest of `size` bytes that still reads whole when cut to 65,536:
    // a transport that cut it instead of refusing it would offer the update.
    const std::string newer = manifestText("0.2.0", programUrl, sha);
    auto padded = [&](std::size_t size) { return newer + std::string(size - newer.size(), ' '); };
    // A server whose certificate no trusted authority signed.
    const std::vector<std::string> untrusted = peers.call("https", {"untrusted"});
    ASSERT_EQ(untrusted.size(), 3u) << peers.error();
    struct Case {
        const char* name;
        const char* route;  // the manifest's address on the server
        std::string body;   // served there when not empty
        bool ready, untrusted = false;
    } cases[] = {
        {"newer", "/files/m1.json", newer, true},
        {"equal", "/files/m2.json", manifestText("0.1.5", programUrl, sha), false},
        {"older", "/files/m3.json", manifestText("0.1.0", programUrl, sha), false},
        {"invalid JSON", "/files/m4.json", "{\"version\":\"0.2.0\",", false},
        {"plain http address", "/files/m5.json", manifestText("0.2.0", "http://localhost/x.exe", sha), false},
        {"wrong hash", "/files/m6.json", manifestText("0.2.0", programUrl, std::string(64, 'e')), false},
        {"program missing", "/files/m7.json", manifestText("0.2.0", base + "/files/none.exe", sha), false},
        {"manifest missing", "/status/404", "", false},
        {"server error", "/status/500", "", false},
        {"manifest of 65,536 bytes", "/files/m8.json", padded(65536), true},
        {"manifest of 65,537 bytes", "/files/m9.json", padded(65537), false},
        {"manifest of 65,536 bytes without a length", "/chunked/m10.json", padded(65536), true},
        {"manifest of 65,537 bytes without a length", "/chunked/m11.json", padded(65537), false},
        {"untrusted certificate", "/files/m12.json", newer, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string route = c.route;
        if (!c.body.empty()) {
            const std::string folder = c.untrusted ? PeerControl::localPath(untrusted[2]) + "\\" : server.filesFolder;
            writeFile(utf8ToWide(folder + route.substr(route.rfind('/') + 1)), c.body);
        }
        std::error_code ec;
        fs::remove_all(toFsPath(joinPath(profile, L"update")), ec);
        Updater updater(immediately());
        updater.check((c.untrusted ? "https://localhost:" + untrusted[0] : base) + route, joinPath(profile, L"update"));
        std::string version;
        EXPECT_EQ(updater.readyVersion(version), c.ready);
        EXPECT_FALSE(exists(updateFile(L"Quillhaven.new.exe.part")));
        if (c.ready) {
            EXPECT_EQ(version, "0.2.0");
            EXPECT_EQ(sha256File(updateFile(L"Quillhaven.new.exe")), sha);
        }
    }
}

TEST_F(UpdaterHttps, DownloadsKeepToTheCap) {
    std::atomic<bool> cancel{false};
    const std::wstring file = joinPath(profile, L"capped.part");
    EXPECT_TRUE(httpsGet(base + "/bytes/70000", 70000, nullptr, file, cancel));
    EXPECT_EQ(fs::file_size(toFsPath(file)), 70000u);
    EXPECT_FALSE(httpsGet(base + "/bytes/70001", 70000, nullptr, file, cancel));
    EXPECT_LT(fs::file_size(toFsPath(file)), 70001u);
}

TEST_F(UpdaterHttps, StopEndsASlowDownloadAndLeavesNoPartFile) {
    // About a minute of body at the server's pace: a stop that was ignored
    // would let it run to its end (and fail its hash only then).
    constexpr long long kSlowBytes = 20000000;
    const char* const tag = "updater-stop";
    serve("slow.json", manifestText("9.0.0", base + "/slow/" + std::to_string(kSlowBytes) + "/" + tag,
                                    std::string(64, 'a')));
    Updater updater(immediately());
    updater.start(base + "/files/slow.json", profile);
    const std::wstring part = updateFile(L"Quillhaven.new.exe.part");
    ASSERT_TRUE(waitFor([&] {
        std::error_code ec;
        return fs::file_size(toFsPath(part), ec) > 0 && !ec;
    }));
    updater.stop();
    EXPECT_FALSE(exists(part));
    std::string version;
    EXPECT_FALSE(updater.readyVersion(version));

    // The server saw the connection closed, long before the body's end.
    std::vector<std::string> transfer;
    ASSERT_TRUE(waitFor([&] {
        transfer = peers.call("transfer", {tag});
        return transfer.size() == 2 && transfer[0] != "sending";
    })) << peers.error();
    EXPECT_EQ(transfer[0], "closed");
    EXPECT_LT(std::stoll(transfer[1]), kSlowBytes / 4);
}

TEST_F(UpdaterHttps, InstallsAcrossFileSystemsAndRelaunchesTheNewProgram) {
    // A drive letter of its own, mapped to a folder on another file system.
    const std::vector<std::string> drive = peers.call("drive", {"q"});
    ASSERT_EQ(drive.size(), 1u) << peers.error();
    struct Unmap {
        PeerControl& peers;
        ~Unmap() { peers.call("undrive", {"q"}); }
    } unmap{peers};
    ASSERT_NE(GetFileAttributesW(L"Q:\\"), INVALID_FILE_ATTRIBUTES);

    const std::wstring probe = joinPath(environmentVariable(L"QH_BINARY_DIR"), L"tests\\update\\update_probe.exe");
    const std::string oldSha = sha256File(probe);
    // The new program: the same code with bytes after its image, so its file differs.
    const std::string bytes = readFile(probe) + "NEW BUILD";
    serve("new.exe", bytes);
    const std::wstring reference = joinPath(profile, L"new.exe");
    writeFile(reference, bytes);
    const std::string newSha = sha256File(reference);
    serve("probe.json", manifestText("0.3.0", base + "/files/new.exe", newSha));

    // Each case has a program folder of its own: a relaunched program may
    // still be ending when the next case starts.
    struct Case {
        const char* name;
        std::wstring programs, profile;
        const wchar_t* change;  // what happens to the download before the install
        std::string failure;    // "" when installed
        bool stillReady = false, kept = false;  // the download's state after a failure
    } cases[] = {
        // /dev/shm is a file system of its own: a program on one drive, a profile on another.
        {"profile on another file system", joinPath(profile, L"programs-shm"), L"Z:\\dev\\shm\\qh-update-profile",
         L"", ""},
        {"profile on a mapped drive letter", joinPath(profile, L"programs-q"), L"Q:\\profile", L"", ""},
        {"new file missing", joinPath(profile, L"programs-missing"), joinPath(profile, L"p"), L"lose-new-file",
         "Could not install the update (error 2)."},
        {"new file altered", joinPath(profile, L"programs-altered"), joinPath(profile, L"a"), L"alter-new-file",
         kUpdateDamagedMessage},
        {"new file altered and not deletable", joinPath(profile, L"programs-locked"), joinPath(profile, L"l"),
         L"alter-locked-new-file", kUpdateDamagedMessage, false, true},
        {"new file held by a reader that shares nothing", joinPath(profile, L"programs-held"),
         joinPath(profile, L"h"), L"hold-new-file", updateUnreadableMessage(ERROR_SHARING_VIOLATION), true, true},
        {"written to while copied to another drive", joinPath(profile, L"programs-written"), L"Q:\\written",
         L"write-while-installing", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring newExe = joinPath(c.profile, L"update\\Quillhaven.new.exe");
        SetFileAttributesW(newExe.c_str(), FILE_ATTRIBUTE_NORMAL);  // what a locked case left
        freshFolder(c.programs);
        freshFolder(c.profile);
        const std::wstring program = joinPath(c.programs, L"Quillhaven.exe");
        ASSERT_TRUE(CopyFileW(probe.c_str(), program.c_str(), FALSE));
        std::wstring cmd = L"\"" + program + L"\" update " + utf8ToWide(base) + L"/files/probe.json \"" +
                           c.profile + L"\" " + c.change;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessW(program.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                   &pi))
            << GetLastError();
        WaitForSingleObject(pi.hProcess, 120000);
        DWORD code = 99;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        const std::string failed = readFile(program + L".failed");
        if (!c.failure.empty()) {
            // 2: the update is still ready; 1: the next check downloads it again.
            EXPECT_EQ(code, c.stillReady ? 2u : 1u);
            EXPECT_EQ(failed, c.failure);
            EXPECT_EQ(sha256File(program), oldSha);
            EXPECT_FALSE(exists(program + L".old"));
            if (std::wstring(c.change) != L"lose-new-file") {
                EXPECT_EQ(exists(newExe), c.kept);
            }
            continue;
        }
        ASSERT_EQ(code, 0u) << failed;
        // The relaunched program found the old bytes at ".old", still held by
        // the process that installed, and removed them once they were let go.
        ASSERT_TRUE(waitFor([&] { return exists(program + L".started"); }));
        EXPECT_EQ(readFile(program + L".seen"), oldSha + " held");
        EXPECT_EQ(readFile(program + L".started"), "old removed");
        EXPECT_EQ(sha256File(program), newSha);
        EXPECT_FALSE(exists(newExe));
    }
    std::error_code ec;
    fs::remove_all(toFsPath(L"Z:\\dev\\shm\\qh-update-profile"), ec);
}
