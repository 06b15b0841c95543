// IVideoPacketEncoder over a Media Foundation H.264 encoder transform, hardware first. The main
// thread converts frames to NV12 and queues them; one worker thread drives the transform; the
// packets it finishes are handed out at the next encode call, so encoding never blocks the
// frame loop.
#pragma once

#include "media/media.h"
#include "media/mf/encoder_transform.h"

#include <memory>

class MfVideoEncoder : public IVideoPacketEncoder {
public:
    struct System {
        mf::EnumerateVideoEncoders enumerate;
        std::function<bool()> softwareOnly;
        mf::MakeInputSample makeSample;  // paired with the transforms `enumerate` finds
    };

    MfVideoEncoder();  // the system's transforms
    explicit MfVideoEncoder(System system);
    ~MfVideoEncoder() override;

    bool open(const VideoEncoderSettings& settings) override;
    void encode(const uint8_t* bgra, int stride, int64_t frameNumber, std::vector<EncodedPacket>& out) override;
    void close() override;
    std::string lastError() const override;
    std::string name() const override;
    // The parameter sets of the transform's output type, as the worker last read them after a
    // type negotiation (only the worker touches the transform).
    std::vector<uint8_t> sequenceHeader() const override;

    // Frames waiting for the transform (for tests and diagnostics).
    size_t queuedFrames() const;

private:
    struct State;
    System system;
    std::unique_ptr<State> s;
};
