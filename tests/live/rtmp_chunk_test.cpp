#include "live/rtmp_chunk.h"

#include <gtest/gtest.h>

namespace {

RtmpMessage makeMessage(uint8_t type, uint32_t csid, uint32_t streamId, uint32_t ts, size_t size) {
    RtmpMessage m;
    m.typeId = type;
    m.chunkStreamId = csid;
    m.streamId = streamId;
    m.timestamp = ts;
    m.payload.resize(size);
    for (size_t i = 0; i < size; ++i) m.payload[i] = static_cast<uint8_t>(i * 7 + csid);
    return m;
}

std::vector<RtmpMessage> readAll(RtmpChunkReader& r) {
    std::vector<RtmpMessage> out;
    RtmpMessage m;
    while (r.readMessage(m)) out.push_back(m);
    return out;
}

TEST(RtmpChunkWriter, SplitsAVideoMessageAtTheChunkSize) {
    std::vector<uint8_t> out;
    rtmpWriteMessage(out, makeMessage(9, 6, 1, 40, 10000), 4096);
    ASSERT_EQ(out.size(), 12u + 4096 + 1 + 4096 + 1 + 1808);
    EXPECT_EQ(out[0], 0x06);
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 1, out.begin() + 12),
              (std::vector<uint8_t>{0, 0, 40, 0, 0x27, 0x10, 9, 1, 0, 0, 0}));
    EXPECT_EQ(out[12 + 4096], 0xC6);
    EXPECT_EQ(out[12 + 4096 + 1 + 4096], 0xC6);
}

TEST(RtmpChunkWriter, ExtendedTimestampRepeatsOnContinuations) {
    std::vector<uint8_t> out;
    rtmpWriteMessage(out, makeMessage(8, 7, 1, 0x01000000, 300), 128);
    const std::vector<uint8_t> ext{1, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 1, out.begin() + 4), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 12, out.begin() + 16), ext);
    size_t second = 16 + 128;
    EXPECT_EQ(out[second], 0xC7);
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + second + 1, out.begin() + second + 5), ext);
    size_t third = second + 5 + 128;
    EXPECT_EQ(out[third], 0xC7);
    EXPECT_EQ(out.size(), third + 5 + 44);
}

TEST(RtmpChunkWriter, LongChunkStreamIds) {
    std::vector<uint8_t> out;
    rtmpWriteBasicHeader(out, 0, 300);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x00, 0xEC}));
    out.clear();
    rtmpWriteBasicHeader(out, 0, 400);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x01, 0x50, 0x01}));
    out.clear();
    rtmpWriteMessage(out, makeMessage(20, 3, 0, 0, 0), 128);
    EXPECT_EQ(out.size(), 12u);
}

// Mixed chunk streams with long ids, extended times and interleaved chunks,
// written by the writer, then read back at every split of the input.
TEST(RtmpChunkReader, ReassemblesAtEverySplit) {
    const std::vector<RtmpMessage> sent = {
        makeMessage(20, 3, 0, 0, 190), makeMessage(9, 6, 1, 0x01000000, 700), makeMessage(8, 300, 1, 5, 129),
        makeMessage(18, 400, 1, 0xFFFFFF, 0), makeMessage(9, 6, 1, 0x01000040, 1)};
    std::vector<uint8_t> wire;
    for (const auto& m : sent) rtmpWriteMessage(wire, m, 128);
    for (size_t step : {size_t(1), size_t(2), size_t(3), size_t(7), size_t(128), wire.size()}) {
        RtmpChunkReader r;
        std::vector<RtmpMessage> got;
        for (size_t pos = 0; pos < wire.size(); pos += step) {
            r.append(wire.data() + pos, std::min(step, wire.size() - pos));
            for (auto& m : readAll(r)) got.push_back(std::move(m));
        }
        ASSERT_FALSE(r.failed());
        ASSERT_EQ(got.size(), sent.size()) << step;
        for (size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(got[i].typeId, sent[i].typeId);
            EXPECT_EQ(got[i].chunkStreamId, sent[i].chunkStreamId);
            EXPECT_EQ(got[i].streamId, sent[i].streamId);
            EXPECT_EQ(got[i].timestamp, sent[i].timestamp);
            EXPECT_EQ(got[i].payload, sent[i].payload);
        }
    }
}

