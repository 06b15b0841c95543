#include "remote/phone_video.h"

#include <cstring>

namespace {

constexpr uint8_t kMagic0 = 'Q';
constexpr uint8_t kMagic1 = 'H';
constexpr uint8_t kKeyframeFlag = 0x01;
constexpr int kRotationShift = 1;
constexpr uint8_t kRotationMask = 0x03;
// Header fields, big-endian: magic, version, flags, session, frame number, fragment index
// and fragment count.
constexpr size_t kFlagsAt = 3;
constexpr size_t kSessionAt = 4;
constexpr size_t kFrameNumberAt = 8;
constexpr size_t kFragmentIndexAt = 12;
constexpr size_t kFragmentCountAt = 14;

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint16_t be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

// Signed distance from `from` to `to` in wrapping frame-number arithmetic.
int64_t frameDistance(uint32_t from, uint32_t to) { return int64_t(int32_t(to - from)); }

bool farApart(uint32_t a, uint32_t b) {
    const int64_t d = frameDistance(a, b);
    return d >= int64_t(kPhoneVideoRestartGap) || d <= -int64_t(kPhoneVideoRestartGap);
}

}  // namespace

bool parsePhoneVideoPacket(const uint8_t* data, size_t length, PhoneVideoPacket& out) {
    if (length <= kPhoneVideoHeaderSize || length > kPhoneVideoHeaderSize + kPhoneVideoMaxPayload) return false;
    if (data[0] != kMagic0 || data[1] != kMagic1 || data[2] != kPhoneVideoVersion) return false;
    const uint16_t count = be16(data + kFragmentCountAt);
    const uint16_t index = be16(data + kFragmentIndexAt);
    if (count < 1 || count > kPhoneVideoMaxFragments || index >= count) return false;
    out.keyframe = (data[kFlagsAt] & kKeyframeFlag) != 0;
    out.rotation = (data[kFlagsAt] >> kRotationShift) & kRotationMask;
    out.sessionId = be32(data + kSessionAt);
    out.frameNumber = be32(data + kFrameNumberAt);
    out.fragmentIndex = index;
    out.fragmentCount = count;
    out.payload = data + kPhoneVideoHeaderSize;
    out.payloadSize = length - kPhoneVideoHeaderSize;
    return true;
}

void PhoneVideoAssembler::restart() {
    pending.clear();
    hasLast = false;
    waitForKeyframe = true;
}

bool PhoneVideoAssembler::addFragment(const PhoneVideoPacket& packet, std::vector<uint8_t>& frame, bool& keyframe) {
    if (packet.sessionId != session) return false;
    const uint32_t number = packet.frameNumber;
    if (hasLast) {
        const int64_t ahead = frameDistance(lastFrame, number);
        if (ahead <= -int64_t(kPhoneVideoRestartGap)) {
            restart();
        } else if (ahead <= 0) {
            if (lateFrames == 0 || number != lastLateFrame) ++lateFrames;
            lastLateFrame = number;
            if (lateFrames < kPhoneVideoLateRunRestart) return false;  // late
            restart();
        }
    }
    lateFrames = 0;
    auto found = pending.find(number);
    if (found == pending.end()) {
        // Frames far from this one belong to an old or forged numbering.
        for (auto it = pending.begin(); it != pending.end();)
            it = farApart(it->first, number) ? pending.erase(it) : std::next(it);
        found = pending.emplace(number, PendingVideoFrame{}).first;
    }
    PendingVideoFrame& f = found->second;
    if (f.fragments.empty()) {
        f.fragments.resize(packet.fragmentCount);
        f.keyframe = packet.keyframe;
        f.rotation = packet.rotation;
    }
    if (f.fragments.size() != packet.fragmentCount) return false;
    std::vector<uint8_t>& slot = f.fragments[packet.fragmentIndex];
    if (!slot.empty()) return false;  // duplicate
    slot.assign(packet.payload, packet.payload + packet.payloadSize);
    ++f.received;
    if (f.received < int32_t(f.fragments.size())) {
        if (pending.size() > kPhoneVideoMaxPending) {
            pending.erase(pending.begin());
            waitForKeyframe = true;
        }
        return false;
    }
    if (pending.begin()->first != number || (hasLast && number != lastFrame + 1)) waitForKeyframe = true;
    keyframe = f.keyframe;
    rotation = f.rotation;
    size_t total = 0;
    for (const auto& piece : f.fragments) total += piece.size();
    frame.clear();
    frame.reserve(total);
    for (const auto& piece : f.fragments) frame.insert(frame.end(), piece.begin(), piece.end());
    pending.erase(pending.begin(), std::next(found));
    lastFrame = number;
    hasLast = true;
    if (!waitForKeyframe || keyframe) {
        waitForKeyframe = false;
        return true;
    }
    return false;
}
