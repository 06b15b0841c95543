#include "live/rtmp_session.h"

#include "live/fake_rtmp_server.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

StreamMetadata media() {
    StreamMetadata m;
    m.width = 1280;
    m.height = 720;
    m.fps = 30;
    m.videoKbps = 6000;
    return m;
}

std::vector<std::string> names(const FakeRtmpServer& s) {
    std::vector<std::string> out;
    for (const auto& m : s.receivedOfType(20)) out.push_back(FakeRtmpServer::decode(m)[0].text);
    return out;
}

TEST(RtmpSession, PublishesWithTheExpectedCommandSequence) {
    FakeRtmpServer server;
    auto session = sessionFor(server);
    ASSERT_EQ(session->connect(testEndpoint(), "key1", media()), "");
    EXPECT_EQ(session->streamId(), 1);

    ASSERT_GE(server.received.size(), 7u);
    const RtmpMessage& setChunk = server.received[0];
    EXPECT_EQ(setChunk.typeId, 1);
    EXPECT_EQ(setChunk.chunkStreamId, 2u);
    EXPECT_EQ(setChunk.payload, (std::vector<uint8_t>{0, 0, 0x10, 0}));
    EXPECT_EQ(names(server), (std::vector<std::string>{"connect", "releaseStream", "FCPublish", "createStream",
                                                        "publish"}));

    auto commands = server.receivedOfType(20);
    auto connect = FakeRtmpServer::decode(commands[0]);
    ASSERT_EQ(connect.size(), 3u);  // no null after the transaction number
    EXPECT_EQ(commands[0].chunkStreamId, 3u);
    EXPECT_EQ(connect[2].properties.size(), 4u);
    EXPECT_EQ(connect[2].property("app")->text, "live");
    EXPECT_EQ(connect[2].property("type")->text, "nonprivate");
    EXPECT_EQ(connect[2].property("flashVer")->text, "FMLE/3.0 (compatible; Quillhaven)");
    EXPECT_EQ(connect[2].property("tcUrl")->text, "rtmp://127.0.0.1:1935/live");

    auto release = FakeRtmpServer::decode(commands[1]);
    EXPECT_EQ(release[1].number, 2);
    EXPECT_EQ(release[2].kind, AmfValue::Null);
    EXPECT_EQ(release[3].text, "key1");

    auto publish = FakeRtmpServer::decode(commands[4]);
    EXPECT_EQ(commands[4].chunkStreamId, 4u);
    EXPECT_EQ(commands[4].streamId, 1u);
    ASSERT_EQ(publish.size(), 5u);
    EXPECT_EQ(publish[1].number, 5);
    EXPECT_EQ(publish[3].text, "key1");
    EXPECT_EQ(publish[4].text, "live");

    auto meta = server.receivedOfType(18);
    ASSERT_EQ(meta.size(), 1u);
    EXPECT_EQ(meta[0].chunkStreamId, 5u);
    EXPECT_EQ(meta[0].streamId, 1u);
    auto values = FakeRtmpServer::decode(meta[0]);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].text, "@setDataFrame");
    EXPECT_EQ(values[1].text, "onMetaData");
    EXPECT_EQ(meta[0].payload[29], 0x08);  // an ECMA array announcing 8 entries
    EXPECT_EQ(meta[0].payload[33], 8);
    const std::vector<std::pair<std::string, double>> expected = {
        {"width", 1280},        {"height", 720},        {"framerate", 30},        {"videocodecid", 7},
        {"videodatarate", 6000}, {"audiocodecid", 10}, {"audiodatarate", 192}, {"audiosamplerate", 48000}};
    ASSERT_EQ(values[2].properties.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(values[2].properties[i].key, expected[i].first);
        EXPECT_EQ(values[2].properties[i].value.number, expected[i].second);
    }

    std::vector<uint8_t> body(10000, 0x55);
    ASSERT_TRUE(session->sendMedia(9, 40, body));
    ASSERT_TRUE(session->sendMedia(8, 0x01000000, body.data(), 5));
    auto video = server.receivedOfType(9);
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(video[0].chunkStreamId, 6u);
    EXPECT_EQ(video[0].timestamp, 40u);
    EXPECT_EQ(video[0].payload, body);
    auto audio = server.receivedOfType(8);
    ASSERT_EQ(audio.size(), 1u);
    EXPECT_EQ(audio[0].chunkStreamId, 7u);
    EXPECT_EQ(audio[0].timestamp, 0x01000000u);

    session->close();
    auto all = server.receivedOfType(20);
    auto unpublish = FakeRtmpServer::decode(all[all.size() - 2]);
    EXPECT_EQ(unpublish[0].text, "FCUnpublish");
    EXPECT_EQ(unpublish[1].number, 6);
    EXPECT_EQ(unpublish[3].text, "key1");
    auto del = FakeRtmpServer::decode(all.back());
    EXPECT_EQ(all.back().chunkStreamId, 3u);
    ASSERT_EQ(del.size(), 4u);
    EXPECT_EQ(del[0].text, "deleteStream");
    EXPECT_EQ(del[1].number, 7);
    EXPECT_EQ(del[3].number, 1);
}

