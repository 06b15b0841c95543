// The control server over raw sockets: admission, pairing, framing, and the
// hostile cases (bad frames, huge lengths, slow or oversized requests, a ninth
// client). A client that never reads is tested through the studio's tick.

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

#include "remote/discovery.h"
#include "remote/os_random.h"
#include "remote/remote_server.h"
#include "remote/websocket.h"
#include "remote/ws_client.h"
#include "util/json_shapes.h"

namespace {

const std::string kToken = "0123456789abcdef0123456789abcdef";
const std::string kNoOpReply = R"({"type":"error","message":"send JSON like {\"op\":\"status\"}"})";

class ControlServer : public ::testing::Test {
protected:
    void SetUp() override {
        port = startOnFreePort(server, kToken);
        ASSERT_NE(port, 0);
    }
    std::string tokenPath() const { return "/?token=" + kToken; }
    // True when an upgrade to `path` gets the 403 answer.
    bool refused(const std::string& path) {
        WsClient c(port);
        return c.sendUpgrade(path) && c.readHead() == kForbiddenReply;
    }
    // Waits for `n` queued messages and takes them.
    std::vector<RemoteMessage> takeAtLeast(size_t n) {
        std::vector<RemoteMessage> all;
        waitFor([&] {
            for (auto& m : server.takeMessages()) all.push_back(std::move(m));
            return all.size() >= n;
        });
        return all;
    }

    RemoteServer server;
    int port = 0;
};

TEST_F(ControlServer, UpgradesGetTheExact101Or403OrNothing) {
    const std::string forbidden(kForbiddenReply), accepted = websocketAccept("a2V5");
    const std::string key = "Sec-WebSocket-Key: a2V5\r\n";
    const std::pair<std::string, std::string> cases[] = {
        // The token admits any path, in any letter case, without Connection or Version headers.
        {"GET /some/path?x=1&token=" + kToken + " HTTP/1.1\r\nUPGRADE: WebSocket\r\nsec-websocket-key: a2V5\r\n\r\n",
         accepted},
        {"POST " + tokenPath() + " HTTP/1.1\r\nUpgrade: websocket\r\n" + key + "\r\n", forbidden},
        {"GET " + tokenPath() + " HTTP/1.1\r\nUpgrade: websocket\r\n\r\n", forbidden},
        {"GET " + tokenPath() + " HTTP/1.1\r\n" + key + "\r\n", forbidden},
        {"GET /?token=" + kToken.substr(1) + " HTTP/1.1\r\nUpgrade: websocket\r\n" + key + "\r\n", forbidden},
        {"GET /?token=" + kToken + "0 HTTP/1.1\r\nUpgrade: websocket\r\n" + key + "\r\n", forbidden},
        {"GET / HTTP/1.1\r\nUpgrade: websocket\r\n" + key + "\r\n", forbidden},
        // Over 8192 bytes without the blank line: dropped without a reply.
        {"GET / HTTP/1.1\r\nX: " + std::string(12000, 'a'), ""},
    };
    for (const auto& [request, reply] : cases) {
        WsClient client(port);
        ASSERT_TRUE(client.send(request));
        std::string got;
        if (reply == accepted) {
            got = client.readHead();
        } else {
            ASSERT_TRUE(client.waitClosed(&got)) << request.substr(0, 60);
        }
        EXPECT_EQ(got, reply) << request.substr(0, 60);
    }
}

