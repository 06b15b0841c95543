// Publishing to real servers: nginx's RTMP module and ffmpeg as a listener,
// both started by the peer supervisor on loopback ports of its choosing.
#include "e2e/rtmp/canned_media.h"
#include "e2e/rtmp/peer_control.h"
#include "live/rtmp_session.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

constexpr const char* kPeers = "e2e-peers";
// Where the server's messages start: after S0, S1 and S2.
constexpr size_t kAfterHandshake = 1 + 2 * kRtmpHandshakeSize;

std::map<std::string, std::string> probe(PeerControl& peers, const std::string& linuxPath) {
    std::map<std::string, std::string> out;
    for (const std::string& field : peers.call("probe", {linuxPath})) {
        size_t eq = field.find('=');
        if (eq != std::string::npos) out[field.substr(0, eq)] = field.substr(eq + 1);
    }
    return out;
}

void expectRecording(PeerControl& peers, const std::string& file, const PublishCounts& sent) {
    auto info = probe(peers, file);
    ASSERT_FALSE(info.empty()) << peers.error();
    EXPECT_EQ(info["v_codec"], "h264");
    EXPECT_EQ(info["a_codec"], "aac");
    EXPECT_EQ(info["a_rate"], "48000");
    EXPECT_EQ(info["a_channels"], "2");
    EXPECT_EQ(info["v_packets"], std::to_string(sent.video));
    EXPECT_EQ(info["a_packets"], std::to_string(sent.audio));
    EXPECT_EQ(info["v_first"], "0");
    EXPECT_EQ(info["a_first"], "0");
    EXPECT_EQ(info["v_rising"], "1");
    EXPECT_EQ(info["a_rising"], "1");
}

class RtmpE2e : public ::testing::Test {
protected:
    void SetUp() override {
        peers_ = std::make_unique<PeerControl>(kPeers);
        media_ = peers_->call("media", {"4", "1000"});
        ASSERT_EQ(media_.size(), 2u) << peers_->error();
        std::string error;
        ASSERT_TRUE(loadCannedMedia(PeerControl::localPath(media_[0]), PeerControl::localPath(media_[1]), 30, packets_,
                                    error))
            << error;
    }

    RtmpEndpoint endpoint(const std::string& url) {
        RtmpEndpoint ep;
        std::string error;
        EXPECT_TRUE(parseRtmpUrl(url, ep, error)) << error;
        return ep;
    }

    // Takes every whole message, following the server's chunk size changes
    // as the session does.
    static void takeMessages(RtmpChunkReader& reader, std::vector<RtmpMessage>& out) {
        RtmpMessage m;
        while (reader.readMessage(m)) {
            if (m.typeId == kRtmpSetChunkSize && m.payload.size() >= 4)
                reader.setChunkSize((uint32_t(m.payload[0]) << 24 | m.payload[1] << 16 | m.payload[2] << 8 |
                                     m.payload[3]) & 0x7FFFFFFF);
            out.push_back(m);
        }
    }

    // Server-to-client bytes after the handshake, in two reads cut at split.
    static std::vector<RtmpMessage> parseServerBytes(const std::vector<uint8_t>& bytes, size_t split) {
        RtmpChunkReader reader;
        std::vector<RtmpMessage> out;
        reader.append(bytes.data() + kAfterHandshake, split - kAfterHandshake);
        takeMessages(reader, out);
        reader.append(bytes.data() + split, bytes.size() - split);
        takeMessages(reader, out);
        EXPECT_FALSE(reader.failed());
        return out;
    }