TEST(RtmpSession, RefusedConnectionShowsTheCode) {
    FakeRtmpServer server;
    server.onCommand = [](FakeRtmpServer& s, const std::vector<AmfValue>& c) {
        if (c[0].text == "connect") s.sendResult(1, FakeRtmpServer::info("error", "NetConnection.Connect.Rejected", ""), "_error");
    };
    EXPECT_EQ(sessionFor(server)->connect(testEndpoint(), "k", media()),
              "The server refused the connection: NetConnection.Connect.Rejected");
}

TEST(RtmpSession, RefusedKeyShowsTheDescription) {
    FakeRtmpServer server;
    server.onCommand = [](FakeRtmpServer& s, const std::vector<AmfValue>& c) {
        if (c[0].text == "publish") {
            s.sendStatus("error", "NetStream.Publish.BadName", "Already publishing");
            return;
        }
        FakeRtmpServer::standardReplies(s, c);
    };
    EXPECT_EQ(sessionFor(server)->connect(testEndpoint(), "k", media()), "Stream key refused: Already publishing");
}

TEST(RtmpSession, OtherStatusesBeforeTheStartArePassedOver) {
    FakeRtmpServer server;
    server.onCommand = [](FakeRtmpServer& s, const std::vector<AmfValue>& c) {
        if (c[0].text == "publish") s.sendStatus("status", "NetStream.Publish.Reset", "Reset");
        FakeRtmpServer::standardReplies(s, c);
    };
    EXPECT_EQ(sessionFor(server)->connect(testEndpoint(), "k", media()), "");
}

// A second server dialect: onBWDone, a one-value onFCPublish and a
// one-value _error arrive before the real createStream reply.
TEST(RtmpSession, ShortCommandsNeverMatchANumberedReply) {
    FakeRtmpServer server;
    server.onCommand = [](FakeRtmpServer& s, const std::vector<AmfValue>& c) {
        std::vector<uint8_t> p;
        if (c[0].text == "connect") {
            s.sendResult(1, {});
            amf0WriteString(p, "onBWDone");
            amf0WriteNumber(p, 0);
            amf0WriteNull(p);
            s.sendCommand(p);
            return;
        }
        if (c[0].text == "FCPublish") {
            amf0WriteString(p, "onFCPublish");
            s.sendCommand(p);
            p.clear();
            amf0WriteString(p, "_error");
            s.sendCommand(p);
            p.clear();
            amf0WriteString(p, "_result");
            amf0WriteString(p, "4");
            s.sendCommand(p);
            return;
        }
        FakeRtmpServer::standardReplies(s, c);
    };
    server.dribble = 5;
    auto session = sessionFor(server);
    EXPECT_EQ(session->connect(testEndpoint(), "k", media()), "");
    EXPECT_EQ(session->streamId(), 1);
}

TEST(RtmpSession, StreamIdMustBeAPositive32BitWholeNumber) {
    const double bad[] = {0, -1, 1.5, 2147483648.0, std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(), 1e300};
    for (double id : bad) {
        FakeRtmpServer server;
        server.onCommand = [id](FakeRtmpServer& s, const std::vector<AmfValue>& c) {
            if (c[0].text == "createStream") return s.sendStreamId(id);
            FakeRtmpServer::standardReplies(s, c);
        };
        EXPECT_EQ(sessionFor(server)->connect(testEndpoint(), "k", media()), "The server would not create a stream")
            << id;
    }
    FakeRtmpServer text;
    text.onCommand = [](FakeRtmpServer& s, const std::vector<AmfValue>& c) {
        if (c[0].text == "createStream") {
            std::vector<uint8_t> tail;
            amf0WriteString(tail, "1");
            return s.sendResult(4, tail);
        }
        FakeRtmpServer::standardReplies(s, c);
    };
    EXPECT_EQ(sessionFor(text)->connect(testEndpoint(), "k", media()), "The server would not create a stream");

    FakeRtmpServer largest;
    largest.onCommand = [](FakeRtmpServer& s, const std::vector<AmfValue>& c) {
        if (c[0].text == "createStream") return s.sendStreamId(2147483647.0);
        FakeRtmpServer::standardReplies(s, c);
    };
    auto session = sessionFor(largest);
    EXPECT_EQ(session->connect(testEndpoint(), "k", media()), "");
    EXPECT_EQ(session->streamId(), 2147483647);
}

