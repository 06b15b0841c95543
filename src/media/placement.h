#pragma once
// Where a layer lands on the canvas and which part of its source it samples.

struct Layer;

struct LayerPlacement {
  float x = 0, y = 0, w = 0, h = 0;      // drawn rectangle, design units, y down
  float u0 = 0, v0 = 0, u1 = 1, v1 = 1;  // u0 > u1 or v0 > v1 mirrors
};

LayerPlacement computeLayerPlacement(const Layer& layer, int sourceWidth, int sourceHeight);
