// Outside Windows there is no Media Foundation: no encoder transforms and no sink writer.
#include "media/mf/encoder_transform.h"

#include <cstdlib>

namespace mf {

EnumerateVideoEncoders systemVideoEncoders() {
    return [](uint32_t) { return std::vector<std::unique_ptr<ITransformActivation>>(); };
}

MakeInputSample systemInputSamples() { return memorySamples(); }

CreateAacTransform systemAacTransform() {
    return [](int, int, int32_t& result) -> std::unique_ptr<IEncoderTransform> {
        result = kClassNotRegistered;
        return nullptr;
    };
}

CreateMp4Sink systemMp4Sink() {
    return [](const std::wstring&, bool, int32_t& result) -> std::unique_ptr<IMp4Sink> {
        result = kNotImplemented;
        return nullptr;
    };
}

bool softwareEncoderForced() { return std::getenv("QUILLHAVEN_SOFTWARE_ENCODER") != nullptr; }

ComApartment::ComApartment() {}
ComApartment::~ComApartment() {}

}  // namespace mf
