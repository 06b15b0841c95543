// Phone video datagrams: the parser's bounds, reassembly with loss, late,
// duplicate and restarted numbering, the wrap of the numbers, the key-frame
// request pacing, and the UDP service answering probes and filling the phone
// feed over real sockets.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <tuple>

#include "remote/discovery.h"
#include "remote/os_random.h"
#include "remote/phone_video.h"
#include "remote/udp_socket.h"
#include "remote/phone_datagrams.h"
#include "remote/ws_client.h"

namespace {

constexpr uint32_t kSession = 0xA1B2C3D4;

std::vector<uint8_t> datagram(uint32_t session, uint32_t frame, uint16_t index, uint16_t count, bool key,
                              const std::string& payload, int rotation = 0) {
    std::vector<uint8_t> d = phoneDatagramHeader(session, frame, index, count, key, rotation);
    d.insert(d.end(), payload.begin(), payload.end());
    return d;
}

// Feeds one fragment; returns the delivered frame as text, or "-" when none came out.
std::string feed(PhoneVideoAssembler& a, uint32_t frame, uint16_t index, uint16_t count, bool key,
                 const std::string& payload) {
    const auto d = datagram(a.session, frame, index, count, key, payload);
    PhoneVideoPacket p;
    EXPECT_TRUE(parsePhoneVideoPacket(d.data(), d.size(), p));
    std::vector<uint8_t> out;
    bool outKey = false;
    if (!a.addFragment(p, out, outKey)) return "-";
    return std::string(out.begin(), out.end()) + (outKey ? "*" : "");
}

TEST(PhoneVideo, ParserBounds) {
    struct Case {
        std::vector<uint8_t> bytes;
        bool ok;
    };
    auto withVersion = datagram(kSession, 1, 0, 1, false, "x");
    withVersion[2] = 2;
    auto badMagic = datagram(kSession, 1, 0, 1, false, "x");
    badMagic[1] = 'X';
    const Case cases[] = {
        {datagram(kSession, 1, 0, 1, false, ""), false},                       // 16 bytes
        {datagram(kSession, 1, 0, 1, false, "x"), true},                      // 17
        {datagram(kSession, 1, 0, 1, false, std::string(1200, 'x')), true},   // 1216
        {datagram(kSession, 1, 0, 1, false, std::string(1201, 'x')), false},  // 1217
        {datagram(kSession, 1, 0, 0, false, "x"), false},
        {datagram(kSession, 1, 0, 2049, false, "x"), false},
        {datagram(kSession, 1, 2047, 2048, false, "x"), true},
        {datagram(kSession, 1, 3, 3, false, "x"), false},
        {withVersion, false},
        {badMagic, false},
    };
    for (const Case& c : cases) {
        PhoneVideoPacket p;
        EXPECT_EQ(parsePhoneVideoPacket(c.bytes.data(), c.bytes.size(), p), c.ok) << c.bytes.size();
    }
    // Every field at its offset, in network order.
    const auto d = datagram(0x01020304, 0xFFFFFFFE, 0x0107, 0x0209, true, "abc", 3);
    PhoneVideoPacket p;
    ASSERT_TRUE(parsePhoneVideoPacket(d.data(), d.size(), p));
    EXPECT_EQ(std::make_tuple(p.sessionId, p.frameNumber, p.fragmentIndex, p.fragmentCount, p.keyframe, p.rotation),
              std::make_tuple(0x01020304u, 0xFFFFFFFEu, uint16_t(0x0107), uint16_t(0x0209), true, 3));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.payload), p.payloadSize), "abc");
}

