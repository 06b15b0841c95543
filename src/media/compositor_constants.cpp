#include "media/compositor_constants.h"

#include "media/placement.h"
#include "project/project.h"

namespace {
void set4(float* d, float a, float b, float c, float e) {
  d[0] = a;
  d[1] = b;
  d[2] = c;
  d[3] = e;
}
}  // namespace

bool layerIsDrawn(const Layer& layer) {
  return layer.visible && layer.opacity > 0.0f && layer.width > 0.0f && layer.height > 0.0f;
}

bool layerNeedsTexture(const Layer& layer) { return layer.kind != 0; }

bool chromaKeyApplies(const Layer& layer) { return layer.chromaKey && layer.kind >= 2; }

bool lumaKeyApplies(const Layer& layer) { return layer.lumaKey && layer.kind >= 2 && layer.kind <= 5; }

bool lutApplies(const Layer& layer) {
  return !layer.lutPath.empty() && layer.kind >= 2 && layer.kind <= 5;
}

CompositorConstants layerConstants(const Layer& layer, int frameMode, int frameWidth, int frameHeight,
                                   const CanvasGeometry& canvas, bool lutOn, int lutSize) {
  // Colour and text layers keep their rectangle exactly: never fitted.
  const int sourceWidth = layer.kind >= 2 ? frameWidth : 0;
  const LayerPlacement pl = computeLayerPlacement(layer, sourceWidth, frameHeight);
  const float dw = canvas.designWidth, dh = canvas.designHeight;
  const float cw = float(canvas.width), ch = float(canvas.height);
  const LayerEffects& fx = layer;

  CompositorConstants c{};
  set4(c.rect, pl.x / dw * 2.0f - 1.0f, 1.0f - pl.y / dh * 2.0f, (pl.x + pl.w) / dw * 2.0f - 1.0f,
       1.0f - (pl.y + pl.h) / dh * 2.0f);
  set4(c.color, layer.colour[0], layer.colour[1], layer.colour[2], layer.colour[3]);
  set4(c.key, fx.keyColour[0], fx.keyColour[1], fx.keyColour[2], chromaKeyApplies(layer) ? 1.0f : 0.0f);
  set4(c.p0, fx.similarity, fx.smoothness, layer.opacity, float(frameMode));
  set4(c.p1, fx.brightness, fx.contrast, fx.saturation, cw * layer.cornerRadius / dw);
  set4(c.sz, cw * pl.w / dw, ch * pl.h / dh, 0.0f, 0.0f);
  set4(c.uvr, pl.u0, pl.v0, pl.u1, pl.v1);
  set4(c.lk, fx.keepAbove, fx.keepBelow, fx.lumaSmoothness, lumaKeyApplies(layer) ? 1.0f : 0.0f);
  set4(c.lt, layer.lutAmount, lutOn ? 1.0f : 0.0f, float(lutSize), 0.0f);
  return c;
}

CompositorConstants overlayConstants(float fade, int canvasWidth, int canvasHeight) {
  CompositorConstants c{};
  set4(c.rect, -1.0f, 1.0f, 1.0f, -1.0f);
  set4(c.p0, 0.0f, 1.0f, fade, 2.0f);
  set4(c.p1, 0.0f, 1.0f, 1.0f, 0.0f);
  set4(c.sz, float(canvasWidth), float(canvasHeight), 0.0f, 0.0f);
  set4(c.uvr, 0.0f, 0.0f, 1.0f, 1.0f);
  return c;
}