TEST(RtmpSession, HandshakeFailures) {
    FakeRtmpServer silent;
    silent.answerHandshake = false;
    EXPECT_EQ(sessionFor(silent)->connect(testEndpoint(), "k", media()), "The server did not answer the RTMP handshake");
    EXPECT_GT(silent.now, 10000);
    EXPECT_LE(silent.now, 11000);

    FakeRtmpServer foreign;
    foreign.s0 = 6;
    EXPECT_EQ(sessionFor(foreign)->connect(testEndpoint(), "k", media()), "The server does not speak RTMP");

    FakeRtmpServer hangsUp;
    hangsUp.answerHandshake = false;
    hangsUp.closed = true;
    hangsUp.closeText = "The server closed the connection";
    EXPECT_EQ(sessionFor(hangsUp)->connect(testEndpoint(), "k", media()), "The server closed the connection");

    FakeRtmpServer mute;
    mute.onCommand = [](FakeRtmpServer&, const std::vector<AmfValue>&) {};
    EXPECT_EQ(sessionFor(mute)->connect(testEndpoint(), "k", media()), "The server did not answer _result");

    FakeRtmpServer noStatus;
    noStatus.onCommand = [](FakeRtmpServer& s, const std::vector<AmfValue>& c) {
        if (c[0].text != "publish") FakeRtmpServer::standardReplies(s, c);
    };
    EXPECT_EQ(sessionFor(noStatus)->connect(testEndpoint(), "k", media()), "The server did not answer onStatus");
}

// Bytes after S2 in the handshake reply are the start of the chunk stream:
// here the first 7 bytes of a Set Chunk Size, whose rest follows later.
TEST(RtmpSession, BytesAfterTheHandshakeReachTheChunkReader) {
    FakeRtmpServer server;
    std::vector<uint8_t> setChunk;
    RtmpMessage m;
    m.typeId = 1;
    m.chunkStreamId = 2;
    m.payload = {0, 0, 0x10, 0};
    rtmpWriteMessage(setChunk, m, 128);
    server.afterHandshake.assign(setChunk.begin(), setChunk.begin() + 7);
    server.onCommand = [setChunk](FakeRtmpServer& s, const std::vector<AmfValue>& c) {
        if (c[0].text == "connect") {
            s.toClient.insert(s.toClient.end(), setChunk.begin() + 7, setChunk.end());
            s.serverChunkSize = 4096;
            // A reply longer than 128 bytes only parses with the new size.
            s.sendResult(1, FakeRtmpServer::info("status", "NetConnection.Connect.Success", std::string(300, 'x')));
            return;
        }
        FakeRtmpServer::standardReplies(s, c);
    };
    EXPECT_EQ(sessionFor(server)->connect(testEndpoint(), "k", media()), "");
}

