#include "media/unavailable.h"

std::string UnavailableVideoEncoder::lastError() const { return "No H.264 encoder is available"; }

std::string UnavailableAudioEncoder::lastError() const { return "No AAC encoder is available"; }
