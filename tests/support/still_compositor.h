#pragma once
// A compositor that draws nothing and only hands out pixels it was given;
// recording and live tests and benchmarks read canvases through it.

#include "media/media.h"

class StillCompositorBase : public ICompositor {
public:
    bool init() override { return true; }
    bool resize(int, int) override { return true; }
    void render(const Scene&, ISourceCache&, float, float) override {}
    void snapshot() override {}
    void setFade(float) override {}
    ID3D11ShaderResourceView* canvasView() override { return nullptr; }
    void unmapPixels() override { ++unmaps; }

    int unmaps = 0;
};
