#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "media/text_layout.h"

namespace {

const std::string kSep = "\x1f";

TEST(BoxTextLayout, ReadsAuthorMessageAndColourInOrder) {
  const auto lines = layoutBoxText("ann" + kSep + "hello" + kSep + "1\nbob" + kSep + "hi there" + kSep + "2");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].author, "ann");
  EXPECT_EQ(lines[0].message, "hello");
  EXPECT_EQ(lines[0].colourIndex, 1);
  EXPECT_EQ(lines[1].author, "bob");
  EXPECT_EQ(lines[1].colourIndex, 2);
}

TEST(BoxTextLayout, SkipsLinesWithoutTwoSeparators) {
  EXPECT_TRUE(layoutBoxText("").empty());
  EXPECT_TRUE(layoutBoxText("\n\n\n").empty());
  EXPECT_TRUE(layoutBoxText("a" + kSep + "b").empty());
  EXPECT_TRUE(layoutBoxText("plain chat text with no separators").empty());
  const auto lines = layoutBoxText("a" + kSep + kSep + "2\nnoise\n" + kSep + kSep);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].author, "a");
  EXPECT_EQ(lines[0].message, "");
  EXPECT_EQ(lines[0].colourIndex, 2);
  EXPECT_EQ(lines[1].author, "");
  EXPECT_EQ(lines[1].colourIndex, 0);
}

TEST(BoxTextLayout, HostileColourIndexesSaturateAndStayInTheTable) {
  const auto lines = layoutBoxText("a" + kSep + "m" + kSep + "99999999999999999999999\n" +  //
                                   "a" + kSep + "m" + kSep + "-99999999999999999999999\n" +  //
                                   "a" + kSep + "m" + kSep + "-1x\n" +                       //
                                   "a" + kSep + "m" + kSep + "+7\n" +                        //
                                   "a" + kSep + "m" + kSep + "- 3\n" +                       //
                                   "a" + kSep + "m" + kSep + "x" + kSep + "5");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].colourIndex, INT_MAX);
  EXPECT_EQ(lines[1].colourIndex, INT_MIN);
  EXPECT_EQ(lines[2].colourIndex, -1);
  EXPECT_EQ(lines[3].colourIndex, 7);
  EXPECT_EQ(lines[4].colourIndex, 0);
  EXPECT_EQ(lines[5].colourIndex, 0);  // a third separator is part of the rest
  for (const auto& l : lines) {
    const std::uint32_t c = authorColour(l.colourIndex);
    EXPECT_TRUE(c == kAuthorColours[0] || c == kAuthorColours[1] || c == kAuthorColours[2]);
  }
}

TEST(BoxTextLayout, AuthorColoursRepeatEveryThree) {
  for (int i = 0; i < 3; ++i) EXPECT_EQ(authorColour(i + 3), kAuthorColours[i]);
  EXPECT_EQ(authorColour(-1), kAuthorColours[1]);
  EXPECT_EQ(authorColour(INT_MIN), kAuthorColours[2]);  // 2147483648 % 3
  EXPECT_EQ(kAuthorColours[0], 0x0040CCFFu);
}

TEST(BoxTextLayout, KeepsBytesAsTheyCame) {
  // Invalid UTF-8, carriage returns and NULs pass through; the drawing side converts.
  const std::string text = std::string("\xff\xfe") + kSep + std::string("m\r\0x", 4) + kSep + "1\r";
  const auto lines = layoutBoxText(text);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].author, "\xff\xfe");
  EXPECT_EQ(lines[0].message, std::string("m\r\0x", 4));
  EXPECT_EQ(lines[0].colourIndex, 1);
}

TEST(BoxTextMetrics, ChatBoxAtThirty) {
  const BoxTextMetrics m = boxTextMetrics(30, 520, 560);
  EXPECT_EQ(m.width, 520);
  EXPECT_EQ(m.height, 560);
  EXPECT_EQ(m.pad, 8);
  EXPECT_EQ(m.haloRadius, 2);
  EXPECT_EQ(m.messageGap, 13);
  EXPECT_EQ(m.authorFontHeight, -24);
  EXPECT_EQ(m.messageFontHeight, -30);
  EXPECT_EQ(textLayerPad(96), 16);
  EXPECT_EQ(textLayerPad(96.9f), 16);
  EXPECT_EQ(textLayerPad(6.9f), 3) << "the fraction counts before truncating";
  EXPECT_EQ(boxTextMetrics(14.9f, 100, 100).haloRadius, 1);
  EXPECT_EQ(boxTextMetrics(28.5f, 100, 100).haloRadius, 2);
}

