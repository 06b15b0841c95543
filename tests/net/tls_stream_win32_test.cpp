#include "e2e/rtmp/peer_control.h"
#include "e2e/rtmp/trust.h"
#include "net/byte_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <numeric>
#include <thread>

namespace {

// A one-connection TCP peer on a free port: it reads the client hello, then
// does what the test asks.
struct OnePeer {
    explicit OnePeer(std::function<void(ByteStream&)> behaviour) {
        std::string error;
        port = findFreePort();
        listener = openListener(port, false, error);
        thread = std::thread([this, behaviour] {
            auto peer = listener ? listener->accept(5000) : nullptr;
            if (!peer) return;
            uint8_t buf[4096];
            peer->read(buf, sizeof buf, 5000);
            behaviour(*peer);
        });
    }
    ~OnePeer() { thread.join(); }
    int port = 0;
    std::unique_ptr<Listener> listener;
    std::thread thread;
};

TEST(TlsStream, RoundTripThroughStunnelInSeveralRecords) {
    PeerControl peers("e2e-peers");
    auto echo = peers.call("echo");
    ASSERT_EQ(echo.size(), 1u) << peers.error();
    auto tunnel = peers.call("stunnel", {echo[0]});
    ASSERT_EQ(tunnel.size(), 3u) << peers.error();
    std::string error;
    ASSERT_TRUE(trustTestCertificate(PeerControl::localPath(tunnel[2]), error)) << error;
    auto stream = openStream("localhost", std::stoi(tunnel[1]), true, 5000, error);
    ASSERT_TRUE(stream) << error;

    // Larger than one TLS record, so it goes out as several.
    std::vector<uint8_t> sent(200000);
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 7 + 3);
    ASSERT_TRUE(stream->write(sent.data(), sent.size())) << stream->lastError();
    std::vector<uint8_t> got;
    uint8_t buf[7000];
    while (got.size() < sent.size()) {
        int n = stream->read(buf, sizeof buf, 5000);
        ASSERT_GT(n, 0) << stream->lastError();
        got.insert(got.end(), buf, buf + n);
    }
    EXPECT_TRUE(got == sent);
    uint8_t none[4];
    EXPECT_EQ(stream->read(none, sizeof none, 0), 0);

    // Closing the tunnel ends the stream with a text, never silently.
    peers.call("stop", {tunnel[0]});
    EXPECT_EQ(stream->read(none, sizeof none, 5000), -1);
    EXPECT_FALSE(stream->lastError().empty());
}

TEST(TlsStream, TrickledRecordDoesNotStretchAReadPastItsTimeOut) {
    constexpr int kReadMs = 1000;
    constexpr long long kReadBoundMs = 3000;  // while the record takes about 9 s to trickle in
    PeerControl peers("e2e-peers");
    auto echo = peers.call("echo");
    ASSERT_EQ(echo.size(), 1u) << peers.error();
    auto tunnel = peers.call("stunnel", {echo[0]});
    ASSERT_EQ(tunnel.size(), 3u) << peers.error();
    auto relay = peers.call("trickle", {tunnel[1]});
    ASSERT_EQ(relay.size(), 1u) << peers.error();
    std::string error;
    ASSERT_TRUE(trustTestCertificate(PeerControl::localPath(tunnel[2]), error)) << error;
    auto stream = openStream("localhost", std::stoi(relay[0]), true, 5000, error);
    ASSERT_TRUE(stream) << error;

    std::vector<uint8_t> sent(320);
    std::iota(sent.begin(), sent.end(), uint8_t{1});
    ASSERT_TRUE(stream->write(sent.data(), sent.size())) << stream->lastError();
    std::vector<uint8_t> got;
    int emptyReads = 0;
    uint8_t buf[512];
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (got.size() < sent.size() && std::chrono::steady_clock::now() < giveUp) {
        const auto start = std::chrono::steady_clock::now();
        const int n = stream->read(buf, sizeof buf, kReadMs);
        const auto tookMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        ASSERT_LT(tookMs, kReadBoundMs);
        ASSERT_GE(n, 0) << stream->lastError();
        emptyReads += n == 0;
        got.insert(got.end(), buf, buf + n);
    }
    EXPECT_TRUE(got == sent);
    EXPECT_GT(emptyReads, 0);  // the record did span several reads
}

TEST(TlsStream, PlainTcpPeerIsASecureConnectionError) {
    std::string error;
    {
        OnePeer plain([](ByteStream& peer) {
            // What a plain RTMP server answers: its version byte and a handshake block.
            std::vector<uint8_t> reply(1 + 1536, 0);
            reply[0] = 0x03;
            peer.write(reply.data(), reply.size());
            uint8_t buf[64];
            peer.read(buf, sizeof buf, 2000);
        });
        EXPECT_FALSE(openStream("localhost", plain.port, true, 3000, error));
    }
    EXPECT_EQ(error.rfind("Secure connection refused (certificate or TLS error 0x", 0), 0u) << error;
}

TEST(TlsStream, SilentPeerDoesNotFinishTheHandshake) {
    std::string error;
    // The peer holds the connection open, saying nothing, until the client has given up: a peer
    // that closed first would end the handshake by the close, not by the time-out. The time-out
    // also covers the connection, so it leaves a loaded machine room to connect.
    std::promise<void> clientGaveUp;
    std::future<void> released = clientGaveUp.get_future();
    {
        OnePeer silent([&released](ByteStream&) { released.wait(); });
        EXPECT_FALSE(openStream("localhost", silent.port, true, 2000, error));
        clientGaveUp.set_value();
    }
    EXPECT_EQ(error, "The server did not finish the secure handshake");
}

}  // namespace