TEST(RtmpChunkReader, DeltaHeadersAddOnceWhenFedByteByByte) {
    // fmt 0 at t=100 with 200 bytes (two chunks), then fmt 1 delta 33 with 10 bytes, then fmt 2 delta 33.
    std::vector<uint8_t> wire;
    rtmpWriteMessage(wire, makeMessage(9, 6, 1, 100, 200), 128);
    const uint8_t fmt1[] = {0x46, 0, 0, 33, 0, 0, 10, 9};
    wire.insert(wire.end(), fmt1, fmt1 + sizeof fmt1);
    wire.insert(wire.end(), 10, 0xAB);
    const uint8_t fmt2[] = {0x86, 0, 0, 33};
    wire.insert(wire.end(), fmt2, fmt2 + sizeof fmt2);
    wire.insert(wire.end(), 10, 0xCD);
    RtmpChunkReader r;
    std::vector<RtmpMessage> got;
    for (uint8_t b : wire) {
        r.append(&b, 1);
        for (auto& m : readAll(r)) got.push_back(std::move(m));
    }
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].timestamp, 100u);
    EXPECT_EQ(got[1].timestamp, 133u);
    EXPECT_EQ(got[1].payload.size(), 10u);
    EXPECT_EQ(got[2].timestamp, 166u);
    EXPECT_EQ(got[2].payload, std::vector<uint8_t>(10, 0xCD));
}

TEST(RtmpChunkReader, LargestMessageWaitsAndEmptyInputYieldsNothing) {
    // The 24-bit length field tops out below the 16 MiB limit; the largest
    // message simply waits for its bytes.
    RtmpChunkReader limit;
    const uint8_t largest[] = {0x03, 0, 0, 0, 0xFF, 0xFF, 0xFF, 20, 0, 0, 0, 0, 1, 2};
    limit.append(largest, sizeof largest);
    RtmpMessage m;
    EXPECT_FALSE(limit.readMessage(m));
    EXPECT_FALSE(limit.failed());

    RtmpChunkReader empty;
    EXPECT_FALSE(empty.readMessage(m));
    EXPECT_FALSE(empty.failed());
}

TEST(RtmpChunkReader, ShrinkingHeaderMidMessageFails) {
    // 200 bytes announced; after the first 128 a fmt 1 header claims 50.
    std::vector<uint8_t> wire;
    rtmpWriteMessage(wire, makeMessage(9, 6, 1, 0, 200), 128);
    wire.resize(12 + 128);
    const uint8_t shrink[] = {0x46, 0, 0, 0, 0, 0, 50, 9};
    wire.insert(wire.end(), shrink, shrink + sizeof shrink);
    wire.insert(wire.end(), 100, 0);
    RtmpChunkReader r;
    r.append(wire.data(), wire.size());
    RtmpMessage m;
    EXPECT_FALSE(r.readMessage(m));
    EXPECT_TRUE(r.failed());
    // Failure is sticky: a well-formed message afterwards is not taken.
    std::vector<uint8_t> fine;
    rtmpWriteMessage(fine, makeMessage(20, 3, 0, 0, 4), 128);
    r.append(fine.data(), fine.size());
    EXPECT_FALSE(r.readMessage(m));
}

TEST(RtmpChunkReader, ZeroChunkSizeFails) {
    RtmpChunkReader r;
    r.setChunkSize(0);
    EXPECT_TRUE(r.failed());
    std::vector<uint8_t> wire;
    rtmpWriteMessage(wire, makeMessage(20, 3, 0, 0, 10), 128);
    r.append(wire.data(), wire.size());
    RtmpMessage m;
    EXPECT_FALSE(r.readMessage(m));
}

}  // namespace
