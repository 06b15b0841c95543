#pragma once
// What the compositor's one shader program reads per quad: nine float4
// registers at b0, 144 bytes, filled here so the arithmetic can be checked
// without a GPU.

#include <cstddef>

struct Layer;

struct CompositorConstants {
  float rect[4];  // clip-space left, top, right, bottom
  float color[4];
  float key[4];   // chroma key colour, w = on
  float p0[4];    // similarity, smoothness, opacity, frame mode
  float p1[4];    // brightness, contrast, saturation, corner radius (canvas px)
  float sz[4];    // drawn size in canvas px
  float uvr[4];   // u0, v0, u1, v1
  float lk[4];    // keep-above, keep-below, smoothness, w = on
  float lt[4];    // amount, on, size N, 0
};
static_assert(sizeof(CompositorConstants) == 144, "the shader's constant buffer is 144 bytes");

struct CanvasGeometry {
  float designWidth = 1920, designHeight = 1080;  // units of the layer rectangles
  int width = 0, height = 0;                      // canvas pixels
};

// Visible, not transparent and with an area: only then is the source asked.
bool layerIsDrawn(const Layer& layer);

// A colour layer needs no texture; every other kind is skipped without one.
bool layerNeedsTexture(const Layer& layer);

// Keys on any picture-carrying kind; luma key and LUT only on captured pictures.
bool chromaKeyApplies(const Layer& layer);
bool lumaKeyApplies(const Layer& layer);
bool lutApplies(const Layer& layer);  // also requires a path

// frameMode/width/height describe the source frame; lutSize is 0 when off.
CompositorConstants layerConstants(const Layer& layer, int frameMode, int frameWidth, int frameHeight,
                                   const CanvasGeometry& canvas, bool lutOn, int lutSize);

// The whole-canvas quad that lays the snapshot over the new picture.
CompositorConstants overlayConstants(float fade, int canvasWidth, int canvasHeight);
