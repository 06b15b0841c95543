#pragma once
// A camera layer's source: a capture thread per device index (a local camera, or the phone for
// index 1000) hands finished BGRA frames over; update uploads the newest one.

#include <d3d11.h>

#include <memory>
#include <string>

#include "media/capture/camera_capture.h"
#include "media/d3d11/source_texture.h"
#include "media/media.h"

class CameraSource : public ISource {
public:
    CameraSource(ID3D11Device* device, ID3D11DeviceContext* context, int deviceIndex,
                 std::shared_ptr<PhoneFeed> phoneFeed);
    ~CameraSource() override;

    void update() override;
    SourceFrame frame() override;
    void setRemoveBackground(bool on) override;

private:
    bool hasAlpha = false;
    ID3D11Device* device;
    ID3D11DeviceContext* context;
    SourceTexture texture;
    std::unique_ptr<CameraCapture> capture;
    std::string status;
};
