// The updater against a local HTTPS server through the system's transport.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "e2e/rtmp/peer_control.h"
#include "support/https_test_server.h"
#include "update/manifest_text.h"
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
        std::error_code ec;
        fs::remove_all(toFsPath(profile), ec);
        fs::create_directories(toFsPath(profile), ec);
    }
    void serve(const std::string& name, const std::string& bytes) {
        std::ofstream(toFsPath(utf8ToWide(server.filesFolder + name)), std::ios::binary) << bytes;
    }
    std::wstring updateFile(const wchar_t* name) { return joinPath(joinPath(profile, L"update"), name); }

    HttpsTestServer server;
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
    std::ofstream(toFsPath(local), std::ios::binary) << program;
    const std::string sha = sha256File(local);
    ASSERT_EQ(sha.size(), 64u);
    const std::string programUrl = base + "/files/program.exe";
    struct Case {
        const char* name;
        std::string manifestPath;  // below base
        std::string manifestBody;  // served at manifestPath when not empty
        bool ready;
    } cases[] = {
        {"newer", "/files/m1.json", manifestText("0.2.0", programUrl, sha), true},
        {"equal", "/files/m2.json", manifestText("0.1.5", programUrl, sha), false},
        {"older", "/files/m3.json", manifestText("0.1.0", programUrl, sha), false},
        {"invalid JSON", "/files/m4.json", "{\"version\":\"0.2.0\",", false},
        {"plain http address", "/files/m5.json",
         manifestText("0.2.0", "http://localhost/x.exe", sha), false},
        {"wrong hash", "/files/m6.json", manifestText("0.2.0", programUrl, std::string(64, 'e')),
         false},
        {"program missing", "/files/m7.json",
         manifestText("0.2.0", base + "/files/none.exe", sha), false},
        {"manifest missing", "/status/404", "", false},
        {"server error", "/status/500", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.manifestBody.empty()) serve(c.manifestPath.substr(7), c.manifestBody);
        std::error_code ec;
        fs::remove_all(toFsPath(joinPath(profile, L"update")), ec);
        Updater updater(immediately());
        updater.check(base + c.manifestPath, joinPath(profile, L"update"));
        std::string version;
        EXPECT_EQ(updater.readyVersion(version), c.ready);
        EXPECT_FALSE(fs::exists(toFsPath(updateFile(L"Quillhaven.new.exe.part"))));
        if (c.ready) {
            EXPECT_EQ(version, "0.2.0");
            EXPECT_EQ(sha256File(updateFile(L"Quillhaven.new.exe")), sha);
        }
    }
}

TEST_F(UpdaterHttps, DownloadsKeepToTheCapAndTrustedCertificates) {
    std::atomic<bool> cancel{false};
    const std::wstring file = joinPath(profile, L"capped.part");
    EXPECT_TRUE(httpsGet(base + "/bytes/70000", 70000, nullptr, file, cancel));
    EXPECT_EQ(fs::file_size(toFsPath(file)), 70000u);
    EXPECT_FALSE(httpsGet(base + "/bytes/70001", 70000, nullptr, file, cancel));
    EXPECT_LT(fs::file_size(toFsPath(file)), 70001u);

    // A server whose certificate no trusted authority signed is never believed.
    PeerControl peers("e2e-peers");
    const std::vector<std::string> untrusted = peers.call("https", {"untrusted"});
    ASSERT_EQ(untrusted.size(), 3u) << peers.error();
    std::string text;
    EXPECT_FALSE(httpsGet("https://localhost:" + untrusted[0] + "/bytes/10", 100, &text, {}, cancel));
    EXPECT_TRUE(text.empty());
}

TEST_F(UpdaterHttps, StopEndsASlowDownloadAndLeavesNoPartFile) {
    serve("slow.json", manifestText("9.0.0", base + "/slow/20000000", std::string(64, 'a')));
    Updater updater(immediately());
    updater.start(base + "/files/slow.json", profile);
    const std::wstring part = updateFile(L"Quillhaven.new.exe.part");
    // Wait until the download is under way.
    for (int i = 0; i < 600; ++i) {
        std::error_code ec;
        if (fs::file_size(toFsPath(part), ec) > 0 && !ec) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_GT(fs::file_size(toFsPath(part)), 0u);
    updater.stop();
    EXPECT_FALSE(fs::exists(toFsPath(part)));
    std::string version;
    EXPECT_FALSE(updater.readyVersion(version));
}

TEST_F(UpdaterHttps, InstallsAcrossFileSystemsAndRelaunchesTheNewProgram) {
    // The program's folder and the profile's update folder on different file
    // systems (/dev/shm is one of its own), as a program on one drive and a
    // profile on another.
    const std::wstring programs = joinPath(profile, L"programs");
    const std::wstring otherProfile = L"Z:\\dev\\shm\\qh-update-profile";
    std::error_code ec;
    fs::create_directories(toFsPath(programs), ec);
    fs::remove_all(toFsPath(otherProfile), ec);
    fs::create_directories(toFsPath(otherProfile), ec);
    const std::wstring probe = joinPath(environmentVariable(L"QH_BINARY_DIR"), L"tests\\update\\update_probe.exe");
    const std::wstring program = joinPath(programs, L"Quillhaven.exe");
    ASSERT_TRUE(CopyFileW(probe.c_str(), program.c_str(), FALSE));

    // The new program: the same code with bytes after its image, so its file differs.
    std::ifstream in(toFsPath(probe), std::ios::binary);
    const std::string bytes = std::string(std::istreambuf_iterator<char>(in), {}) + "NEW BUILD";
    serve("new.exe", bytes);
    const std::wstring reference = joinPath(profile, L"new.exe");
    std::ofstream(toFsPath(reference), std::ios::binary) << bytes;
    serve("probe.json", manifestText("0.3.0", base + "/files/new.exe", sha256File(reference)));

    std::wstring cmd = L"\"" + program + L"\" update " + utf8ToWide(base) + L"/files/probe.json \"" +
                       otherProfile + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(program.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::ifstream failed(toFsPath(program + L".failed"));
    ASSERT_EQ(code, 0u) << std::string(std::istreambuf_iterator<char>(failed), {});

    // The relaunched program leaves its marker.
    const std::wstring marker = program + L".started";
    for (int i = 0; i < 600 && !fs::exists(toFsPath(marker)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::ifstream m(toFsPath(marker));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(m), {}), "old removed");
    EXPECT_EQ(sha256File(program), sha256File(reference));
    EXPECT_FALSE(fs::exists(toFsPath(joinPath(otherProfile, L"update\\Quillhaven.new.exe"))));
    fs::remove_all(toFsPath(otherProfile), ec);
}