    static void expectReplayIdentical(const std::vector<uint8_t>& bytes) {
        ASSERT_GT(bytes.size(), kAfterHandshake);
        const std::vector<RtmpMessage> whole = parseServerBytes(bytes, bytes.size());
        ASSERT_GE(whole.size(), 3u);
        for (size_t split = kAfterHandshake; split <= bytes.size(); ++split) {
            const std::vector<RtmpMessage> parts = parseServerBytes(bytes, split);
            ASSERT_EQ(parts.size(), whole.size()) << split;
            for (size_t i = 0; i < whole.size(); ++i) {
                ASSERT_EQ(parts[i].typeId, whole[i].typeId) << split;
                ASSERT_EQ(parts[i].chunkStreamId, whole[i].chunkStreamId) << split;
                ASSERT_EQ(parts[i].payload, whole[i].payload) << split;
            }
        }
        // Byte by byte as well.
        RtmpChunkReader reader;
        std::vector<RtmpMessage> single;
        for (size_t i = kAfterHandshake; i < bytes.size(); ++i) {
            reader.append(&bytes[i], 1);
            takeMessages(reader, single);
        }
        const size_t count = single.size();
        EXPECT_EQ(count, whole.size());
    }

    std::unique_ptr<PeerControl> peers_;
    std::vector<std::string> media_;
    std::vector<CannedPacket> packets_;
};

TEST_F(RtmpE2e, NginxRecordsEveryPacketSent) {
    auto nginx = peers_->call("nginx");
    ASSERT_EQ(nginx.size(), 3u) << peers_->error();
    LoggingRelay relay("127.0.0.1", std::stoi(nginx[1]));
    PublishCounts sent;
    ASSERT_EQ(publishAll(endpoint("rtmp://127.0.0.1:" + std::to_string(relay.port()) + "/live"), "e2e",
                         cannedMetadata(640, 360, 1000), packets_, sent),
              "");
    relay.finish();
    ASSERT_FALSE(peers_->call("stop", {nginx[0]}).empty()) << peers_->error();
    EXPECT_EQ(sent.video, 120);
    expectRecording(*peers_, nginx[2] + "/e2e.flv", sent);
    expectReplayIdentical(relay.serverBytes());
}

TEST_F(RtmpE2e, NginxRefusesAKeyThatIsAlreadyLive) {
    auto nginx = peers_->call("nginx");
    ASSERT_EQ(nginx.size(), 3u) << peers_->error();
    const RtmpEndpoint ep = endpoint("rtmp://127.0.0.1:" + nginx[1] + "/live/");
    RtmpSession first;
    ASSERT_EQ(first.connect(ep, "twice", cannedMetadata(640, 360, 1000)), "");
    RtmpSession second;
    const std::string refused = second.connect(ep, "twice", cannedMetadata(640, 360, 1000));
    EXPECT_EQ(refused.rfind("Stream key refused: ", 0), 0u) << refused;
    EXPECT_NE(refused.find("Already publishing"), std::string::npos) << refused;
    first.close();
    peers_->call("stop", {nginx[0]});
}

TEST_F(RtmpE2e, FfmpegListenerRecordsEveryPacketSent) {
    auto ffmpeg = peers_->call("ffmpeg", {"app", "key"});
    ASSERT_EQ(ffmpeg.size(), 3u) << peers_->error();
    LoggingRelay relay("127.0.0.1", std::stoi(ffmpeg[1]));
    PublishCounts sent;
    ASSERT_EQ(publishAll(endpoint("rtmp://127.0.0.1:" + std::to_string(relay.port()) + "/app"), "key",
                         cannedMetadata(640, 360, 1000), packets_, sent),
              "");
    relay.finish();
    auto exit = peers_->call("wait", {ffmpeg[0], "60"});
    ASSERT_FALSE(exit.empty()) << peers_->error();
    EXPECT_EQ(exit[0], "0");
    expectRecording(*peers_, ffmpeg[2], sent);
    expectReplayIdentical(relay.serverBytes());
}

TEST_F(RtmpE2e, NothingListeningGivesTheConnectText) {
    const int port = findFreePort();
    RtmpSession session;
    EXPECT_EQ(session.connect(endpoint("rtmp://127.0.0.1:" + std::to_string(port) + "/live"), "k",
                              cannedMetadata(640, 360, 1000)),
              "Could not connect to 127.0.0.1:" + std::to_string(port));
}

}  // namespace