TEST(RtmpSession, AnswersPingsAndAcknowledgesHalfTheWindow) {
    FakeRtmpServer server;
    auto session = sessionFor(server);
    ASSERT_EQ(session->connect(testEndpoint(), "k", media()), "");
    server.received.clear();
    server.sendMessage(4, 2, 0, {0x00, 0x06, 0x01, 0x02, 0x03, 0x04});
    ASSERT_TRUE(session->pump());
    auto pong = server.receivedOfType(4);
    ASSERT_EQ(pong.size(), 1u);
    EXPECT_EQ(pong[0].chunkStreamId, 2u);
    EXPECT_EQ(pong[0].payload, (std::vector<uint8_t>{0x00, 0x07, 0x01, 0x02, 0x03, 0x04}));

    // Audio the server echoes (ignored) until 1,250,000 bytes have arrived.
    std::vector<uint8_t> filler(1000, 0);
    for (int i = 0; i < 1400 && server.receivedOfType(3).empty(); ++i) {
        server.sendMessage(8, 7, 1, filler);
        ASSERT_TRUE(session->pump());
    }
    auto acks = server.receivedOfType(3);
    ASSERT_EQ(acks.size(), 1u);
    const auto& a = acks[0].payload;
    const uint32_t acked = uint32_t(a[0]) << 24 | a[1] << 16 | a[2] << 8 | a[3];
    EXPECT_GE(acked, 1250000u);
    EXPECT_LT(acked, 1250000u + 1100u);

    // A smaller window from the server brings the next one sooner.
    server.sendMessage(5, 2, 0, {0, 0, 0x27, 0x10});  // 10,000
    ASSERT_TRUE(session->pump());
    for (int i = 0; i < 6; ++i) {
        server.sendMessage(8, 7, 1, filler);
        ASSERT_TRUE(session->pump());
    }
    EXPECT_GE(server.receivedOfType(3).size(), 2u);
}

TEST(RtmpSession, ChatterWhilePublishingStaysBounded) {
    FakeRtmpServer server;
    auto session = sessionFor(server);
    ASSERT_EQ(session->connect(testEndpoint(), "k", media()), "");
    for (int i = 0; i < 1000; ++i) {
        std::vector<uint8_t> p;
        amf0WriteString(p, "onBWDone");
        amf0WriteNumber(p, i);
        server.sendCommand(p);
        if (i % 100 == 0) {
            ASSERT_TRUE(session->pump());
        }
    }
    while (!server.toClient.empty()) ASSERT_TRUE(session->pump());
    EXPECT_LE(session->pendingCommandCount(), RtmpSession::kMaxPendingCommands);
}

TEST(RtmpSession, UnreadableServerBytesEndTheStream) {
    FakeRtmpServer server;
    auto session = sessionFor(server);
    ASSERT_EQ(session->connect(testEndpoint(), "k", media()), "");
    server.sendMessage(1, 2, 0, {0, 0, 0, 0});  // chunk size 0
    EXPECT_FALSE(session->pump());
    EXPECT_EQ(session->error(), "The server sent something unreadable");

    FakeRtmpServer huge;
    huge.onCommand = [](FakeRtmpServer& s, const std::vector<AmfValue>& c) {
        if (c[0].text == "connect") {
            // 200 bytes announced, then a header shrinking the message to 50.
            const uint8_t start[] = {0x03, 0, 0, 0, 0, 0, 200, 20, 0, 0, 0, 0};
            s.toClient.insert(s.toClient.end(), start, start + sizeof start);
            s.toClient.insert(s.toClient.end(), 128, 0);
            const uint8_t shrink[] = {0x43, 0, 0, 0, 0, 0, 50, 20};
            s.toClient.insert(s.toClient.end(), shrink, shrink + sizeof shrink);
        }
    };
    EXPECT_EQ(sessionFor(huge)->connect(testEndpoint(), "k", media()), "The server sent something unreadable");
}

TEST(RtmpSession, StreamFailuresCarryTheStreamsText) {
    FakeRtmpServer server;
    auto session = sessionFor(server);
    ASSERT_EQ(session->connect(testEndpoint(), "k", media()), "");
    server.closed = true;
    server.closeText = "Connection lost";
    EXPECT_FALSE(session->sendMedia(9, 0, std::vector<uint8_t>{0x17}));
    EXPECT_EQ(session->error(), "Connection lost");
}

TEST(RtmpSession, AbortAlwaysLeavesAText) {
    // Aborted while waiting for the connect reply: the closed stream gives no
    // text of its own, yet the result must not read as success.
    FakeRtmpServer server;
    RtmpSession* current = nullptr;
    server.onCommand = [&current](FakeRtmpServer&, const std::vector<AmfValue>& c) {
        if (c[0].text == "connect") current->abort();
    };
    auto session = sessionFor(server);
    current = session.get();
    EXPECT_EQ(session->connect(testEndpoint(), "k", media()), "Stopped");

    // Aborted before the stream opened.
    FakeRtmpServer early;
    RtmpSession* pending = nullptr;
    RtmpSession beforeOpen(
        [&](const std::string&, int, bool, int, std::string&, const std::atomic<bool>*) {
            pending->abort();
            return std::make_unique<FakeStream>(early);
        },
        [&early] { return early.now; });
    pending = &beforeOpen;
    EXPECT_EQ(beforeOpen.connect(testEndpoint(), "k", media()), "Stopped");
    EXPECT_EQ(early.clientBytes, 0u);

    // Aborted while publishing.
    FakeRtmpServer live;
    auto publishing = sessionFor(live);
    ASSERT_EQ(publishing->connect(testEndpoint(), "k", media()), "");
    publishing->abort();
    EXPECT_FALSE(publishing->sendMedia(9, 0, std::vector<uint8_t>{0x17}));
    EXPECT_EQ(publishing->error(), "Stopped");
    EXPECT_FALSE(publishing->pump());
    EXPECT_EQ(publishing->error(), "Stopped");
}

