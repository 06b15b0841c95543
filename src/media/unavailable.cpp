#include "media/unavailable.h"

SourceFrame UnavailableSource::frame() {
  SourceFrame f;
  f.status = status_;
  return f;
}

std::string UnavailableVirtualCamera::lastError() const { return "The virtual camera is not available"; }

std::string UnavailableVideoEncoder::lastError() const { return "No H.264 encoder is available"; }

std::string UnavailableAudioEncoder::lastError() const { return "No AAC encoder is available"; }
