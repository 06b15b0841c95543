#pragma once
// The phone camera's video datagrams: a 16-byte header (magic "QH", version,
// flags, session, frame number, fragment index and count, all big-endian) and
// up to 1200 payload bytes. The assembler joins the fragments of each access
// unit and holds frames back after a loss until a key frame completes.

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

inline constexpr size_t kPhoneVideoHeaderSize = 16;
inline constexpr size_t kPhoneVideoMaxPayload = 1200;
inline constexpr uint16_t kPhoneVideoMaxFragments = 2048;
inline constexpr uint8_t kPhoneVideoVersion = 1;
// Frames pending at once; one more gives up the oldest.
inline constexpr size_t kPhoneVideoMaxPending = 8;
// A frame number this far behind the last one is a new numbering (a phone that
// restarted, or a forged number), not a late fragment. Ten seconds at 30 fps.
inline constexpr uint32_t kPhoneVideoRestartGap = 300;
// Late datagrams of this many frames in a row, none of a newer frame between
// them, come from a phone that restarted its numbering a little behind. That
// is a restart too: else its frames would be dropped until the numbers caught
// up, and the first one after would be delivered without what it refers to.
inline constexpr int32_t kPhoneVideoLateRunRestart = 3;

// Frame numbers in wrapping order: a comes before b when b lies less than half
// the number range ahead. Pending frames are never kPhoneVideoRestartGap apart,
// and within such a span this is a strict weak order.
struct FrameNumberOrder {
    bool operator()(uint32_t a, uint32_t b) const { return int32_t(a - b) < 0; }
};

struct PhoneVideoPacket {
    uint32_t sessionId = 0;
    uint32_t frameNumber = 0;
    uint16_t fragmentIndex = 0;
    uint16_t fragmentCount = 0;
    bool keyframe = false;
    int32_t rotation = 0;  // quarter turns, 0..3
    const uint8_t* payload = nullptr;  // points into the datagram
    size_t payloadSize = 0;
};

// False for anything but a well-formed video datagram of 17 to 1216 bytes.
bool parsePhoneVideoPacket(const uint8_t* data, size_t length, PhoneVideoPacket& out);

struct PendingVideoFrame {
    std::vector<std::vector<uint8_t>> fragments;  // empty slot = not yet received
    int32_t received = 0;
    bool keyframe = false;
    int32_t rotation = 0;
};

class PhoneVideoAssembler {
public:
    explicit PhoneVideoAssembler(uint32_t session) : session(session) {}

    // True when a whole access unit comes out in `frame`.
    bool addFragment(const PhoneVideoPacket& packet, std::vector<uint8_t>& frame, bool& keyframe);

    uint32_t session;
    std::map<uint32_t, PendingVideoFrame, FrameNumberOrder> pending;
    uint32_t lastFrame = 0;
    int32_t rotation = 0;
    bool hasLast = false;
    bool waitForKeyframe = true;
    // Frames in the current run of late datagrams, and the last one's number.
    int32_t lateFrames = 0;
    uint32_t lastLateFrame = 0;

private:
    void restart();
};