TEST(ControlServerClock, ARequestFinishedAfterFiveSecondsIsDropped) {
    // A fake clock that notes which threads read it: each upgrading
    // connection reads it first for its start time.
    std::mutex lock;
    std::set<std::thread::id> readers;
    std::atomic<int64_t> now{1000};
    RemoteServer server([&] {
        std::lock_guard<std::mutex> guard(lock);
        readers.insert(std::this_thread::get_id());
        return now.load();
    });
    const int port = startOnFreePort(server, kToken);
    ASSERT_NE(port, 0);
    WsClient slow(port), quick(port);
    ASSERT_TRUE(slow.send("GET /?token=" + kToken + " HTTP/1.1\r\nUpgrade: websocket\r\n"));
    ASSERT_TRUE(quick.send("GET /?token=" + kToken + " HTTP/1.1\r\nUpgrade: websocket\r\n"));
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard<std::mutex> guard(lock);
        return readers.size() == 2;
    }));
    now += 4999;
    ASSERT_TRUE(quick.send("Sec-WebSocket-Key: a2V5\r\n\r\n"));
    EXPECT_EQ(quick.readHead(), websocketAccept("a2V5"));
    now += 2;
    std::string got = "unset";
    ASSERT_TRUE(slow.waitClosed(&got));
    EXPECT_EQ(got, "");
}

TEST_F(ControlServer, PairingRules) {
    // Token and code together: admitted by token, the code stays open, no "paired".
    server.setPairingCode("123456");
    WsClient both(port);
    ASSERT_TRUE(both.open("/?pair=123456&token=" + kToken));
    server.setStatus(R"({"type":"status","n":1})");
    server.flush();
    EXPECT_EQ(both.readText(), R"({"type":"status","n":1})");
    EXPECT_TRUE(server.pairingActive());

    // Right code: "paired" with the token, then the last status, before any push; the code is used up.
    WsClient phone(port);
    ASSERT_TRUE(phone.open("/?pair=123456"));
    EXPECT_EQ(phone.readText(), R"({"type":"paired","token":")" + kToken + "\"}");
    EXPECT_EQ(phone.readText(), R"({"type":"status","n":1})");
    EXPECT_FALSE(server.pairingActive());
    EXPECT_TRUE(refused("/?pair=123456"));

    // Empty codes neither pair nor count as wrong; four wrong codes leave the
    // right one admitted, the fifth ends pairing.
    for (const int wrong : {4, 5}) {
        server.setPairingCode("654321");
        for (int i = 0; i < 6; ++i) EXPECT_TRUE(refused("/?pair="));
        for (int i = 0; i < wrong; ++i) EXPECT_TRUE(refused("/?pair=00000" + std::to_string(i)));
        EXPECT_EQ(server.pairingActive(), wrong == 4);
        WsClient right(port);
        EXPECT_EQ(right.open("/?pair=654321"), wrong == 4) << wrong;
    }
}

TEST_F(ControlServer, FramesInPiecesTogetherAndFragmented) {
    WsClient c(port);
    ASSERT_TRUE(c.open(tokenPath()));
    // One byte per write.
    for (char b : clientFrame(kOpText, R"({"op":"status","index":"1"})")) ASSERT_TRUE(c.send(std::string(1, b)));
    auto one = takeAtLeast(1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].field("op"), "status");
    EXPECT_EQ(one[0].field("index"), "1");
    // Two frames in one write, handled in order.
    ASSERT_TRUE(c.send(clientFrame(kOpText, R"({"op":"a"})") + clientFrame(kOpText, R"({"op":"b"})")));
    auto two = takeAtLeast(2);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].field("op"), "a");
    EXPECT_EQ(two[1].field("op"), "b");
    EXPECT_EQ(two[0].connectionKey, two[1].connectionKey);
    // A fragmented message: the first frame alone is a message (here a broken
    // object, so the error reply); continuations are ignored.
    ASSERT_TRUE(c.send(clientFrame(kOpText, R"({"op":)", false) + clientFrame(kOpContinuation, R"("x"})")));
    EXPECT_EQ(c.readText(), kNoOpReply);
    // Objects without a usable "op" get the same reply and queue nothing.
    for (const char* bad : {R"({"op":""})", R"({"index":1})", "[1]", "not json"}) {
        ASSERT_TRUE(c.send(clientFrame(kOpText, bad)));
        EXPECT_EQ(c.readText(), kNoOpReply) << bad;
    }
    // Ping gets a pong with the same payload; binary and pong are ignored.
    auto pong = [&] {
        std::string payload;
        uint32_t opcode = 0;
        return c.readFrame(payload, opcode) && opcode == kOpPong ? payload : "no pong";
    };
    ASSERT_TRUE(c.send(clientFrame(kOpBinary, "bin") + clientFrame(kOpPong, "p") + clientFrame(kOpPing, "ping!")));
    EXPECT_EQ(pong(), "ping!");
    EXPECT_TRUE(server.takeMessages().empty());
    // A reply of the connection's own goes out at once, even queued behind a
    // frame held for the next flush, which it takes along.
    server.sendTo(one[0].connectionKey, "held");
    ASSERT_TRUE(c.send(clientFrame(kOpPing, "now")));
    EXPECT_EQ(c.readText(), "held");
    EXPECT_EQ(pong(), "now");
    // Close gets the two bytes 0x88 0x00, then the connection ends.
    ASSERT_TRUE(c.send(clientFrame(kOpClose, "")));
    std::string rest;
    ASSERT_TRUE(c.waitClosed(&rest));
    EXPECT_EQ(rest, std::string("\x88\x00", 2));
    EXPECT_TRUE(waitFor([&] { return server.clientCount() == 0; }));
}

