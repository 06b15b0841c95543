// Seeded random inputs for the AMF0 decoder, the chunk reader and the
// session's reply handling. CI runs a short pass; QH_FUZZ_ITERATIONS and
// QH_FUZZ_SEED run longer ones.
#include "live/amf0.h"
#include "live/fake_rtmp_server.h"
#include "live/rtmp_chunk.h"
#include "live/rtmp_session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace {

long envNumber(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtol(v, nullptr, 10) : fallback;
}

long iterations(long ciDefault) { return envNumber("QH_FUZZ_ITERATIONS", ciDefault); }
uint32_t seed() { return static_cast<uint32_t>(envNumber("QH_FUZZ_SEED", 20261208)); }

// Valid material to mutate: typical server replies.
std::vector<uint8_t> amfSeed(std::mt19937& rng) {
    std::vector<uint8_t> p;
    amf0WriteString(p, rng() % 2 ? "_result" : "onStatus");
    amf0WriteNumber(p, rng() % 6);
    amf0WriteNull(p);
    amf0WriteObjectStart(p);
    amf0WriteKey(p, "level");
    amf0WriteString(p, "status");
    amf0WriteKey(p, "nested");
    amf0WriteEcmaArrayStart(p, 1);
    amf0WriteKey(p, "n");
    amf0WriteNumber(p, 1.5);
    amf0WriteObjectEnd(p);
    amf0WriteObjectEnd(p);
    return p;
}

void mutate(std::vector<uint8_t>& data, std::mt19937& rng) {
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits; ++e) {
        const uint32_t what = rng() % 6;
        if (data.empty() || what == 0) {
            data.insert(data.begin() + static_cast<std::ptrdiff_t>(data.empty() ? 0 : rng() % data.size()),
                        static_cast<uint8_t>(rng()));
        } else if (what == 1) {
            data[rng() % data.size()] = static_cast<uint8_t>(rng());
        } else if (what == 2) {
            data[rng() % data.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        } else if (what == 3) {
            data.erase(data.begin() + static_cast<std::ptrdiff_t>(rng() % data.size()));
        } else if (what == 4) {
            const size_t at = rng() % data.size();
            const size_t n = std::min<size_t>(data.size() - at, 1 + rng() % 16);
            std::vector<uint8_t> copy(data.begin() + static_cast<std::ptrdiff_t>(at),
                                      data.begin() + static_cast<std::ptrdiff_t>(at + n));
            data.insert(data.begin() + static_cast<std::ptrdiff_t>(rng() % data.size()), copy.begin(), copy.end());
        } else {
            static const uint8_t interesting[] = {0x00, 0x03, 0x08, 0x09, 0xFF, 0x7F, 0x80, 0x02, 0xC3};
            data[rng() % data.size()] = interesting[rng() % sizeof interesting];
        }
    }
}

TEST(RtmpFuzz, Amf0DecoderSurvivesMutatedReplies) {
    std::mt19937 rng(seed());
    const long n = iterations(20000);
    long decoded = 0;
    for (long i = 0; i < n; ++i) {
        std::vector<uint8_t> data = amfSeed(rng);
        mutate(data, rng);
        std::vector<AmfValue> values;
        if (amf0DecodeAll(data.data(), data.size(), values)) ++decoded;
        for (const AmfValue& v : values) EXPECT_LE(v.kind, AmfValue::Null);
    }
    RecordProperty("decoded", static_cast<int>(decoded));
    EXPECT_GT(decoded, 0);
}

std::vector<uint8_t> chunkSeed(std::mt19937& rng) {
    std::vector<uint8_t> wire;
    const int count = 1 + static_cast<int>(rng() % 5);
    for (int i = 0; i < count; ++i) {
        RtmpMessage m;
        m.typeId = static_cast<uint8_t>(1 + rng() % 20);
        static const uint32_t csids[] = {2, 3, 5, 63, 64, 319, 320, 65599};
        m.chunkStreamId = csids[rng() % 8];
        m.streamId = rng() % 3;
        m.timestamp = rng() % 4 == 0 ? 0xFFFFFF + rng() % 100 : rng() % 5000;
        m.payload.resize(rng() % 400);
        for (auto& b : m.payload) b = static_cast<uint8_t>(rng());
        rtmpWriteMessage(wire, m, 128);
    }
    return wire;
}

