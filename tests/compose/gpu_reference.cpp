#include "gpu_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

struct V4 {
  double r = 0, g = 0, b = 0, a = 0;
};

double sat(double v) { return std::clamp(v, 0.0, 1.0); }
double lerp(double a, double b, double t) { return a + (b - a) * t; }
double luma(const V4& c) { return c.r * 0.2126 + c.g * 0.7152 + c.b * 0.0722; }

V4 texel(const RefImage& t, int x, int y) {
  x = std::clamp(x, 0, t.width - 1);
  y = std::clamp(y, 0, t.height - 1);
  const std::uint8_t* p = t.at(x, y);
  return {p[2] / 255.0, p[1] / 255.0, p[0] / 255.0, p[3] / 255.0};
}

// Linear filtering with clamped addressing, as the sampler does.
V4 sample(const RefImage& t, double u, double v) {
  const double x = u * t.width - 0.5, y = v * t.height - 0.5;
  const int x0 = int(std::floor(x)), y0 = int(std::floor(y));
  const double fx = x - x0, fy = y - y0;
  const V4 a = texel(t, x0, y0), b = texel(t, x0 + 1, y0), c = texel(t, x0, y0 + 1), d = texel(t, x0 + 1, y0 + 1);
  auto mix = [&](double V4::*m) { return lerp(lerp(a.*m, b.*m, fx), lerp(c.*m, d.*m, fx), fy); };
  return {mix(&V4::r), mix(&V4::g), mix(&V4::b), mix(&V4::a)};
}

// Trilinear lookup with 0 and 1 on the first and last texel centres.
V4 sampleLut(const CubeLut& lut, double r, double g, double b) {
  const int n = lut.size;
  const double p[3] = {sat(r) * (n - 1), sat(g) * (n - 1), sat(b) * (n - 1)};
  int i0[3];
  double f[3];
  for (int k = 0; k < 3; ++k) {
    i0[k] = std::min(int(std::floor(p[k])), n - 2);
    f[k] = p[k] - i0[k];
  }
  V4 out;
  for (int corner = 0; corner < 8; ++corner) {
    double w = 1;
    int idx[3];
    for (int k = 0; k < 3; ++k) {
      const int bit = (corner >> k) & 1;
      idx[k] = i0[k] + bit;
      w *= bit ? f[k] : 1 - f[k];
    }
    const std::size_t e = (std::size_t(idx[2]) * n * n + std::size_t(idx[1]) * n + idx[0]) * 3;
    out.r += w * lut.rgb[e];
    out.g += w * lut.rgb[e + 1];
    out.b += w * lut.rgb[e + 2];
  }
  return out;
}

V4 shade(const CompositorConstants& C, const RefImage* tx, const CubeLut* lut, double u, double v, double lx,
         double ly) {
  const int m = int(C.p0[3]);
  const V4 s = tx ? sample(*tx, u, v) : V4{};
  V4 c{C.color[0], C.color[1], C.color[2], C.color[3]};
  if (m == 1) c = s;
  if (m == 2) c = {s.r, s.g, s.b, 1};
  if (m == 3) c = {C.color[0], C.color[1], C.color[2], s.r * C.color[3]};
  if (C.key[3] > 0.5) {
    auto cb = [](double r, double g, double b) { return r * -0.1146 + g * -0.3854 + b * 0.5; };
    auto cr = [](double r, double g, double b) { return r * 0.5 + g * -0.4542 + b * -0.0458; };
    const double d = std::hypot(cb(c.r, c.g, c.b) - cb(C.key[0], C.key[1], C.key[2]),
                                cr(c.r, c.g, c.b) - cr(C.key[0], C.key[1], C.key[2]));
    c.a *= sat((d - C.p0[0]) / std::max<double>(C.p0[1], 0.0001));
  }
  if (C.lk[3] > 0.5) {
    const double lu = luma(c), sm = std::max<double>(C.lk[2], 0.0001);
    c.a *= sat((lu - C.lk[0]) / sm + 0.5) * sat((C.lk[1] - lu) / sm + 0.5);
  }
  for (double* ch : {&c.r, &c.g, &c.b}) *ch = (*ch - 0.5) * C.p1[1] + 0.5 + C.p1[0];
  const double l = luma(c);
  for (double* ch : {&c.r, &c.g, &c.b}) *ch = lerp(l, *ch, C.p1[2]);
  if (C.lt[1] > 0.5 && lut) {
    const V4 g = sampleLut(*lut, c.r, c.g, c.b);
    c.r = lerp(c.r, g.r, C.lt[0]);
    c.g = lerp(c.g, g.g, C.lt[0]);
    c.b = lerp(c.b, g.b, C.lt[0]);
  }
  const double hx = C.sz[0] / 2, hy = C.sz[1] / 2;
  const double r = std::min<double>(C.p1[3], std::min(hx, hy));
  const double qx = std::abs((lx - 0.5) * C.sz[0]) - (hx - r);
  const double qy = std::abs((ly - 0.5) * C.sz[1]) - (hy - r);
  const double dd = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - r;
  c.a *= sat(0.5 - dd);
  c.a = sat(c.a * C.p0[2]);
  return {sat(c.r) * c.a, sat(c.g) * c.a, sat(c.b) * c.a, c.a};
}

std::uint8_t toByte(double v) { return std::uint8_t(std::floor(sat(v) * 255.0 + 0.5)); }

}  // namespace

RefCanvas::RefCanvas(int width, int height) {
  img.width = width;
  img.height = height;
  img.bgra.assign(std::size_t(width) * height * 4, 0);
  for (std::size_t i = 3; i < img.bgra.size(); i += 4) img.bgra[i] = 255;
}

void RefCanvas::draw(const CompositorConstants& C, const RefImage* tx, const CubeLut* lut) {
  const double W = img.width, H = img.height;
  const double l = (C.rect[0] + 1) / 2 * W, t = (1 - C.rect[1]) / 2 * H;
  const double r = (C.rect[2] + 1) / 2 * W, b = (1 - C.rect[3]) / 2 * H;
  for (int py = 0; py < img.height; ++py) {
    const double cy = py + 0.5;
    if (cy < std::min(t, b) || cy >= std::max(t, b)) continue;
    for (int px = 0; px < img.width; ++px) {
      const double cx = px + 0.5;
      if (cx < std::min(l, r) || cx >= std::max(l, r)) continue;
      const double lx = (cx - l) / (r - l), ly = (cy - t) / (b - t);
      const double u = lerp(C.uvr[0], C.uvr[2], lx), v = lerp(C.uvr[1], C.uvr[3], ly);
      const V4 s = shade(C, tx, lut, u, v, lx, ly);
      std::uint8_t* d = &img.bgra[(std::size_t(py) * img.width + px) * 4];
      const double inv = 1 - s.a;
      d[2] = toByte(s.r + d[2] / 255.0 * inv);
      d[1] = toByte(s.g + d[1] / 255.0 * inv);
      d[0] = toByte(s.b + d[0] / 255.0 * inv);
      d[3] = toByte(s.a + d[3] / 255.0 * inv);
    }
  }
}

int maxChannelDifference(const RefImage& expected, const std::uint8_t* actual, int rowPitch) {
  int worst = 0;
  for (int y = 0; y < expected.height; ++y) {
    for (int x = 0; x < expected.width * 4; ++x) {
      const int d = std::abs(int(expected.bgra[std::size_t(y) * expected.width * 4 + x]) -
                             int(actual[std::size_t(y) * rowPitch + x]));
      worst = std::max(worst, d);
    }
  }
  return worst;
}
