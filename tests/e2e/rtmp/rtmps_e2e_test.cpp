// RTMPS through stunnel in front of nginx. The test machine's Wine prefix
// is told to trust stunnel's throw-away certificate, as an operator would
// install a private CA; the product's own checks stay as they are.
#include "e2e/rtmp/canned_media.h"
#include "e2e/rtmp/peer_control.h"

#include <gtest/gtest.h>

#include "e2e/rtmp/trust.h"

#include <fstream>
#include <iterator>
#include <map>

namespace {

TEST(RtmpsE2e, NginxBehindStunnelRecordsTheSecurePublish) {
    PeerControl peers("e2e-peers");
    auto media = peers.call("media", {"4", "1000"});
    ASSERT_EQ(media.size(), 2u) << peers.error();
    std::vector<CannedPacket> packets;
    std::string error;
    ASSERT_TRUE(loadCannedMedia(PeerControl::localPath(media[0]), PeerControl::localPath(media[1]), 30, packets, error))
        << error;
    auto nginx = peers.call("nginx");
    ASSERT_EQ(nginx.size(), 3u) << peers.error();
    auto tunnel = peers.call("stunnel", {nginx[1]});
    ASSERT_EQ(tunnel.size(), 3u) << peers.error();
    ASSERT_TRUE(trustTestCertificate(PeerControl::localPath(tunnel[2]), error)) << error;

    RtmpEndpoint ep;
    ASSERT_TRUE(parseRtmpUrl("rtmps://localhost:" + tunnel[1] + "/live", ep, error)) << error;
    ASSERT_TRUE(ep.tls);
    PublishCounts sent;
    ASSERT_EQ(publishAll(ep, "secure", cannedMetadata(640, 360, 1000), packets, sent), "");
    // nginx first: it lets go once stunnel has handed over every byte.
    peers.call("stop", {nginx[0]});
    peers.call("stop", {tunnel[0]});
    // The publish ended with a close notify, not with a reset of the socket.
    std::ifstream logFile(PeerControl::localPath(tunnel[2].substr(0, tunnel[2].rfind('/')) + "/stunnel.log"));
    const std::string log{std::istreambuf_iterator<char>(logFile), std::istreambuf_iterator<char>()};
    EXPECT_NE(log.find("TLS alert (read): warning: close notify"), std::string::npos);
    EXPECT_EQ(log.find("Connection reset by peer"), std::string::npos);
    std::map<std::string, std::string> info;
    for (const std::string& field : peers.call("probe", {nginx[2] + "/secure.flv"})) {
        size_t eq = field.find('=');
        if (eq != std::string::npos) info[field.substr(0, eq)] = field.substr(eq + 1);
    }
    ASSERT_FALSE(info.empty()) << peers.error();
    EXPECT_EQ(info["v_packets"], std::to_string(sent.video));
    EXPECT_EQ(info["a_packets"], std::to_string(sent.audio));
    EXPECT_EQ(info["v_first"], "0");
    EXPECT_EQ(info["a_rate"], "48000");
}

}  // namespace
