#pragma once
// The studio's source cache: GPU sources on the device the compositors use.

#include <d3d11.h>

#include <memory>

#include "media/media.h"
#include "media/source_cache.h"

class D3d11SourceCache : public SourceCache {
 public:
  D3d11SourceCache(ID3D11Device* device, ID3D11DeviceContext* context, std::shared_ptr<PhoneFeed> phoneFeed);
  ~D3d11SourceCache() override;

 private:
  std::unique_ptr<ISource> makeSource(const Layer& layer);

  ID3D11Device* device;
  ID3D11DeviceContext* context;
  std::shared_ptr<PhoneFeed> phoneFeed;
};

// Device lists offered by the inspector, in the order their sources number them.
std::vector<std::string> listCameraNames();
std::vector<std::string> listDisplayNames(ID3D11Device* device);
