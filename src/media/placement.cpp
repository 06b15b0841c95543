#include "media/placement.h"

#include <algorithm>
#include <utility>

#include "project/project.h"

namespace {
// NaN counts as no crop; std::clamp alone would let it through.
float clampCrop(float v, float hi) {
  if (!(v > 0.0f)) return 0.0f;
  return std::min(v, hi);
}
}  // namespace

LayerPlacement computeLayerPlacement(const Layer& layer, int sourceWidth, int sourceHeight) {
  // Left and top win over right and bottom; a tenth of each axis always remains.
  const float left = clampCrop(layer.crop[0], 0.9f);
  const float top = clampCrop(layer.crop[1], 0.9f);
  const float right = clampCrop(layer.crop[2], 0.9f - left);
  const float bottom = clampCrop(layer.crop[3], 0.9f - top);

  LayerPlacement p;
  p.x = layer.x;
  p.y = layer.y;
  p.w = layer.width;
  p.h = layer.height;
  p.u0 = left;
  p.v0 = top;
  p.u1 = 1.0f - right;
  p.v1 = 1.0f - bottom;

  if (sourceWidth > 0 && sourceHeight > 0 && layer.width > 0 && layer.height > 0 && layer.scaling != 0) {
    const float boxAspect = layer.width / layer.height;
    const float srcAspect = float(sourceWidth) * (p.u1 - p.u0) / (float(sourceHeight) * (p.v1 - p.v0));
    if (layer.scaling == 1) {
      if (srcAspect > boxAspect) {
        p.h = layer.width / srcAspect;
        p.y = layer.y + (layer.height - p.h) / 2.0f;
      } else if (srcAspect < boxAspect) {
        p.w = layer.height * srcAspect;
        p.x = layer.x + (layer.width - p.w) / 2.0f;
      }
    } else {
      if (srcAspect > boxAspect) {
        const float t = (1.0f - boxAspect / srcAspect) * (p.u1 - p.u0) / 2.0f;
        p.u0 += t;
        p.u1 -= t;
      } else if (srcAspect < boxAspect) {
        const float t = (1.0f - srcAspect / boxAspect) * (p.v1 - p.v0) / 2.0f;
        p.v0 += t;
        p.v1 -= t;
      }
    }
  }

  if (layer.flipH) std::swap(p.u0, p.u1);
  if (layer.flipV) std::swap(p.v0, p.v1);
  return p;
}
