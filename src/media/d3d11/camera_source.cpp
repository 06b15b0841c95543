#include "media/d3d11/camera_source.h"

#include <objbase.h>

#include "media/capture/system_capture.h"

namespace {
void cameraThread(CameraCapture& capture, int deviceIndex, std::shared_ptr<PhoneFeed> feed) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (deviceIndex == kPhoneCameraIndex && feed) {
        std::unique_ptr<PhoneDecoder> decoder = makeSystemPhoneDecoder();
        phoneCaptureLoop(capture, *feed, *decoder, steadyNowMs);
    } else {
        deviceCaptureLoop(capture, deviceIndex);
    }
    feed.reset();
    // The model's objects were made in this thread's apartment and go before it closes.
    capture.remover.reset();
    if (SUCCEEDED(com)) CoUninitialize();
}
}  // namespace

CameraSource::CameraSource(ID3D11Device* device, ID3D11DeviceContext* context, int deviceIndex,
                           std::shared_ptr<PhoneFeed> phoneFeed)
    : device(device), context(context), capture(std::make_unique<CameraCapture>()) {
    startCameraCapture(*capture, [deviceIndex, feed = std::move(phoneFeed)](CameraCapture& c) {
        cameraThread(c, deviceIndex, feed);
    });
}

CameraSource::~CameraSource() { stopCameraCapture(*capture); }

void CameraSource::setRemoveBackground(bool on) { capture->removeBackground = on; }

void CameraSource::update() {
    std::lock_guard<std::mutex> guard(capture->lock);
    status = capture->status;
    if (!capture->newFrame) return;
    capture->newFrame = false;
    const int w = capture->width, h = capture->height;
    if (!texture.texture || texture.width != w || texture.height != h) {
        // When the texture cannot be made this frame's upload is skipped.
        if (!uploadBgraTexture(texture, device, w, h, nullptr, 0, DXGI_FORMAT_B8G8R8A8_UNORM)) return;
    }
    context->UpdateSubresource(texture.texture, 0, nullptr, capture->front.data(), UINT(w) * 4, 0);
    hasAlpha = capture->hasAlpha;
}

SourceFrame CameraSource::frame() { return texture.frame(hasAlpha ? FrameStraight : FrameOpaque, status); }
