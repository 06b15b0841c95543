// The studio's side of remote control over the raw client: the token kept in
// the secret store and renewed, pairing ended by wrong codes, start-up
// failures and their texts, status answers within one tick, a client that
// never reads, and the viewer sum. The exact replies of every operation and
// the chat messages are checked by the real peers (studio_peers_test_posix).

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <thread>

#include "remote/studio_remote_test_support.h"
#include "remote/udp_socket.h"
#include "remote/ws_client.h"
#include "ui/headless_gui.h"
#include "util/secret_store.h"

namespace {

// Ticks the studio until `condition` holds.
template <typename F>
bool tickUntil(Studio& studio, F condition) {
    return waitFor([&] {
        studio.handleRemoteMessages();
        return condition();
    });
}

class StudioRemote : public ::testing::Test {
protected:
    void SetUp() override {
        useFreshProfile(::testing::UnitTest::GetInstance()->current_test_info()->name());
        studio = std::make_unique<Studio>(nullptr);
        ASSERT_TRUE(startRemoteStudio(*studio));
        port = studio->project.remotePort;
    }
    HeadlessGui gui;
    std::unique_ptr<Studio> studio;
    int port = 0;
};

TEST_F(StudioRemote, TokenIsKeptRenewedOnRequestAndOldClientsAreDropped) {
    const std::string token = studio->remoteToken;
    ASSERT_EQ(token.size(), 32u);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(loadSecret("control-token"), token);
    std::string url = "left over from before";
    studio->localControlUrl(url);
    EXPECT_EQ(url, "ws://127.0.0.1:" + std::to_string(port) + "/?token=" + token);

    WsClient client(port);
    ASSERT_TRUE(client.open("/?token=" + token));
    // A studio started again reads the same token and drops the clients.
    studio->remoteApplied = false;
    studio->handleRemoteMessages();
    EXPECT_EQ(studio->remoteToken, token);
    EXPECT_TRUE(client.waitClosed());

    studio->restartRemote(true);
    EXPECT_NE(studio->remoteToken, token);
    EXPECT_EQ(loadSecret("control-token"), studio->remoteToken);
    WsClient stale(port);
    ASSERT_TRUE(stale.sendUpgrade("/?token=" + token));
    EXPECT_EQ(stale.readHead(), std::string(kForbiddenReply));
    WsClient fresh(port);
    EXPECT_TRUE(fresh.open("/?token=" + studio->remoteToken));
}

TEST_F(StudioRemote, StatusAnswersOfOneTickSeeTheOperationsBeforeThem) {
    WsClient client(port);
    ASSERT_TRUE(client.open("/?token=" + studio->remoteToken));
    ASSERT_TRUE(tickUntil(*studio, [&] { return studio->remote.clientCount() == 1; }));
    const std::string before = client.readText();
    ASSERT_NE(before.find(R"("scene":0,)"), std::string::npos) << before;
    // Queued together, so one tick runs them all; the pong says they are queued.
    std::string burst;
    for (const char* op : {R"({"op":"status"})", R"({"op":"status"})",
                           R"({"op":"scene.set","index":2})", R"({"op":"status"})",
                           R"({"op":"layout.set","index":99})", R"({"op":"status"})"})
        burst += clientFrame(kOpText, op);
    ASSERT_TRUE(client.send(burst + clientFrame(kOpPing, "")));
    std::string payload;
    uint32_t opcode = 0;
    ASSERT_TRUE(client.readFrame(payload, opcode));
    ASSERT_EQ(opcode, kOpPong);
    studio->handleRemoteMessages();
    const std::string after = studio->statusJson();
    ASSERT_NE(after.find(R"("scene":2,)"), std::string::npos) << after;
    // The answers, then the push of the changed status.
    const std::string refused = R"({"type":"error","message":"no layout 99"})";
    for (const std::string& want : {before, before, after, refused, after, after})
        EXPECT_EQ(client.readText(), want);
}

// A phone that pairs ends pairing with the notice "Phone paired": see the real peers.
TEST_F(StudioRemote, FiveWrongCodesEndPairingWithoutANotice) {
    studio->startPairing();
    EXPECT_TRUE(studio->project.localNetwork);
    ASSERT_EQ(studio->pairingCode.size(), 6u);
    EXPECT_GE(std::stoi(studio->pairingCode), 100000);
    for (int i = 0; i < 5; ++i) {
        WsClient wrong(port);
        ASSERT_TRUE(wrong.sendUpgrade("/?pair=" + std::string(studio->pairingCode == "999999" ? "999998" : "999999")));
        EXPECT_EQ(wrong.readHead(), std::string(kForbiddenReply));
    }
    studio->handleRemoteMessages();
    EXPECT_EQ(studio->pairingCode, "");
    EXPECT_EQ(studio->toast.text, "");
}

TEST_F(StudioRemote, StartFailuresAreReportedAndCameraStartExplainsThem) {
    // The UDP port taken by someone else: the server runs, the camera cannot.
    studio->project.remoteControl = false;
    studio->handleRemoteMessages();
    UdpSocket squatter;
    std::string error;
    ASSERT_TRUE(squatter.bind(port, true, error)) << error;
    studio->project.remoteControl = true;
    studio->project.localNetwork = true;
    studio->handleRemoteMessages();
    const std::string udpText = "UDP port " + std::to_string(port) + " is in use (phone camera)";
    EXPECT_EQ(studio->remoteError, udpText);
    ASSERT_TRUE(studio->remote.isRunning());
    WsClient phone(port);
    ASSERT_TRUE(phone.open("/?token=" + studio->remoteToken));
    ASSERT_TRUE(phone.send(clientFrame(kOpText, R"({"op":"camera.start"})")));
    const std::string want = R"({"type":"error","message":"The phone camera can't start: )" + udpText + "\"}";
    std::string got;
    ASSERT_TRUE(tickUntil(*studio, [&] {
        const std::string text = phone.readText(20);
        if (!text.empty() && text.rfind(R"({"type":"status")", 0) != 0) got = text;
        return !got.empty();
    }));
    EXPECT_EQ(got, want);
    squatter.close();

    // The TCP port taken: nothing runs, the listener's text is kept.
    RemoteServer other;
    studio->project.remoteControl = false;
    studio->handleRemoteMessages();
    ASSERT_EQ(other.start(port, false, "x"), "");
    studio->project.remoteControl = true;
    studio->handleRemoteMessages();
    EXPECT_EQ(studio->remoteError, "Port " + std::to_string(port) + " is in use");
    EXPECT_FALSE(studio->remote.isRunning());
    EXPECT_FALSE(studio->discovery.isRunning());
    EXPECT_EQ(studio->remoteError.find(studio->remoteToken), std::string::npos);
}

// Neither a push nor stop may wait on a writer stuck in a send: either would
// hang the tick below.
TEST_F(StudioRemote, AClientThatNeverReadsIsDroppedAndStallsNeitherTheTickNorStop) {
    const std::string path = "/?token=" + studio->remoteToken;
    WsClient stuck(port), healthy(port);
    ASSERT_TRUE(stuck.open(path));
    ASSERT_TRUE(healthy.open(path));
    std::atomic<bool> reading{true};
    std::atomic<size_t> healthyBytes{0};
    std::thread reader([&] {
        uint8_t chunk[65536];
        while (reading) {
            const int got = healthy.stream->read(chunk, sizeof chunk, 50);
            if (got < 0) break;
            healthyBytes += size_t(got);
        }
    });
    ASSERT_TRUE(tickUntil(*studio, [&] { return studio->remote.clientCount() == 2; }));
    // A scene name of 256 KiB that changes every tick: every tick pushes a
    // new status of that size to both clients.
    const std::string name(256 << 10, 'n');
    int ticks = 0;
    auto pushTick = [&] {
        studio->project.scenes[2].name = name + std::to_string(ticks++);
        studio->handleRemoteMessages();
    };
    // The stuck client's socket buffers fill, then its queue overflows: it
    // is dropped only once more than the queue's cap was pushed to it.
    EXPECT_TRUE(waitFor([&] {
        pushTick();
        return studio->remote.clientCount() == 1;
    })) << ticks << " ticks";
    EXPECT_GT(size_t(ticks) * name.size(), RemoteServer::kMaxQueuedBytes);
    EXPECT_TRUE(waitFor([&] { return healthyBytes.load() >= size_t(ticks) * name.size(); }));

    // Another stuck client, pushed about half a queue less than the first took:
    // its socket is full and its writer blocked in a write when remote control
    // is turned off.
    const int fill = ticks - int(RemoteServer::kMaxQueuedBytes / 2 / name.size());
    WsClient stuckAgain(port);
    ASSERT_TRUE(stuckAgain.open(path));
    ASSERT_TRUE(tickUntil(*studio, [&] { return studio->remote.clientCount() == 2; }));
    for (int i = 0; i < fill; ++i) pushTick();
    studio->project.remoteControl = false;
    pushTick();
    EXPECT_FALSE(studio->remote.isRunning());
    EXPECT_TRUE(stuckAgain.waitClosed());
    reading = false;
    reader.join();
}

TEST_F(StudioRemote, ViewersAreTheSaturatedSumOfTheKnownCounts) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    struct Case {
        std::vector<int64_t> counts;
        int64_t viewers;
    };
    const Case cases[] = {
        {{}, -1},         {{-1, -1}, -1},        {{0, -1}, 0},
        {{-1, 5, 7}, 12}, {{kMax, kMax}, kMax}, {{kMax - 1, -1, 1, 1}, kMax},
    };
    LiveDataFeed& feed = studio->liveData;
    for (const Case& c : cases) {
        feed.channels.assign(c.counts.size(), "@c");
        feed.hub = std::make_shared<LiveData::Hub>(YouTubeSite{}, LiveData::steadyClock());
        for (int64_t count : c.counts) feed.hub->channels.push_back({"@c", "", count, "", ""});
        const std::string want = R"("viewers":)" + std::to_string(c.viewers) + ",";
        EXPECT_NE(studio->statusJson().find(want), std::string::npos) << want;
    }
}

}  // namespace
