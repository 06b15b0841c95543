#include "e2e/rtmp/peer_control.h"
#include "net/byte_stream.h"
#include "net/name_lookup.h"
#include "net/tcp_stream.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

struct Pair {
    std::unique_ptr<Listener> listener;
    std::unique_ptr<ByteStream> client;
    std::unique_ptr<ByteStream> server;
    int port = 0;
};

Pair connectedPair() {
    Pair p;
    std::string error;
    p.port = findFreePort();
    p.listener = openListener(p.port, false, error);
    EXPECT_TRUE(p.listener) << error;
    if (!p.listener) return p;
    p.client = openStream("127.0.0.1", p.port, false, 2000, error);
    EXPECT_TRUE(p.client) << error;
    p.server = p.listener->accept(2000);
    EXPECT_TRUE(p.server);
    return p;
}

TEST(TcpStream, EchoesThreeMebibytesThroughAPythonPeer) {
    PeerControl peers("e2e-peers");
    auto echo = peers.call("echo");
    ASSERT_EQ(echo.size(), 1u) << peers.error();
    std::string error = "stale";
    auto stream = openStream("127.0.0.1", std::stoi(echo[0]), false, 5000, error);
    ASSERT_TRUE(stream) << error;
    EXPECT_EQ(error, "");

    std::vector<uint8_t> sent(3u << 20);
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 131 + (i >> 12));
    std::vector<uint8_t> got;
    got.reserve(sent.size());
    std::thread reader([&] {
        uint8_t buf[65536];
        while (got.size() < sent.size()) {
            int n = stream->read(buf, sizeof buf, 10000);
            if (n <= 0) break;
            got.insert(got.end(), buf, buf + n);
        }
    });
    const bool wrote = stream->write(sent.data(), sent.size());
    reader.join();
    EXPECT_TRUE(wrote) << stream->lastError();
    EXPECT_TRUE(got == sent) << got.size();
}

TEST(TcpStream, ConnectFailureTexts) {
    const int port = findFreePort();
    std::string error;
    EXPECT_FALSE(openStream("127.0.0.1", port, false, 2000, error));
    EXPECT_EQ(error, "Could not connect to 127.0.0.1:" + std::to_string(port));

    // A label longer than 63 characters cannot be looked up at all, so the
    // test stays off the network.
    const std::string unknown = std::string(70, 'x') + ".invalid";
    EXPECT_FALSE(openStream(unknown, port, false, 2000, error));
    EXPECT_EQ(error, "Could not find the server " + unknown);
}

TEST(TcpStream, ConnectGivesUpAfterItsTimeout) {
    // A listener that never accepts fills its queue; later connects stall.
    const int port = findFreePort();
    std::string error;
    auto listener = openListener(port, false, error);
    ASSERT_TRUE(listener) << error;
    std::vector<std::unique_ptr<ByteStream>> held;
    bool timedOut = false;
    for (int i = 0; i < 32 && !timedOut; ++i) {
        const auto start = Clock::now();
        auto s = openStream("127.0.0.1", port, false, 300, error);
        if (s) {
            held.push_back(std::move(s));
            continue;
        }
        timedOut = true;
        EXPECT_GE(msSince(start), 250);
        EXPECT_EQ(error, "Could not connect to 127.0.0.1:" + std::to_string(port));
    }
    EXPECT_TRUE(timedOut);
}

