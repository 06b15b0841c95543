#include "live/flv.h"

#include <gtest/gtest.h>

TEST(FlvBodies, AacHeaderAndFrame) {
    EXPECT_EQ(flvAacSequenceHeader({0x11, 0x90}), (std::vector<uint8_t>{0xAF, 0x00, 0x11, 0x90}));
    const uint8_t frame[] = {0x21, 0x10, 0x04};
    EXPECT_EQ(flvAacFrame(frame, sizeof frame), (std::vector<uint8_t>{0xAF, 0x01, 0x21, 0x10, 0x04}));
    EXPECT_EQ(flvAacFrame(nullptr, 0), (std::vector<uint8_t>{0xAF, 0x01}));
    EXPECT_EQ(appendAndTake({1, 2}, frame, 1), (std::vector<uint8_t>{1, 2, 0x21}));
}

TEST(FlvBodies, AvcTagsHaveTheFiveByteVideoHeader) {
    using Bytes = std::vector<uint8_t>;
    EXPECT_EQ(flvAvcSequenceHeaderTag(Bytes{1, 2}), (Bytes{0x17, 0, 0, 0, 0, 1, 2}));
    EXPECT_EQ(flvAvcNaluTag(Bytes{0, 0, 0, 1, 0x65}, true), (Bytes{0x17, 1, 0, 0, 0, 0, 0, 0, 1, 0x65}));
    EXPECT_EQ(flvAvcNaluTag(Bytes{9}, false), (Bytes{0x27, 1, 0, 0, 0, 9}));
}
