#include "media/mf/encoder_transform.h"

#include <cstdio>
#include <new>

namespace mf {

std::string withCode(const std::string& text, int32_t hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(hr));
    return text + " (" + code + ")";
}

uint32_t gopSize(const VideoEncoderSettings& s) {
    const int64_t n = static_cast<int64_t>(s.keyframeSeconds) * s.fps;
    return n > 0 ? static_cast<uint32_t>(n) : 0;
}

uint32_t qualityVsSpeed(int preset) {
    switch (preset) {
    case 0: return 100;
    case 2: return 0;
    default: return 50;
    }
}

MakeInputSample memorySamples() {
    return [](size_t size, uint32_t, const std::function<void(uint8_t*)>& fill, int64_t time,
              int64_t duration) -> std::unique_ptr<IInputSample> {
        auto s = std::make_unique<MemorySample>();
        try {
            s->sample.bytes.resize(size);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        fill(s->sample.bytes.data());
        s->sample.time = time;
        s->sample.duration = duration;
        return s;
    };
}

int32_t pullOutputs(IEncoderTransform& t, bool async, const std::function<void(TransformSample&)>& onOutput,
                    const std::function<void()>& onNewType) {
    for (;;) {
        TransformSample out;
        const int32_t hr = t.processOutput(out);
        if (hr == kNeedMoreInput) return kOk;
        if (hr == kStreamChange) {
            // A transform that keeps asking for a new type without taking one would spin here.
            const int32_t r = t.renegotiateOutput();
            if (failed(r)) return r;
            if (onNewType) onNewType();
            if (async) return kOk;
            continue;
        }
        if (failed(hr)) return hr;
        onOutput(out);
        if (async) return kOk;
    }
}

}  // namespace mf
