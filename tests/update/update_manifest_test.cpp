#include <gtest/gtest.h>

#include <string>

#include "update/manifest_text.h"
#include "update/update_manifest.h"

TEST(UpdateManifest, VersionsParseAndCompareNumerically) {
    struct Case {
        const char* text;
        bool ok;
        int major = 0, minor = 0, patch = 0;
    } cases[] = {
        {"1.2.3", true, 1, 2, 3}, {"v1.4", true, 1, 4, 0}, {"V2", true, 2, 0, 0},
        {"999999.0.1", true, 999999, 0, 1}, {"1.2.3.4", false}, {"1..2", false}, {"1.2.", false},
        {"1.2a", false}, {"1234567.0.0", false}, {"", false}, {"v", false}, {"vv1", false},
        {"-1.0.0", false}, {" 1.0.0", false},
    };
    for (const Case& c : cases) {
        int v[3] = {-1, -1, -1};
        EXPECT_EQ(parseVersion(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v[0], c.major) << c.text;
            EXPECT_EQ(v[1], c.minor) << c.text;
            EXPECT_EQ(v[2], c.patch) << c.text;
        }
    }
    EXPECT_TRUE(isNewerVersion("V2.0", "1.9.9"));
    EXPECT_TRUE(isNewerVersion("1.10.0", "1.9.0"));
    EXPECT_FALSE(isNewerVersion("0.1.5", "0.1.5"));
    EXPECT_FALSE(isNewerVersion("0.1.4", "0.1.5"));
    EXPECT_FALSE(isNewerVersion("2.0.0.0", "0.1.5"));
    EXPECT_FALSE(isNewerVersion("2.0.0", "x"));
}

TEST(UpdateManifest, ChecksInOrderWithTheirMessages) {
    const std::string hex(64, 'a');
    const std::string url = "https://example.test/q.exe";
    struct Case {
        std::string text;
        const char* error;  // nullptr: accepted
    } cases[] = {
        {manifestText("1.2.0", url, hex), nullptr},
        {manifestText("1.2.0", url, std::string(64, 'F')), nullptr},
        {"{\"version\":\"1.2.0\",\"url\":\"" + url + "\",\"sha256\":\"" + hex + "\",\"notes\":[1,{}]}", nullptr},
        {"[1,2]", "The update file is not valid JSON."},
        {"{}", "The update file is not valid JSON."},
        {"\"text\"", "The update file is not valid JSON."},
        {"{\"version\":", "The update file is not valid JSON."},
        {manifestText("1.2.3.4", url, hex), "The update version is not x.y.z."},
        {"{\"version\":120,\"url\":\"" + url + "\",\"sha256\":\"" + hex + "\"}", "The update version is not x.y.z."},
        {manifestText("1.2.0", "HTTPS://example.test/q.exe", hex), "The update address must start with https://"},
        {manifestText("1.2.0", "http://example.test/q.exe", hex), "The update address must start with https://"},
        {manifestText("1.2.0", "https:/", hex), "The update address must start with https://"},
        {manifestText("1.2.0", url, std::string(63, 'a')), "The update sha256 must be 64 hex characters."},
        {manifestText("1.2.0", url, std::string(65, 'a')), "The update sha256 must be 64 hex characters."},
        {manifestText("1.2.0", url, std::string(63, 'a') + "g"), "The update sha256 must be 64 hex characters."},
        // The first failing check decides.
        {manifestText("x", "http://a", "b"), "The update version is not x.y.z."},
    };
    for (const Case& c : cases) {
        UpdateManifest m;
        std::string error;
        const bool ok = parseUpdateManifest(c.text, m, error);
        EXPECT_EQ(ok, c.error == nullptr) << c.text;
        if (c.error) {
            EXPECT_EQ(error, c.error) << c.text;
        }
        if (ok) {
            EXPECT_EQ(m.sha256.find_first_of("ABCDEF"), std::string::npos);
        }
    }
}

TEST(UpdateManifest, SizeLimitIsExactly64KiB) {
    std::string body = manifestText("1.2.0", "https://example.test/q.exe", std::string(64, 'a'));
    std::string padded = body.substr(0, body.size() - 1) + std::string(kUpdateManifestMaxBytes - body.size(), ' ') + "}";
    ASSERT_EQ(padded.size(), kUpdateManifestMaxBytes);
    UpdateManifest m;
    std::string error;
    EXPECT_TRUE(parseUpdateManifest(padded, m, error)) << error;
    padded.insert(padded.size() - 1, 1, ' ');
    EXPECT_FALSE(parseUpdateManifest(padded, m, error));
    EXPECT_EQ(error, "The update file is too large.");
}
