#include "media/text_layout.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "media/numeric.h"

namespace {
// The size itself, fraction kept, but finite and within what is ever drawn.
double boundedFontSize(float fontSize) {
  if (std::isnan(fontSize)) return 0.0;
  return std::clamp(double(fontSize), double(-kMaxFontPixels), double(kMaxFontPixels));
}
}  // namespace

int fontPixels(float fontSize) { return truncToInt(boundedFontSize(fontSize)); }

int textLayerPad(float fontSize) { return 2 - truncToInt(boundedFontSize(fontSize) * -0.15); }

BoxTextMetrics boxTextMetrics(float fontSize, int width, int height) {
  const double fs = boundedFontSize(fontSize);
  BoxTextMetrics m;
  m.width = std::clamp(width, 8, 4096);
  m.height = std::clamp(height, 8, 4096);
  m.pad = 2 - truncToInt(fs * -0.2);
  m.messageFontHeight = -truncToInt(fs);
  m.authorFontHeight = truncToInt(fs * -0.8);
  m.messageGap = truncToInt(0.45 * fs);
  m.haloRadius = std::max(1, truncToInt(fs / 14.0));
  return m;
}

namespace {
// Saturating, so a line with a thousand digits still yields a usable int.
int leadingInt(std::string_view s) {
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = std::min<long long>(v * 10 + (s[i] - '0'), 1LL << 32);
  }
  if (negative) v = -v;
  return int(std::clamp<long long>(v, INT_MIN, INT_MAX));
}
}  // namespace

std::vector<ChatBoxLine> layoutBoxText(std::string_view text) {
  std::vector<ChatBoxLine> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t lf = text.find('\n', start);
    if (lf == std::string_view::npos) lf = text.size();
    const std::string_view piece = text.substr(start, lf - start);
    start = lf + 1;
    const std::size_t a = piece.find('\x1f');
    if (a == std::string_view::npos) continue;
    const std::size_t b = piece.find('\x1f', a + 1);
    if (b == std::string_view::npos) continue;
    ChatBoxLine line;
    line.author = std::string(piece.substr(0, a));
    line.message = std::string(piece.substr(a + 1, b - a - 1));
    line.colourIndex = leadingInt(piece.substr(b + 1));
    lines.push_back(std::move(line));
  }
  return lines;
}

std::uint32_t authorColour(int colourIndex) {
  return kAuthorColours[std::llabs(static_cast<long long>(colourIndex)) % 3];
}

std::uint32_t counterTextColour(const float colour[4]) {
  std::uint32_t out = 0;
  for (int i = 0; i < 3; ++i) {
    // Modulo 256 of the truncated value, as a byte; out-of-range floats clamp first.
    const int v = truncToInt(double(colour[i]) * 255.0);
    out |= std::uint32_t(static_cast<unsigned>(v) & 0xFFu) << (8 * i);
  }
  return out;
}

namespace {
// Running maximum over a window of radius r along one line, in O(n): the
// line is padded with r zeros on each side (coverage is never below zero, so
// clipping the window and padding agree), cut into blocks of 2r + 1, and
// each window's maximum is the larger of a suffix and a prefix maximum.
void windowMax(const std::uint8_t* in, std::size_t step, int n, int r, std::uint8_t* out, std::size_t outStep,
               std::vector<std::uint8_t>& padded, std::vector<std::uint8_t>& prefix,
               std::vector<std::uint8_t>& suffix) {
  const int k = 2 * r + 1;
  const int total = n + 2 * r;
  const int blocks = (total + k - 1) / k;
  const std::size_t len = std::size_t(blocks) * k;
  padded.assign(len, 0);
  prefix.resize(len);
  suffix.resize(len);
  for (int i = 0; i < n; ++i) padded[std::size_t(i + r)] = in[std::size_t(i) * step];
  for (std::size_t b = 0; b < len; b += k) {
    prefix[b] = padded[b];
    for (std::size_t i = b + 1; i < b + k; ++i) prefix[i] = std::max(prefix[i - 1], padded[i]);
    suffix[b + k - 1] = padded[b + k - 1];
    for (std::size_t i = b + k - 1; i-- > b;) suffix[i] = std::max(suffix[i + 1], padded[i]);
  }
  // Window of output j spans padded[j .. j + 2r].
  for (int j = 0; j < n; ++j) {
    out[std::size_t(j) * outStep] = std::max(suffix[std::size_t(j)], prefix[std::size_t(j + k - 1)]);
  }
}
}  // namespace

void applyHaloAlpha(std::uint8_t* bgra, int width, int height, int radius) {
  if (!bgra || width <= 0 || height <= 0) return;
  radius = std::clamp(radius, 1, std::max(width, height));
  const std::size_t count = std::size_t(width) * height;
  std::vector<std::uint8_t> coverage(count), across(count), halo(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* px = bgra + i * 4;
    coverage[i] = std::max({px[0], px[1], px[2]});
  }
  std::vector<std::uint8_t> padded, prefix, suffix;
  for (int y = 0; y < height; ++y) {
    const std::size_t row = std::size_t(y) * width;
    windowMax(&coverage[row], 1, width, radius, &across[row], 1, padded, prefix, suffix);
  }
  for (int x = 0; x < width; ++x) {
    windowMax(&across[std::size_t(x)], std::size_t(width), height, radius, &halo[std::size_t(x)],
              std::size_t(width), padded, prefix, suffix);
  }
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t* px = bgra + i * 4;
    const float a = coverage[i] / 255.0f;
    const float g = halo[i] / 255.0f;
    const float m = a + 0.75f * g * (1.0f - a);
    for (int c = 0; c < 3; ++c) px[c] = m > 0.0f ? std::uint8_t(std::min(255.0f, px[c] / m)) : 0;
    px[3] = std::uint8_t(255.0f * m + 0.5f);
  }
}
