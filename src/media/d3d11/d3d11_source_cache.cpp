#include "media/d3d11/d3d11_source_cache.h"

#include <dxgi.h>
#include <mfapi.h>
#include <mfidl.h>
#include <windows.h>
#include <wrl/client.h>

#include "media/capture/system_capture.h"
#include "media/d3d11/camera_source.h"
#include "media/d3d11/image_source.h"
#include "media/d3d11/screen_source.h"
#include "media/d3d11/text_source.h"
#include "media/d3d11/window_source.h"
#include "media/numeric.h"
#include "project/project.h"
#include "util/text.h"

using Microsoft::WRL::ComPtr;

D3d11SourceCache::D3d11SourceCache(ID3D11Device* device, ID3D11DeviceContext* context,
                                   std::shared_ptr<PhoneFeed> phoneFeed)
    : SourceCache(SourceMakers{}), device(device), context(context), phoneFeed(std::move(phoneFeed)) {
  SourceMakers m;
  m.make = [this](const Layer& layer) { return makeSource(layer); };
  m.listCameras = [] { return listCameraNames(); };
  m.listDisplays = [this] { return listDisplayNames(this->device); };
  m.listWindows = [] { return listCapturableWindows(); };
  setMakers(std::move(m));
}

// Sources go before the device pointers they were made with.
D3d11SourceCache::~D3d11SourceCache() { clear(); }

std::unique_ptr<ISource> D3d11SourceCache::makeSource(const Layer& layer) {
  switch (layer.kind) {
    case LayerKind::Text:
      return std::make_unique<TextSource>(device, context, layer.text, layer.fontSize);
    case LayerKind::Image:
      return std::make_unique<ImageSource>(device, context, layer.source);
    case LayerKind::Screen:
      return std::make_unique<ScreenSource>(device, context, layer.deviceIndex);
    case LayerKind::Camera:
      return std::make_unique<CameraSource>(device, context, layer.deviceIndex, phoneFeed);
    case LayerKind::GameOrApp:
      return std::make_unique<WindowSource>(device, context, layer.source);
    case LayerKind::Chat:
    case LayerKind::LiveCounter:
      return std::make_unique<BoxTextSource>(device, context, layer.liveText, layer.fontSize,
                                             truncToInt(layer.width), truncToInt(layer.height),
                                             layer.kind == LayerKind::Chat, layer.colour.data());
    default:
      return nullptr;
  }
}

std::vector<std::string> listCameraNames() {
  std::vector<std::string> names;
  IMFActivate** devices = nullptr;
  UINT32 count = 0;
  if (!enumerateCameraDevices(&devices, &count)) return names;
  for (UINT32 i = 0; i < count; ++i) {
    WCHAR* name = nullptr;
    UINT32 length = 0;
    if (SUCCEEDED(devices[i]->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, &name, &length)) && name) {
      names.push_back(wideToUtf8(std::wstring(name, length)));
      CoTaskMemFree(name);
    } else {
      names.push_back("Camera " + std::to_string(i + 1));
    }
    devices[i]->Release();
  }
  CoTaskMemFree(devices);
  return names;
}

std::vector<std::string> listDisplayNames(ID3D11Device* device) {
  std::vector<std::string> names;
  if (!device) return names;
  ComPtr<IDXGIDevice> dxgiDevice;
  ComPtr<IDXGIAdapter> adapter;
  if (FAILED(device->QueryInterface(IID_PPV_ARGS(&dxgiDevice))) || FAILED(dxgiDevice->GetAdapter(&adapter))) {
    return names;
  }
  for (UINT i = 0;; ++i) {
    ComPtr<IDXGIOutput> output;
    if (FAILED(adapter->EnumOutputs(i, &output))) break;
    DXGI_OUTPUT_DESC desc{};
    output->GetDesc(&desc);
    const RECT& r = desc.DesktopCoordinates;
    names.push_back("Display " + std::to_string(i + 1) + "  \xC2\xB7  " + std::to_string(r.right - r.left) +
                    "\xC3\x97" + std::to_string(r.bottom - r.top));
  }
  return names;
}
