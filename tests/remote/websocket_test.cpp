// The handshake and frame helpers against published values (RFC 6455's sample
// key, FIPS 180 and RFC 4648 test vectors) and the framing's edge lengths.

#include <gtest/gtest.h>

#include <cstring>

#include "remote/sha1.h"
#include "remote/websocket.h"
#include "remote/ws_client.h"

namespace {

std::string hex(const Sha1Digest& d) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : d) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

TEST(WebSocketHandshake, SampleKeyGivesTheDocumentedAcceptValue) {
    EXPECT_EQ(websocketAccept("dGhlIHNhbXBsZSBub25jZQ=="),
              "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n");
}

TEST(WebSocketHandshake, Sha1AndBase64MatchPublishedVectors) {
    struct Case {
        std::string input;
        const char* digest;
    };
    const Case cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        // 56 bytes: the length no longer fits the first padding block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {std::string(64, 'x'), "bb2fa3ee7afb9f54c6dfb5d021f14b1ffe40c163"},
    };
    for (const Case& c : cases) EXPECT_EQ(hex(sha1(c.input.data(), c.input.size())), c.digest) << c.input.size();

    const std::pair<const char*, const char*> b64[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"}, {"\xff\xfe\xfd", "//79"}};
    for (const auto& [in, out] : b64)
        EXPECT_EQ(base64Encode(reinterpret_cast<const uint8_t*>(in), std::strlen(in)), out);
}

TEST(WebSocketHandshake, UpgradeRequestsAndQueries) {
    struct Case {
        const char* text;
        bool ok;
        const char* key;
        const char* path;
    };
    const Case cases[] = {
        {"GET /?token=abc HTTP/1.1\r\nUpgrade: WebSocket\r\nSec-WebSocket-Key: k1\r\n\r\n", true, "k1", "/?token=abc"},
        {"GET /any/where HTTP/1.1\nupgrade:websocket\nsec-websocket-key:  k2 \t\n", true, "k2", "/any/where"},
        {"POST / HTTP/1.1\r\nUpgrade: websocket\r\nSec-WebSocket-Key: k\r\n\r\n", false, "", "/"},
        {"GET / HTTP/1.1\r\nUpgrade: websocket\r\n\r\n", false, "", "/"},
        {"GET / HTTP/1.1\r\nSec-WebSocket-Key: k\r\n\r\n", false, "k", "/"},
        // A later Upgrade line replaces the verdict of an earlier one; the last key wins.
        {"GET / HTTP/1.1\r\nUpgrade: websocket\r\nUpgrade: h2c\r\nSec-WebSocket-Key: k\r\n", false, "k", "/"},
        {"GET / HTTP/1.1\r\nUpgrade: h2c\r\nUpgrade: websocket\r\nSec-WebSocket-Key: a\r\nSec-WebSocket-Key: b\r\n",
         true, "b", "/"},
        {"get / HTTP/1.1\r\nUpgrade: websocket\r\nSec-WebSocket-Key: k\r\n", false, "", "/"},
        {"", false, "", ""},
        {"GET", false, "", ""},
    };
    for (const Case& c : cases) {
        UpgradeRequest r;
        EXPECT_EQ(parseUpgradeRequest(c.text, r), c.ok) << c.text;
        EXPECT_EQ(r.key, c.key) << c.text;
        EXPECT_EQ(r.path, c.path) << c.text;
    }
    UpgradeRequest r;
    parseUpgradeRequest("GET / HTTP/1.1\r\nOrigin: http://x\r\nUpgrade: websocket\r\nSec-WebSocket-Key: k\r\n", r);
    EXPECT_EQ(r.origin, "http://x");

    EXPECT_EQ(queryParam("/?token=ab&pair=123", "pair"), "123");
    EXPECT_EQ(queryParam("/x?a=1&token=%41b", "token"), "%41b");
    EXPECT_EQ(queryParam("/?tokens=1&token=2", "token"), "2");
    EXPECT_EQ(queryParam("/?token&token=3", "token"), "3");
    EXPECT_EQ(queryParam("/?token", "token"), "");
    EXPECT_EQ(queryParam("/token=1", "token"), "");
    EXPECT_EQ(queryParam("/?a=1?token=2", "a"), "1?token=2");
    EXPECT_EQ(trimSpaces(" \t\r x y \r"), "x y");
    EXPECT_EQ(trimSpaces(" \t\r"), "");
}

TEST(WebSocketFrames, ParseChecksEveryLengthBeforeUsingIt) {
    WebSocketFrame f;
    const std::string hello = clientFrame(kOpText, "hello");
    EXPECT_EQ(websocketParseFrame(reinterpret_cast<const uint8_t*>(hello.data()), hello.size(), f), int(hello.size()));
    EXPECT_EQ(f.opcode, kOpText);
    EXPECT_EQ(f.payload, "hello");
    // Every proper prefix asks for more bytes.
    for (size_t n = 0; n < hello.size(); ++n)
        EXPECT_EQ(websocketParseFrame(reinterpret_cast<const uint8_t*>(hello.data()), n, f), 0) << n;

    struct Case {
        uint64_t length;
        int result;  // for the header alone
    };
    const Case cases[] = {{125, 0}, {126, 0}, {65535, 0}, {65536, 0}, {kMaxClientPayload, 0},
                          {kMaxClientPayload + 1, -1}, {uint64_t(1) << 63, -1}, {~uint64_t(0), -1}};
    for (const Case& c : cases) {
        const std::string header = clientFrameHeader(kOpBinary, c.length);
        EXPECT_EQ(websocketParseFrame(reinterpret_cast<const uint8_t*>(header.data()), header.size(), f), c.result)
            << c.length;
    }
    const std::string full = clientFrame(kOpText, std::string(kMaxClientPayload, 'x'));
    EXPECT_EQ(websocketParseFrame(reinterpret_cast<const uint8_t*>(full.data()), full.size(), f), int(full.size()));
    EXPECT_EQ(f.payload.size(), kMaxClientPayload);

    std::string unmasked = hello;
    unmasked[1] = char(unmasked[1] & 0x7F);
    EXPECT_EQ(websocketParseFrame(reinterpret_cast<const uint8_t*>(unmasked.data()), unmasked.size(), f), -1);

    // Server frames: the three length forms.
    EXPECT_EQ(websocketFrame(kOpText, "hi"), std::string("\x81\x02hi"));
    const std::string mid = websocketFrame(kOpText, std::string(300, 'a'));
    EXPECT_EQ(mid.substr(0, 4), std::string("\x81\x7e\x01\x2c", 4));
    const std::string big = websocketFrame(kOpBinary, std::string(70000, 'a'));
    EXPECT_EQ(big.substr(0, 10), std::string("\x82\x7f\x00\x00\x00\x00\x00\x01\x11\x70", 10));
    EXPECT_EQ(websocketFrame(kOpText, std::string(125, 'a'))[1], char(125));
    EXPECT_EQ(websocketFrame(kOpText, std::string(126, 'a')).size(), 126u + 4u);
}

TEST(WebSocketFrames, SecretsCompareByContent) {
    EXPECT_TRUE(secretEquals("0123abcd", "0123abcd"));
    EXPECT_FALSE(secretEquals("0123abcd", "0123abce"));
    EXPECT_FALSE(secretEquals("0123abcd", "0123abc"));
    EXPECT_FALSE(secretEquals("", "x"));
    EXPECT_TRUE(secretEquals("", ""));
}

}  // namespace