TEST_F(ControlServer, MalformedFramesDropTheClientWithoutAClose) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string unmasked = clientFrame(kOpText, R"({"op":"status"})");
    unmasked[1] = char(unmasked[1] & 0x7F);
    const Case cases[] = {
        {"unmasked", unmasked},
        {"2^63", clientFrameHeader(kOpText, uint64_t(1) << 63)},
        {"1 MiB + 1", clientFrameHeader(kOpText, kMaxClientPayload + 1)},
    };
    for (const Case& c : cases) {
        WsClient client(port);
        ASSERT_TRUE(client.open(tokenPath())) << c.name;
        ASSERT_TRUE(client.send(c.bytes)) << c.name;
        std::string rest = "unset";
        ASSERT_TRUE(client.waitClosed(&rest)) << c.name;
        EXPECT_EQ(rest, "") << c.name;
    }
    // Exactly 1 MiB is taken; as short unique keys it would cost the queue
    // ten times its size, and gets the error reply instead.
    WsClient big(port);
    ASSERT_TRUE(big.open(tokenPath()));
    ASSERT_TRUE(big.send(clientFrame(kOpText, shortKeyObject(kMaxClientPayload))));
    EXPECT_EQ(big.readText(), kNoOpReply);
    std::string object = R"({"op":"big","pad":")";
    object += std::string(kMaxClientPayload - object.size() - 2, 'p') + "\"}";
    ASSERT_EQ(object.size(), kMaxClientPayload);
    // Four such requests fill the queue's text; a fifth is dropped like a 257th.
    std::string burst;
    for (int i = 0; i < 5; ++i) burst += clientFrame(kOpText, object);
    ASSERT_TRUE(big.send(burst + clientFrame(kOpPing, "")));
    std::string payload;
    uint32_t opcode = 0;
    ASSERT_TRUE(big.readFrame(payload, opcode));  // the pong: every request before it was handled
    auto got = server.takeMessages();
    ASSERT_EQ(got.size(), RemoteServer::kMaxQueuedText / kMaxClientPayload);
    EXPECT_EQ(got[0].field("pad").size(), kMaxClientPayload - 19 - 2);
}

TEST_F(ControlServer, NinthSocketIsClosedAtOnceAndAFreedPlaceIsReused) {
    std::vector<std::unique_ptr<WsClient>> clients;
    // Half are still in their upgrade: they count too.
    for (int i = 0; i < RemoteServer::kMaxConnections; ++i) {
        clients.push_back(std::make_unique<WsClient>(port));
        if (i % 2 == 0) {
            ASSERT_TRUE(clients.back()->open(tokenPath()));
        } else {
            ASSERT_TRUE(clients.back()->send("GET / HTTP/1.1\r\n"));
        }
    }
    ASSERT_TRUE(waitFor([&] { return server.clientCount() == 4; }));
    WsClient ninth(port);
    ASSERT_TRUE(ninth.connected());
    std::string rest = "unset";
    ASSERT_TRUE(ninth.waitClosed(&rest));
    EXPECT_EQ(rest, "");
    clients[0]->close();
    clients[0].reset();
    EXPECT_TRUE(waitFor([&] {
        WsClient next(port);
        return next.open(tokenPath());
    }));
}

