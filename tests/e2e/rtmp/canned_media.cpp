#include "e2e/rtmp/canned_media.h"

#include "live/flv.h"
#include "media/packaging.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

bool readFile(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    if (!f) return false;
    out.resize(static_cast<size_t>(f.tellg()));
    f.seekg(0);
    return static_cast<bool>(f.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size())));
}

}  // namespace

bool loadCannedMedia(const std::string& h264Path, const std::string& aacPath, int fps,
                     std::vector<CannedPacket>& out, std::string& error) {
    std::vector<uint8_t> h264, aac;
    if (!readFile(h264Path, h264) || !readFile(aacPath, aac)) {
        error = "cannot read " + h264Path + " or " + aacPath;
        return false;
    }
    std::vector<CannedPacket> video;
    const std::vector<NalSpan> nals = splitAnnexB(h264.data(), h264.size());
    size_t auStart = 0;  // byte offset where the current access unit's first start code begins
    auto startCodeOf = [&](const NalSpan& n) {
        size_t at = static_cast<size_t>(n.data - h264.data());
        at -= 3;
        if (at > 0 && h264[at - 1] == 0) --at;
        return at;
    };
    bool haveAu = false, key = false;
    auto flush = [&](size_t end) {
        if (!haveAu) return;
        CannedPacket p;
        p.kind = kRtmpVideo;
        p.data.assign(h264.begin() + static_cast<std::ptrdiff_t>(auStart), h264.begin() + static_cast<std::ptrdiff_t>(end));
        p.keyframe = key;
        p.pts = static_cast<int64_t>(video.size()) * 10000000 / fps;
        video.push_back(std::move(p));
    };
    for (const NalSpan& n : nals) {
        if (nalType(n) == kNalAccessUnitDelimiter) {
            const size_t at = startCodeOf(n);
            flush(at);
            auStart = at;
            haveAu = true;
            key = false;
        }
        if (nalType(n) == kNalIdr) key = true;
    }
    flush(h264.size());

    std::vector<CannedPacket> audio;
    for (size_t pos = 0; pos + 7 <= aac.size();) {
        if (aac[pos] != 0xFF || (aac[pos + 1] & 0xF0) != 0xF0) {
            error = "bad ADTS frame in " + aacPath;
            return false;
        }
        const size_t header = (aac[pos + 1] & 1) ? 7 : 9;
        const size_t length = (size_t(aac[pos + 3] & 3) << 11) | (size_t(aac[pos + 4]) << 3) | (aac[pos + 5] >> 5);
        if (length < header || pos + length > aac.size()) break;
        CannedPacket p;
        p.kind = kRtmpAudio;
        p.data.assign(aac.begin() + static_cast<std::ptrdiff_t>(pos + header),
                      aac.begin() + static_cast<std::ptrdiff_t>(pos + length));
        p.pts = static_cast<int64_t>(audio.size()) * 1024 * 10000000 / 48000;
        audio.push_back(std::move(p));
        pos += length;
    }
    if (video.empty() || audio.empty()) {
        error = "no packets in the canned media";
        return false;
    }
    out.clear();
    out.reserve(video.size() + audio.size());
    std::merge(std::make_move_iterator(video.begin()), std::make_move_iterator(video.end()),
               std::make_move_iterator(audio.begin()), std::make_move_iterator(audio.end()), std::back_inserter(out),
               [](const CannedPacket& a, const CannedPacket& b) { return a.pts < b.pts; });
    return true;
}

bool publishCanned(RtmpSession& session, const std::vector<CannedPacket>& packets, PublishCounts& counts) {
    bool started = false;
    int64_t base = 0;
    for (const CannedPacket& p : packets) {
        if (!started) {
            if (p.kind != kRtmpVideo || !p.keyframe) continue;
            std::vector<uint8_t> avcC;
            if (!avcDecoderConfigFromAnnexB(p.data.data(), p.data.size(), avcC)) continue;
            base = p.pts;
            if (!session.sendMedia(kRtmpVideo, 0, flvAvcSequenceHeaderTag(avcC)) ||
                !session.sendMedia(kRtmpAudio, 0, flvAacSequenceHeader(aacAudioSpecificConfig(48000, 2))))
                return false;
            started = true;
        }
        if (p.pts < base) continue;
        const uint32_t ms = static_cast<uint32_t>((p.pts - base) / 10000);
        if (p.kind == kRtmpVideo) {
            if (!session.sendMedia(kRtmpVideo, ms, flvAvcNaluTag(annexBToAvcc(p.data.data(), p.data.size()), p.keyframe)))
                return false;
            ++counts.video;
        } else {
            if (!session.sendMedia(kRtmpAudio, ms, flvAacFrame(p.data.data(), p.data.size()))) return false;
            ++counts.audio;
        }
        // The sender reads the server's messages once per batch of packets.
        if ((counts.video + counts.audio) % 16 == 0 && !session.pump()) return false;
    }
    return session.pump();
}

StreamMetadata cannedMetadata(int width, int height, int kbps) {
    StreamMetadata m;
    m.width = width;
    m.height = height;
    m.fps = 30;
    m.videoKbps = kbps;
    return m;
}

std::string publishAll(const RtmpEndpoint& endpoint, const std::string& key, const StreamMetadata& media,
                       const std::vector<CannedPacket>& packets, PublishCounts& counts) {
    RtmpSession session;
    std::string error = session.connect(endpoint, key, media);
    if (!error.empty()) return error;
    if (!publishCanned(session, packets, counts)) return session.error();
    session.close();
    return {};
}