// Closing with the server's replies unread would reset the connection, so the
// session ends its sending first and reads the replies up to the server's own
// end, never longer than the drain bound. A server that cannot take the goodbye
// gets no more of it. (A stop cuts the drain short: see the live end-to-end tests.)
TEST(RtmpSession, CloseEndsSendingThenDrainsTheRepliesWithABound) {
    enum Peer { kHangsUp, kStaysOpen, kGone };
    const struct {
        Peer peer;
        const char* lastCommand;
        int64_t drainMs;
    } cases[] = {{kHangsUp, "deleteStream", 0},
                 {kStaysOpen, "deleteStream", RtmpSession::kCloseDrainMs},
                 {kGone, "publish", 0}};
    for (const auto& c : cases) {
        FakeRtmpServer server;
        server.onCommand = [](FakeRtmpServer& s, const std::vector<AmfValue>& cmd) {
            if (cmd[0].text == "deleteStream") s.sendStatus("status", "NetStream.Unpublish.Success", "Stopped");
            FakeRtmpServer::standardReplies(s, cmd);
        };
        server.hangUpOnEnd = c.peer == kHangsUp;
        server.dribble = 7;
        auto session = sessionFor(server);
        ASSERT_EQ(session->connect(testEndpoint(), "k", media()), "");
        server.closed = c.peer == kGone;
        const int64_t before = server.now;
        session->close();
        EXPECT_EQ(names(server).back(), c.lastCommand) << c.peer;
        EXPECT_EQ(server.clientEnded, c.peer != kGone) << c.peer;
        EXPECT_TRUE(server.clientClosed) << c.peer;
        if (c.peer != kGone) EXPECT_EQ(server.unreadAtClose, 0u) << c.peer;
        EXPECT_EQ(server.refusedWrites, c.peer == kGone ? 1 : 0) << c.peer;
        EXPECT_EQ(server.now - before, c.drainMs) << c.peer;
    }
}

TEST(RtmpSession, OverlongKeyIsRefusedBeforeConnecting) {
    FakeRtmpServer server;
    bool opened = false;
    RtmpSession session(
        [&](const std::string&, int, bool, int, std::string&, const std::atomic<bool>*) {
            opened = true;
            return std::make_unique<FakeStream>(server);
        },
        [&server] { return server.now; });
    EXPECT_EQ(session.connect(testEndpoint(), std::string(65536, 'k'), media()), "The stream key is too long");
    EXPECT_FALSE(opened);
}

TEST(RtmpSession, OpenFailureTextIsPassedOn) {
    RtmpSession session(
        [](const std::string& host, int port, bool, int, std::string& error, const std::atomic<bool>*) {
            error = "Could not connect to " + host + ":" + std::to_string(port);
            return std::unique_ptr<ByteStream>();
        },
        [] { return int64_t(0); });
    EXPECT_EQ(session.connect(testEndpoint(), "k", media()), "Could not connect to 127.0.0.1:1935");
}

TEST(RtmpStatus, DescriptionThenCodeThenRefused) {
    std::vector<AmfValue> values(2);
    values[0].kind = AmfValue::String;
    values[0].text = "_error";
    EXPECT_EQ(statusDescription(values), "refused");
    values[1].kind = AmfValue::Object;
    AmfProperty code{"code", {}};
    code.value.kind = AmfValue::String;
    code.value.text = "C";
    values[1].properties.push_back(code);
    EXPECT_EQ(statusDescription(values), "C");
    AmfProperty desc{"description", {}};
    desc.value.kind = AmfValue::String;
    desc.value.text = "D";
    values[1].properties.push_back(desc);
    EXPECT_EQ(statusDescription(values), "D");
}

}  // namespace
