#pragma once
// Canned H.264 and AAC from files that ffmpeg made, cut into the packets an
// encoder would hand the live output, and published the way the sender does.

#include "live/rtmp_session.h"

#include <cstdint>
#include <string>
#include <vector>

struct CannedPacket {
    uint8_t kind = kRtmpVideo;  // kRtmpAudio or kRtmpVideo
    std::vector<uint8_t> data;  // an Annex-B access unit or one raw AAC frame
    int64_t pts = 0;            // 100-ns units
    bool keyframe = false;
};

// Video access units start at each access-unit delimiter; audio frames are
// ADTS frames without their headers. Merged in time order.
bool loadCannedMedia(const std::string& h264Path, const std::string& aacPath, int fps,
                     std::vector<CannedPacket>& out, std::string& error);

struct PublishCounts {
    int video = 0;
    int audio = 0;
};

// Sequence headers from the first key frame, then every packet from that
// key frame on, stamped in ms since it. False with session.error() on failure.
bool publishCanned(RtmpSession& session, const std::vector<CannedPacket>& packets, PublishCounts& counts);

StreamMetadata cannedMetadata(int width, int height, int kbps);

// One whole publish on a fresh session: connect, every packet, the polite
// close. Empty on success, else the session's text.
std::string publishAll(const RtmpEndpoint& endpoint, const std::string& key, const StreamMetadata& media,
                       const std::vector<CannedPacket>& packets, PublishCounts& counts);