TEST(BoxTextMetrics, BoxSizeIsClampedAndHostileFontSizesAreSafe) {
  EXPECT_EQ(boxTextMetrics(30, 2, -7).width, 8);
  EXPECT_EQ(boxTextMetrics(30, 2, -7).height, 8);
  EXPECT_EQ(boxTextMetrics(30, 100000, 5000).width, 4096);
  EXPECT_EQ(boxTextMetrics(30, INT_MAX, INT_MIN).height, 8);
  const float hostile[] = {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e30f};
  for (float fs : hostile) {
    const BoxTextMetrics m = boxTextMetrics(fs, 100, 100);
    EXPECT_LE(std::abs(m.messageFontHeight), kMaxFontPixels);
    EXPECT_LE(std::abs(m.authorFontHeight), kMaxFontPixels);
    EXPECT_GE(m.haloRadius, 1);
    EXPECT_LE(std::abs(fontPixels(fs)), kMaxFontPixels);
    EXPECT_LE(std::abs(textLayerPad(fs)), kMaxFontPixels);
  }
  EXPECT_EQ(fontPixels(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST(BoxTextColour, CounterColourWrapsEachComponentToAByte) {
  const float white[4] = {1, 1, 1, 1};
  EXPECT_EQ(counterTextColour(white), 0x00FFFFFFu);
  const float mixed[4] = {1.0f / 255 * 16, 0.5f, 0, 1};
  EXPECT_EQ(counterTextColour(mixed), 0x00007F10u);
  const float wild[4] = {2.0f, NAN, 1e30f, 1};  // 510 -> 254; NaN -> 0; huge -> 0xFF of INT_MAX
  EXPECT_EQ(counterTextColour(wild), 0x00FF00FEu);
}

// Straightforward version of the outline pass, for comparison.
std::vector<std::uint8_t> referenceHalo(std::vector<std::uint8_t> px, int w, int h, int r) {
  std::vector<std::uint8_t> cov(std::size_t(w) * h), halo(cov.size());
  for (std::size_t i = 0; i < cov.size(); ++i) cov[i] = std::max({px[i * 4], px[i * 4 + 1], px[i * 4 + 2]});
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t m = 0;
      for (int yy = std::max(0, y - r); yy <= std::min(h - 1, y + r); ++yy)
        for (int xx = std::max(0, x - r); xx <= std::min(w - 1, x + r); ++xx) m = std::max(m, cov[yy * w + xx]);
      halo[y * w + x] = m;
    }
  for (std::size_t i = 0; i < cov.size(); ++i) {
    const float a = cov[i] / 255.0f, g = halo[i] / 255.0f;
    const float m = a + 0.75f * g * (1.0f - a);
    for (int c = 0; c < 3; ++c) px[i * 4 + c] = m > 0 ? std::uint8_t(std::min(255.0f, px[i * 4 + c] / m)) : 0;
    px[i * 4 + 3] = std::uint8_t(255.0f * m + 0.5f);
  }
  return px;
}

TEST(HaloAlpha, MatchesTheStraightforwardFilter) {
  std::mt19937 rng(7);
  for (auto [w, h, r] : {std::tuple{17, 9, 1}, {8, 8, 2}, {31, 23, 3}, {5, 40, 6}, {3, 3, 9}, {1, 1, 1}}) {
    std::vector<std::uint8_t> px(std::size_t(w) * h * 4, 0);
    for (std::size_t i = 0; i < px.size(); ++i) px[i] = (rng() % 4 == 0) ? std::uint8_t(rng()) : 0;
    const auto expected = referenceHalo(px, w, h, r);
    applyHaloAlpha(px.data(), w, h, r);
    EXPECT_EQ(px, expected) << w << "x" << h << " r" << r;
  }
}

TEST(HaloAlpha, OutlineIsBlackAtThreeQuartersAroundWhiteText) {
  std::vector<std::uint8_t> px(5 * 5 * 4, 0);
  for (int c = 0; c < 3; ++c) px[(2 * 5 + 2) * 4 + c] = 255;
  applyHaloAlpha(px.data(), 5, 5, 1);
  auto at = [&](int x, int y, int c) { return px[(y * 5 + x) * 4 + c]; };
  EXPECT_EQ(at(2, 2, 3), 255);
  EXPECT_EQ(at(2, 2, 0), 255);
  EXPECT_EQ(at(1, 1, 3), 191);  // 0.75 * 255 + 0.5
  EXPECT_EQ(at(1, 1, 0), 0);
  EXPECT_EQ(at(0, 0, 3), 0);
}

}  // namespace
