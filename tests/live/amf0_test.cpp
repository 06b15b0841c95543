#include "live/amf0.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> list) {
    std::vector<uint8_t> v;
    for (int b : list) v.push_back(static_cast<uint8_t>(b));
    return v;
}

TEST(Amf0, DecodesAResultReply) {
    auto in = bytes({0x02, 0x00, 0x07, '_', 'r', 'e', 's', 'u', 'l', 't', 0x00, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0x05});
    std::vector<AmfValue> out;
    ASSERT_TRUE(amf0DecodeAll(in.data(), in.size(), out));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].kind, AmfValue::String);
    EXPECT_EQ(out[0].text, "_result");
    EXPECT_EQ(out[1].kind, AmfValue::Number);
    EXPECT_EQ(out[1].number, 1.0);
    EXPECT_EQ(out[2].kind, AmfValue::Null);
}

TEST(Amf0, EcmaArrayReadsAsObjectAndUndefinedAsNull) {
    auto in = bytes({0x08, 0, 0, 0, 1, 0x00, 0x01, 'a', 0x00, 0x40, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x09, 0x06});
    std::vector<AmfValue> out;
    ASSERT_TRUE(amf0DecodeAll(in.data(), in.size(), out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].kind, AmfValue::Object);
    ASSERT_NE(out[0].property("a"), nullptr);
    EXPECT_EQ(out[0].property("a")->number, 2.0);
    EXPECT_EQ(out[0].property("b"), nullptr);
    EXPECT_EQ(out[1].kind, AmfValue::Null);
}

TEST(Amf0, UnsupportedMarkerFailsButKeepsEarlierValues) {
    auto in = bytes({0x05, 0x01, 0x01, 0x0A, 0, 0, 0, 0});
    std::vector<AmfValue> out;
    EXPECT_FALSE(amf0DecodeAll(in.data(), in.size(), out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].kind, AmfValue::Boolean);
    EXPECT_TRUE(out[1].flag);
    std::vector<AmfValue> none;
    EXPECT_TRUE(amf0DecodeAll(nullptr, 0, none));
    EXPECT_TRUE(none.empty());
}

TEST(Amf0, WritersProduceTheExactBytes) {
    std::vector<uint8_t> out;
    amf0WriteNumber(out, 4096);
    EXPECT_EQ(out, bytes({0x00, 0x40, 0xB0, 0, 0, 0, 0, 0, 0}));
    out.clear();
    amf0WriteEcmaArrayStart(out, 8);
    amf0WriteKey(out, "w");
    amf0WriteNull(out);
    amf0WriteObjectEnd(out);
    amf0WriteU16(out, 0x1234);
    EXPECT_EQ(out, bytes({0x08, 0, 0, 0, 8, 0, 1, 'w', 0x05, 0, 0, 9, 0x12, 0x34}));
}

TEST(Amf0, NestedObjectsRoundTripAndEveryTruncationFails) {
    std::vector<uint8_t> in;
    amf0WriteString(in, "onStatus");
    amf0WriteNumber(in, 0);
    amf0WriteNull(in);
    amf0WriteObjectStart(in);
    amf0WriteKey(in, "level");
    amf0WriteString(in, "status");
    amf0WriteKey(in, "");
    amf0WriteObjectStart(in);
    amf0WriteKey(in, "deep");
    amf0WriteNumber(in, -2.5);
    amf0WriteObjectEnd(in);
    amf0WriteObjectEnd(in);
    std::vector<AmfValue> out;
    ASSERT_TRUE(amf0DecodeAll(in.data(), in.size(), out));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[3].property("level")->text, "status");
    ASSERT_NE(out[3].property(""), nullptr);
    EXPECT_EQ(out[3].property("")->property("deep")->number, -2.5);
    // The last value is an object: no prefix of it may decode as a whole.
    const size_t objectStart = in.size() - (1 + 2 + 5 + 1 + 2 + 6 + 2 + 1 + 2 + 4 + 9 + 3 + 3);
    for (size_t n = objectStart + 1; n < in.size(); ++n) {
        std::vector<AmfValue> part;
        EXPECT_FALSE(amf0DecodeAll(in.data(), n, part)) << n;
        EXPECT_EQ(part.size(), 3u);
    }
}

TEST(Amf0, DeepNestingFailsCleanly) {
    // 16 MiB of objects each holding an empty-keyed object.
    std::vector<uint8_t> in;
    in.reserve(16u << 20);
    while (in.size() + 3 <= (16u << 20)) {
        in.push_back(0x03);
        in.push_back(0x00);
        in.push_back(0x00);
    }
    std::vector<AmfValue> out;
    EXPECT_FALSE(amf0DecodeAll(in.data(), in.size(), out));
    EXPECT_TRUE(out.empty());
    // A nesting just inside the limit still reads.
    std::vector<uint8_t> ok;
    for (int i = 0; i < kAmf0MaxDepth; ++i) {
        ok.push_back(0x03);
        if (i + 1 < kAmf0MaxDepth) amf0WriteKey(ok, "k");
    }
    for (int i = 0; i < kAmf0MaxDepth; ++i) amf0WriteObjectEnd(ok);
    EXPECT_TRUE(amf0DecodeAll(ok.data(), ok.size(), out));
    // A run of bare object markers never reaches the end marker.
    std::vector<uint8_t> markers(16u << 20, 0x03);
    out.clear();
    EXPECT_FALSE(amf0DecodeAll(markers.data(), markers.size(), out));
}

TEST(Amf0, OverlongStringsAreCutToTheLimit) {
    std::vector<uint8_t> out;
    amf0WriteString(out, std::string(70000, 'x'));
    ASSERT_EQ(out.size(), 3u + kAmf0MaxString);
    std::vector<AmfValue> values;
    ASSERT_TRUE(amf0DecodeAll(out.data(), out.size(), values));
    EXPECT_EQ(values[0].text.size(), kAmf0MaxString);
}

}  // namespace
