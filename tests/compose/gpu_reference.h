#pragma once
// The compositor's per-pixel arithmetic done again on the CPU, quad by
// quad, with the 8-bit canvas rounding after every draw: what the GPU
// canvas should hold, to within a rounding step or two.

#include <cstdint>
#include <vector>

#include "media/compositor_constants.h"
#include "media/cube_lut.h"

struct RefImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> bgra;  // rows of width * 4
  const std::uint8_t* at(int x, int y) const { return &bgra[(std::size_t(y) * width + x) * 4]; }
};

class RefCanvas {
 public:
  RefCanvas(int width, int height);  // cleared to opaque black
  void draw(const CompositorConstants& c, const RefImage* texture, const CubeLut* lut);
  const RefImage& image() const { return img; }

 private:
  RefImage img;
};

// Largest per-channel difference between two images of the same size
// (the GPU image may have a longer row pitch).
int maxChannelDifference(const RefImage& expected, const std::uint8_t* actual, int rowPitch);