TEST(PhoneVideo, ReassemblyWithLossLateFramesRestartsAndTheWrap) {
    struct Step {
        uint32_t frame;
        uint16_t index, count;
        bool key;
        const char* payload;
        const char* out;  // as feed() gives it
        bool waiting;     // a key frame wanted afterwards
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        uint32_t oldestPending = 0;  // checked when pending frames remain
    };
    constexpr uint32_t kTop = 0xFFFFFFFF;
    constexpr uint32_t kJustInGap = 1001 - kPhoneVideoRestartGap + 1;
    const Case cases[] = {
        {"the first frame is a key frame; reverse order, a duplicate and another count; "
         "frame 5 half there when 6 completes is a loss, and its late half is dropped",
         {{1, 0, 1, false, "P1", "-", true},   {2, 2, 3, true, "c", "-", true},    {2, 2, 3, true, "X", "-", true},
          {2, 1, 4, true, "X", "-", true},     {2, 1, 3, true, "b", "-", true},    {2, 0, 3, true, "a", "abc*", false},
          {3, 0, 1, false, "P3", "P3", false}, {5, 0, 2, false, "5a", "-", false}, {6, 0, 1, false, "P6", "-", true},
          {7, 0, 1, false, "P7", "-", true},   {5, 1, 2, false, "5b", "-", true},  {8, 0, 1, true, "K8", "K8*", false},
          {9, 0, 1, false, "P9", "P9", false}}},
        {"a large backward jump is a restart; a forged 0xFFFFFFFF lies far behind and is late; "
         "a forged far-ahead number is taken once, then the real stream is a restart",
         {{1000, 0, 1, true, "K1000", "K1000*", false}, {1001, 0, 1, false, "P1001", "P1001", false},
          {kJustInGap, 0, 1, true, "late", "-", false}, {0, 0, 1, false, "P0", "-", true},
          {1, 0, 1, true, "K1", "K1*", false},          {2, 0, 1, false, "P2", "P2", false},
          {kTop, 0, 1, true, "F", "-", false},          {3, 0, 1, false, "P3", "P3", false},
          {0x40000000, 0, 1, true, "F", "F*", false},   {4, 0, 1, false, "P4", "-", true},
          {5, 0, 1, true, "K5", "K5*", false},          {6, 0, 1, false, "P6", "P6", false},
          {2, 0, 1, true, "K2", "-", false}}},
        {"a phone that restarted at 0 a few frames in is found out on its third frame",
         {{10, 0, 1, true, "K10", "K10*", false}, {11, 0, 1, false, "P11", "P11", false},
          {12, 0, 1, false, "P12", "P12", false}, {0, 0, 2, true, "K0a", "-", false},
          {0, 1, 2, true, "K0b", "-", false},     {1, 0, 1, false, "P1", "-", false},
          {2, 0, 1, false, "P2", "-", true},      {3, 0, 1, false, "P3", "-", true},
          {4, 0, 1, true, "K4", "K4*", false},    {5, 0, 1, false, "P5", "P5", false}}},
        {"late duplicates of two frames between fresh ones change nothing",
         {{10, 0, 2, true, "K", "-", true},         {10, 1, 2, true, "10", "K10*", false},
          {11, 0, 1, false, "P11", "P11", false},   {10, 0, 2, true, "K", "-", false},
          {10, 1, 2, true, "10", "-", false},       {11, 0, 1, false, "P11", "-", false},
          {12, 0, 1, false, "P12", "P12", false},   {11, 0, 1, false, "P11", "-", false},
          {10, 1, 2, true, "10", "-", false},       {13, 0, 1, false, "P13", "P13", false}}},
        {"across the wrap a frame completes in order while the next is pending",
         {{kTop - 1, 0, 1, true, "K", "K*", false}, {0, 0, 2, false, "B", "-", false},
          {kTop, 0, 1, false, "A", "A", false},     {0, 1, 2, false, "b", "Bb", false}}},
        {"nine incomplete frames across the wrap: the oldest is given up and a key frame is wanted",
         {{kTop - 4, 0, 1, true, "K", "K*", false}, {kTop - 3, 0, 2, false, "x", "-", false},
          {kTop - 2, 0, 2, false, "x", "-", false}, {kTop - 1, 0, 2, false, "x", "-", false},
          {kTop, 0, 2, false, "x", "-", false},     {0, 0, 2, false, "x", "-", false},
          {1, 0, 2, false, "x", "-", false},        {2, 0, 2, false, "x", "-", false},
          {3, 0, 2, false, "x", "-", false},        {4, 0, 2, false, "x", "-", true}},
         kTop - 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PhoneVideoAssembler a(kSession);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            EXPECT_EQ(feed(a, s.frame, s.index, s.count, s.key, s.payload), s.out) << "step " << i;
            EXPECT_EQ(a.waitForKeyframe, s.waiting) << "step " << i;
        }
        if (!a.pending.empty()) {
            EXPECT_EQ(a.pending.size(), kPhoneVideoMaxPending);
            EXPECT_EQ(a.pending.begin()->first, c.oldestPending);
        }
    }
}

