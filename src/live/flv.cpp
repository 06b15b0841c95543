#include "live/flv.h"

#include <cstring>

namespace {

// The five-byte AVC video tag header followed by the payload.
std::vector<uint8_t> flvVideoBody(FlvFrameType frame, FlvAvcPacketType packetType, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out(5 + payload.size());
    out[0] = static_cast<uint8_t>(frame << 4 | kFlvCodecAvc);
    out[1] = packetType;
    out[2] = out[3] = out[4] = 0;  // composition time: no B-frames
    if (!payload.empty()) std::memcpy(out.data() + 5, payload.data(), payload.size());
    return out;
}

std::vector<uint8_t> flvAudioBody(FlvAacPacketType packetType, const uint8_t* bytes, size_t length) {
    std::vector<uint8_t> head;
    head.reserve(2 + length);
    head.push_back(kFlvAacHeader);
    head.push_back(packetType);
    return appendAndTake(std::move(head), bytes, length);
}

}  // namespace

std::vector<uint8_t> appendAndTake(std::vector<uint8_t> head, const uint8_t* bytes, size_t length) {
    if (length > 0) head.insert(head.end(), bytes, bytes + length);
    return head;
}

std::vector<uint8_t> flvAacSequenceHeader(const std::vector<uint8_t>& audioSpecificConfig) {
    return flvAudioBody(kFlvAacSequenceHeader, audioSpecificConfig.data(), audioSpecificConfig.size());
}

std::vector<uint8_t> flvAacFrame(const uint8_t* frame, size_t length) {
    return flvAudioBody(kFlvAacRaw, frame, length);
}

std::vector<uint8_t> flvAvcSequenceHeaderTag(const std::vector<uint8_t>& avcC) {
    return flvVideoBody(kFlvKeyFrame, kFlvAvcSequenceHeader, avcC);
}

std::vector<uint8_t> flvAvcNaluTag(const std::vector<uint8_t>& nalus, bool keyframe) {
    return flvVideoBody(keyframe ? kFlvKeyFrame : kFlvInterFrame, kFlvAvcNalu, nalus);
}