struct ReadResult {
    std::vector<RtmpMessage> messages;
    bool failed = false;
};

ReadResult readSplit(const std::vector<uint8_t>& wire, const std::vector<size_t>& cuts, uint32_t chunkSize) {
    RtmpChunkReader r;
    r.setChunkSize(chunkSize);
    ReadResult out;
    size_t pos = 0;
    auto feed = [&](size_t end) {
        r.append(wire.data() + pos, end - pos);
        pos = end;
        RtmpMessage m;
        while (r.readMessage(m)) out.messages.push_back(m);
    };
    for (size_t cut : cuts) feed(cut);
    feed(wire.size());
    out.failed = r.failed();
    return out;
}

// Whatever the bytes, the split of the input into reads never changes what
// the reader yields or whether it fails.
TEST(RtmpFuzz, ChunkReaderIsIndependentOfHowBytesArrive) {
    std::mt19937 rng(seed() + 1);
    const long n = iterations(5000);
    long failures = 0;
    for (long i = 0; i < n; ++i) {
        std::vector<uint8_t> wire = chunkSeed(rng);
        mutate(wire, rng);
        const uint32_t chunkSize = rng() % 8 == 0 ? 1 + rng() % 300 : 128;
        std::vector<size_t> cuts;
        for (size_t at = 0; at < wire.size(); at += 1 + rng() % 40) cuts.push_back(at);
        const ReadResult whole = readSplit(wire, {}, chunkSize);
        const ReadResult pieces = readSplit(wire, cuts, chunkSize);
        if (whole.failed) ++failures;
        ASSERT_EQ(whole.failed, pieces.failed) << "iteration " << i;
        ASSERT_EQ(whole.messages.size(), pieces.messages.size()) << "iteration " << i;
        for (size_t k = 0; k < whole.messages.size(); ++k) {
            ASSERT_EQ(whole.messages[k].payload, pieces.messages[k].payload) << "iteration " << i;
            ASSERT_EQ(whole.messages[k].timestamp, pieces.messages[k].timestamp) << "iteration " << i;
            ASSERT_LE(whole.messages[k].payload.size(), kRtmpMaxMessageLength);
        }
    }
    RecordProperty("failures", static_cast<int>(failures));
}

// A server whose replies are mangled: every connect ends with a text, never
// a crash, a hang or an empty success without the start status.
TEST(RtmpFuzz, SessionSurvivesMangledReplies) {
    std::mt19937 rng(seed() + 2);
    const long n = iterations(20000) / 20;
    long published = 0;
    for (long i = 0; i < n; ++i) {
        FakeRtmpServer server;
        bool sawPublish = false;
        server.onCommand = [&](FakeRtmpServer& s, const std::vector<AmfValue>& c) {
            const size_t before = s.toClient.size();
            FakeRtmpServer::standardReplies(s, c);
            if (c[0].text == "publish") sawPublish = true;
            if (rng() % 2 && s.toClient.size() > before) {
                std::vector<uint8_t> tail(s.toClient.begin() + static_cast<std::ptrdiff_t>(before), s.toClient.end());
                mutate(tail, rng);
                s.toClient.resize(before);
                s.toClient.insert(s.toClient.end(), tail.begin(), tail.end());
            }
        };
        server.dribble = rng() % 3 == 0 ? 1 + rng() % 20 : 0;
        auto session = sessionFor(server);
        const std::string result = session->connect(testEndpoint(), "k", StreamMetadata{});
        if (result.empty()) {
            ++published;
            EXPECT_TRUE(sawPublish);
            EXPECT_GE(session->streamId(), 1);
        }
    }
    RecordProperty("published", static_cast<int>(published));
}

}  // namespace