// The system's lookup cannot be interrupted: the caller gives up on it and the lookup
// finishes alone later, touching nothing of the caller's.
TEST(NameLookup, GivesUpOnALookupThatHangsAtAStopOrItsTimeout) {
    for (const bool byStop : {true, false}) {
        SCOPED_TRACE(byStop ? "stop" : "timeout");
        auto release = std::make_shared<std::promise<void>>();
        auto started = std::make_shared<std::atomic<bool>>(false);
        auto ended = std::make_shared<std::atomic<bool>>(false);
        AddressLookup hangs = [release, started, ended, wait = release->get_future().share()](
                                  std::vector<ResolvedAddress>& out) {
            *started = true;
            wait.wait();
            out.push_back({4, 1, 6, std::vector<uint8_t>(16, 1)});
            *ended = true;
            return true;
        };
        std::vector<ResolvedAddress> found;
        const auto start = Clock::now();
        const LookupResult r = lookupAddresses(hangs, byStop ? 600000 : 100, [&] { return byStop && *started; }, found);
        EXPECT_EQ(r, byStop ? LookupResult::Stopped : LookupResult::NotFound);
        EXPECT_LT(msSince(start), 5000);
        EXPECT_TRUE(found.empty());
        release->set_value();
        ASSERT_TRUE(waitFor([&] { return ended->load(); }));
    }
}

TEST(TcpStream, LocalhostFallsBackAcrossAddresses) {
    // The listener is IPv4 only; localhost may resolve to ::1 first.
    const int port = findFreePort();
    std::string error;
    auto listener = openListener(port, false, error);
    ASSERT_TRUE(listener);
    auto s = openStream("localhost", port, false, 2000, error);
    EXPECT_TRUE(s) << error;
}

TEST(TcpStream, ReadTimeoutsAndPeerClose) {
    Pair p = connectedPair();
    ASSERT_TRUE(p.client && p.server);
    uint8_t buf[16];
    EXPECT_EQ(p.client->read(buf, sizeof buf, 0), 0);  // nothing there: no waiting
    const auto start = Clock::now();
    EXPECT_EQ(p.client->read(buf, sizeof buf, 200), 0);
    EXPECT_GE(msSince(start), 150);

    const uint8_t hello[] = {'h', 'i'};
    ASSERT_TRUE(p.server->write(hello, 2));
    EXPECT_EQ(p.client->read(buf, sizeof buf, 2000), 2);
    p.server.reset();
    EXPECT_EQ(p.client->read(buf, sizeof buf, 2000), -1);
    EXPECT_EQ(p.client->lastError(), "The server closed the connection");
}

TEST(TcpStream, CloseFromAnotherThreadUnblocksARead) {
    Pair p = connectedPair();
    ASSERT_TRUE(p.client && p.server);
    // A read that timed out would give 0; the close makes it fail with -1, whether it was
    // already waiting or not.
    int result = 1;
    std::thread blocked([&] {
        uint8_t buf[16];
        result = p.client->read(buf, sizeof buf, 600000);
    });
    p.client->close();
    blocked.join();
    EXPECT_EQ(result, -1);
    const uint8_t byte = 0;
    EXPECT_FALSE(p.client->write(&byte, 1));
    uint8_t buf[4];
    EXPECT_EQ(p.client->read(buf, sizeof buf, 0), -1);
}

TEST(TcpStream, WritingToAVanishedPeerFails) {
    Pair p = connectedPair();
    ASSERT_TRUE(p.client && p.server);
    p.server.reset();
    p.listener.reset();
    std::vector<uint8_t> chunk(1 << 20, 7);
    bool ok = true;
    for (int i = 0; i < 50 && ok; ++i) ok = p.client->write(chunk.data(), chunk.size());
    EXPECT_FALSE(ok);
    EXPECT_EQ(p.client->lastError(), "Connection lost");
}

TEST(TcpListener, PortInUseAndAcceptTimeout) {
    const int port = findFreePort();
    std::string error;
    auto first = openListener(port, false, error);
    ASSERT_TRUE(first) << error;
    EXPECT_EQ(error, "");
    auto second = openListener(port, false, error);
    EXPECT_FALSE(second);
    EXPECT_EQ(error, "Port " + std::to_string(port) + " is in use");
    const auto start = Clock::now();
    EXPECT_FALSE(first->accept(100));
    EXPECT_GE(msSince(start), 80);
    EXPECT_FALSE(first->accept(0));
}

}  // namespace
