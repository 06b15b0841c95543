#pragma once
// Where a newly added image layer goes: centred on each canvas, as large as fits, never enlarged.

#include "project/layout_presets.h"
#include "project/project.h"

// The picture's box on a canvas (0 horizontal, 1 vertical) for a picture of w x h pixels.
LayoutRect fittedImageRect(int canvas, float w, float h);

// Puts the fitted boxes into the layer's primary (horizontal) and vertical rectangles and shows
// it on the vertical canvas. A picture without a size keeps the layer's default rectangles.
void fitImageLayer(Layer& layer, int w, int h);