TEST_F(ControlServer, QueueHoldsAtMost256AndStatusGoesOutOnlyWhenChanged) {
    WsClient c(port);
    ASSERT_TRUE(c.open(tokenPath()));
    std::string burst;
    for (int i = 0; i < 300; ++i) burst += clientFrame(kOpText, R"({"op":"n","i":)" + std::to_string(i) + "}");
    burst += clientFrame(kOpPing, "done");
    ASSERT_TRUE(c.send(burst));
    std::string payload;
    uint32_t opcode = 0;
    ASSERT_TRUE(c.readFrame(payload, opcode));  // the pong: every frame before it was handled
    auto queued = server.takeMessages();
    ASSERT_EQ(queued.size(), RemoteServer::kMaxMessages);
    EXPECT_EQ(queued.back().field("i"), "255");

    server.setStatus("s1");
    server.setStatus("s1");
    server.setStatus("s2");
    server.broadcast("b");
    server.sendTo(queued[0].connectionKey, "to");
    server.sendTo(queued[0].connectionKey + 100, "nobody");
    server.flush();
    EXPECT_EQ(c.readText(), "s1");
    EXPECT_EQ(c.readText(), "s2");
    EXPECT_EQ(c.readText(), "b");
    EXPECT_EQ(c.readText(), "to");
    EXPECT_EQ(c.readText(300), "");
}

// Starts threads like std::thread, except that the calls numbered in `failing`
// (from 1, across all of the service's threads) throw as a system out of
// threads does.
struct FailingStarter {
    std::set<int> failing;
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);

    std::thread operator()(std::function<void()> body) const {
        if (failing.count(++*calls))
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(body));
    }
};

TEST(ServicesWithoutThreads, StartsFailWithTheirTextAndLetThePortGo) {
    // The server's accept thread, then its flusher after the accept thread started.
    for (const int failing : {1, 2}) {
        RemoteServer probe;
        const int port = startOnFreePort(probe, kToken);
        ASSERT_NE(port, 0);
        probe.stop();
        RemoteServer server({}, FailingStarter{{failing}});
        EXPECT_EQ(server.start(port, false, kToken), "Could not start the remote-control server") << failing;
        EXPECT_FALSE(server.isRunning());
        // The listener is closed and whatever started is joined: a restart takes the port.
        EXPECT_EQ(server.start(port, false, kToken), "") << failing;
    }

    // The UDP service's one thread; a port found taken is tried again elsewhere.
    Discovery discovery({}, FailingStarter{{1}});
    std::string started;
    int port = 0;
    for (int i = 0; i < 50; ++i) {
        port = 20000 + int(osRandom32() % 30000);
        started = discovery.start(port, false, std::make_shared<PhoneFeed>(), "PC");
        if (started.rfind("UDP port", 0) != 0) break;
    }
    EXPECT_EQ(started, "Could not start the UDP service");
    EXPECT_FALSE(discovery.isRunning());
}

TEST(ServicesWithoutThreads, AClientWithoutAThreadIsClosedAndTheNextServed) {
    // Calls 1 and 2 start the server; each client then takes its writer and its reader.
    for (const int failing : {3, 4}) {
        RemoteServer server({}, FailingStarter{{failing}});
        const int port = startOnFreePort(server, kToken);
        ASSERT_NE(port, 0);
        WsClient first(port);
        std::string rest = "unset";
        ASSERT_TRUE(first.waitClosed(&rest)) << failing;
        EXPECT_EQ(rest, "") << failing;
        WsClient next(port);
        EXPECT_TRUE(next.open("/?token=" + kToken)) << failing;
        EXPECT_TRUE(waitFor([&] { return server.clientCount() == 1; })) << failing;
    }
}

}  // namespace
