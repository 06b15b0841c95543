#pragma once
// A screen layer's source: desktop duplication of one output of the compositor's adapter, polled
// once per tick on the main thread without waiting.

#include <d3d11.h>
#include <dxgi1_2.h>

#include <cstdint>
#include <string>

#include "media/d3d11/source_texture.h"
#include "media/media.h"

class ScreenSource : public ISource {
public:
    ScreenSource(ID3D11Device* device, ID3D11DeviceContext* context, int outputIndex);
    ~ScreenSource() override;

    void update() override;
    SourceFrame frame() override { return texture.frame(FrameOpaque, status); }

private:
    ID3D11Device* device;
    ID3D11DeviceContext* context;
    int32_t outputIndex;
    SourceTexture texture;
    IDXGIOutputDuplication* duplication = nullptr;
    uint64_t nextAttempt = 0;
    std::string status;
};

// Takes the newest desktop image, if there is one, into `texture` (made anew on a size change);
// a frame whose desktop image was not presented anew since the last one (a pointer move) is not
// copied. The frame is released in every case, even when the copy cannot be made. Returns what
// AcquireNextFrame answered.
HRESULT takeDesktopFrame(IDXGIOutputDuplication* duplication, ID3D11Device* device, ID3D11DeviceContext* context,
                         SourceTexture& texture);
