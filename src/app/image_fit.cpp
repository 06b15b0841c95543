#include "app/image_fit.h"

#include <algorithm>

LayoutRect fittedImageRect(int canvas, float w, float h) {
    const float designW = canvas == 0 ? kHorizontalDesignWidth : kVerticalDesignWidth;
    const float designH = canvas == 0 ? kHorizontalDesignHeight : kVerticalDesignHeight;
    const float s = std::min({designH / h, designW / w, 1.0f});
    return {(designW - w * s) / 2, (designH - h * s) / 2, w * s, h * s};
}

void fitImageLayer(Layer& layer, int w, int h) {
    if (w <= 0 || h <= 0) return;
    for (int canvas = 0; canvas < 2; ++canvas) {
        setLayerRect(layer, canvas, fittedImageRect(canvas, static_cast<float>(w), static_cast<float>(h)),
                     layer.cornerRadius);
    }
}