TEST(PhoneVideo, KeyFrameRequestsGoOutAtMostEvery400Ms) {
    std::atomic<int64_t> now{10000};
    Discovery d([&] { return now.load(); });
    EXPECT_FALSE(d.keyframeRequestDue());  // no feed, no session
    auto phoneFeed = std::make_shared<PhoneFeed>();
    const int port = startOnFreePort(d, phoneFeed, "PC");
    ASSERT_NE(port, 0);
    phoneFeed->keyRequested = true;
    EXPECT_FALSE(d.keyframeRequestDue());  // no session yet
    const uint32_t session = d.newCameraSession();
    EXPECT_NE(session, 0u);
    EXPECT_TRUE(phoneFeed->dropUntilKeyframe);
    EXPECT_TRUE(d.keyframeRequestDue());
    EXPECT_FALSE(d.keyframeRequestDue());  // nothing raised since
    now += 100;
    phoneFeed->keyRequested = true;
    EXPECT_FALSE(d.keyframeRequestDue());
    now += 299;
    phoneFeed->keyRequested = true;
    EXPECT_FALSE(d.keyframeRequestDue());
    now += 1;
    EXPECT_TRUE(d.keyframeRequestDue());
    EXPECT_FALSE(phoneFeed->keyRequested);
    EXPECT_NE(d.newCameraSession(), session);
}

TEST(PhoneVideo, ServiceAnswersProbesAndFillsTheFeed) {
    Discovery d;
    auto phoneFeed = std::make_shared<PhoneFeed>();
    const int port = startOnFreePort(d, phoneFeed, "STUDIO-PC");
    ASSERT_NE(port, 0);
    UdpSocket phone;
    std::string error;
    ASSERT_TRUE(phone.bind(0, false, error)) << error;
    const uint32_t loopback = 0x7F000001;
    auto send = [&](const std::vector<uint8_t>& bytes) {
        ASSERT_TRUE(phone.sendTo(bytes.data(), bytes.size(), loopback, uint16_t(port)));
    };
    auto answer = [&](int timeoutMs) {
        uint8_t buffer[2048];
        uint32_t address = 0;
        uint16_t from = 0;
        const int got = phone.receive(buffer, sizeof buffer, timeoutMs, address, from);
        return got > 0 ? std::string(reinterpret_cast<char*>(buffer), size_t(got)) : std::string();
    };
    // Probes are answered with or without a camera session; anything longer is not a probe.
    send({'Q', 'H', 'H', 'E', 'L', 'L', 'O', '\n'});
    send({'Q', 'H', 'H', 'E', 'L', 'L', 'O'});
    EXPECT_EQ(answer(kTestWaitMs), "QHHERE\nSTUDIO-PC\n" + std::to_string(port) + "\n");
    EXPECT_EQ(answer(300), "");

    // Video of no session, then of another session, is ignored.
    send(datagram(kSession, 1, 0, 1, true, "ignored"));
    const uint32_t session = d.newCameraSession();
    send(datagram(session + 1, 1, 0, 1, true, "ignored"));
    send(datagram(session, 1, 1, 2, true, "-key"));
    send(datagram(session, 1, 1, 2, true, "-key"));
    send(datagram(session, 1, 0, 2, true, "first"));
    send(datagram(session, 2, 0, 1, false, "second", 2));
    PhonePacket packet;
    ASSERT_TRUE(phoneFeed->pop(packet, kTestWaitMs));
    EXPECT_EQ(std::string(packet.data.begin(), packet.data.end()), "first-key");
    EXPECT_TRUE(packet.keyframe);
    ASSERT_TRUE(phoneFeed->pop(packet, kTestWaitMs));
    EXPECT_EQ(std::string(packet.data.begin(), packet.data.end()), "second");
    EXPECT_EQ(packet.rotation, 2);
    EXPECT_GT(phoneFeed->lastPacketMs.load(), 0);
}

TEST(PhoneVideo, AddressListLeavesOutLoopbackAndLinkLocal) {
    for (const char* hidden : {"127.0.0.1", "127.1.2.3", "169.254.0.1"}) EXPECT_TRUE(isHiddenIpv4(hidden));
    for (const char* shown : {"192.168.1.2", "10.0.0.127", "169.25.1.1"}) EXPECT_FALSE(isHiddenIpv4(shown));
    for (const std::string& a : localIpv4Addresses()) EXPECT_FALSE(isHiddenIpv4(a)) << a;
}

}  // namespace
