// The handshake and frame helpers against published values (RFC 6455's sample
// key, FIPS 180 and RFC 4648 test vectors) and the framing's edge lengths.

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "remote/sha1.h"
#include "remote/websocket.h"
#include "remote/ws_client.h"

namespace {

const uint8_t* bytesOf(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string hex(const Sha1Digest& d) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : d) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

TEST(WebSocketHandshake, AcceptSha1AndBase64MatchPublishedValues) {
    EXPECT_EQ(websocketAccept("dGhlIHNhbXBsZSBub25jZQ=="),
              "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n");
    const std::pair<std::string, const char*> digests[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        // 56 bytes: the length no longer fits the first padding block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {std::string(64, 'x'), "bb2fa3ee7afb9f54c6dfb5d021f14b1ffe40c163"},
    };
    for (const auto& [in, digest] : digests) EXPECT_EQ(hex(sha1(in.data(), in.size())), digest) << in.size();
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
        // POST, no key and no Upgrade line: the server's exact 403 in remote_server_test.
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
    const char* queries[][3] = {
        {"/?token=ab&pair=123", "pair", "123"}, {"/x?a=1&token=%41b", "token", "%41b"},
        {"/?tokens=1&token=2", "token", "2"},   {"/?token&token=3", "token", "3"},
        {"/?token", "token", ""},               {"/token=1", "token", ""},
        {"/?a=1?token=2", "a", "1?token=2"},
    };
    for (const auto& [path, name, value] : queries) EXPECT_EQ(queryParam(path, name), value) << path;
}

TEST(WebSocketFrames, ParseChecksEveryLengthBeforeUsingIt) {
    WebSocketFrame f;
    const std::string hello = clientFrame(kOpText, "hello");
    EXPECT_EQ(websocketParseFrame(bytesOf(hello), hello.size(), f), int(hello.size()));
    EXPECT_EQ(f.opcode, kOpText);
    EXPECT_EQ(f.payload, "hello");
    // Every proper prefix asks for more bytes.
    for (size_t n = 0; n < hello.size(); ++n) EXPECT_EQ(websocketParseFrame(bytesOf(hello), n, f), 0) << n;
    // A header alone: more bytes wanted up to the limit, malformed past it.
    const std::pair<uint64_t, int> lengths[] = {{125, 0}, {126, 0}, {65535, 0}, {65536, 0}, {kMaxClientPayload, 0},
                                                {kMaxClientPayload + 1, -1}, {uint64_t(1) << 63, -1}, {~uint64_t(0), -1}};
    for (const auto& [length, result] : lengths) {
        const std::string header = clientFrameHeader(kOpBinary, length);
        EXPECT_EQ(websocketParseFrame(bytesOf(header), header.size(), f), result) << length;
    }
    // Server frames: the three length forms and their edges.
    const std::tuple<uint32_t, size_t, std::string> heads[] = {
        {kOpText, 2, "\x81\x02"},
        {kOpText, 125, "\x81\x7d"},
        {kOpText, 126, std::string("\x81\x7e\x00\x7e", 4)},
        {kOpText, 300, "\x81\x7e\x01\x2c"},
        {kOpBinary, 70000, std::string("\x82\x7f\x00\x00\x00\x00\x00\x01\x11\x70", 10)},
    };
    for (const auto& [opcode, length, head] : heads)
        EXPECT_EQ(websocketFrame(opcode, std::string(length, 'a')), head + std::string(length, 'a')) << length;
}

TEST(WebSocketFrames, SecretsCompareByContent) {
    const std::tuple<const char*, const char*, bool> pairs[] = {
        {"0123abcd", "0123abcd", true}, {"0123abcd", "0123abce", false}, {"0123abcd", "0123abc", false},
        {"", "x", false},               {"", "", true}};
    for (const auto& [a, b, equal] : pairs) EXPECT_EQ(secretEquals(a, b), equal) << a << " " << b;
}

}  // namespace
