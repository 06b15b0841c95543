#include "media/mkv_writer.h"

#include <cassert>
#include <cstring>
#include <filesystem>
#include <iterator>

using namespace MkvId;

namespace {

// TrackType values.
constexpr uint64_t kTrackTypeVideo = 1;
constexpr uint64_t kTrackTypeAudio = 2;
// Nanoseconds per timestamp tick: block and cluster times are in milliseconds.
constexpr uint64_t kMillisecondScale = 1000000;
// The segment's size, all ones in eight bytes: unknown, as the segment grows while recording.
constexpr uint8_t kUnknownSize[8] = {0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

void putBigEndian(std::vector<uint8_t>& out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

int uintBytes(uint64_t v) {
    int n = 1;
    while (n < 8 && (v >> (8 * n)) != 0) ++n;
    return n;
}

}  // namespace

void ebmlPutId(std::vector<uint8_t>& out, uint32_t id) {
    int n = 4;
    while (n > 1 && (id >> (8 * (n - 1))) == 0) --n;
    putBigEndian(out, id, n);
}

void ebmlPutSize(std::vector<uint8_t>& out, uint64_t n) {
    int len = 8;
    for (int l = 1; l < 8; ++l) {
        // 2^(7l) - 1 is the reserved all-ones value of length l, so it needs the next length.
        if (n < (uint64_t(1) << (7 * l)) - 1) {
            len = l;
            break;
        }
    }
    std::vector<uint8_t> b;
    putBigEndian(b, n, len);
    b[0] |= static_cast<uint8_t>(0x80 >> (len - 1));
    out.insert(out.end(), b.begin(), b.end());
}

void ebmlPutUInt(std::vector<uint8_t>& out, uint32_t id, uint64_t v) {
    ebmlPutId(out, id);
    const int n = uintBytes(v);
    ebmlPutSize(out, static_cast<uint64_t>(n));
    putBigEndian(out, v, n);
}

void ebmlPutFloat(std::vector<uint8_t>& out, uint32_t id, double x) {
    ebmlPutId(out, id);
    ebmlPutSize(out, 8);
    uint64_t bits = 0;
    std::memcpy(&bits, &x, 8);
    putBigEndian(out, bits, 8);
}

void ebmlPutBytes(std::vector<uint8_t>& out, uint32_t id, const void* data, size_t size) {
    ebmlPutId(out, id);
    ebmlPutSize(out, size);
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + size);
}

void ebmlPutString(std::vector<uint8_t>& out, uint32_t id, const std::string& text) {
    ebmlPutBytes(out, id, text.data(), text.size());
}

void ebmlPutMaster(std::vector<uint8_t>& out, uint32_t id, const std::vector<uint8_t>& content) {
    ebmlPutBytes(out, id, content.data(), content.size());
}

namespace {

// TrackNumber, TrackUID (the same number), TrackType, CodecID and CodecPrivate of a TrackEntry.
std::vector<uint8_t> trackHead(uint64_t number, uint64_t type, const std::string& codec,
                               const std::vector<uint8_t>& codecPrivate) {
    std::vector<uint8_t> t;
    ebmlPutUInt(t, kTrackNumber, number);
    ebmlPutUInt(t, kTrackUid, number);
    ebmlPutUInt(t, kTrackType, type);
    ebmlPutString(t, kCodecId, codec);
    ebmlPutBytes(t, kCodecPrivate, codecPrivate.data(), codecPrivate.size());
    return t;
}

}  // namespace

bool MkvWriter::open(const std::wstring& path) {
    if (file.is_open()) file.close();
    file.clear();
    headerDone = false;
    cluster.clear();
    clusterTime = 0;
    durationPosition = 0;
    // The runtime opens files shared for reading and writing, so other programs can read the
    // file while it grows.
    file.open(std::filesystem::path(path), std::ios::binary | std::ios::out | std::ios::trunc);
    return file.is_open() && file.good();
}

void MkvWriter::writeHeader(const MkvTrackInfo& info) {
    if (!file.is_open()) return;
    std::vector<uint8_t> h;
    std::vector<uint8_t> ebml;
    ebmlPutUInt(ebml, kEbmlVersion, 1);
    ebmlPutUInt(ebml, kEbmlReadVersion, 1);
    ebmlPutUInt(ebml, kEbmlMaxIdLength, 4);
    ebmlPutUInt(ebml, kEbmlMaxSizeLength, 8);
    ebmlPutString(ebml, kDocType, "matroska");
    ebmlPutUInt(ebml, kDocTypeVersion, 4);
    ebmlPutUInt(ebml, kDocTypeReadVersion, 2);
    ebmlPutMaster(h, kEbmlHeader, ebml);

    ebmlPutId(h, kSegment);
    h.insert(h.end(), std::begin(kUnknownSize), std::end(kUnknownSize));

    std::vector<uint8_t> infoEl;
    ebmlPutUInt(infoEl, kTimestampScale, kMillisecondScale);
    ebmlPutString(infoEl, kMuxingApp, "Quillhaven");
    ebmlPutString(infoEl, kWritingApp, "Quillhaven");
    ebmlPutFloat(infoEl, kDuration, 0.0);
    ebmlPutMaster(h, kInfo, infoEl);
    durationPosition = static_cast<int64_t>(h.size()) - 8;

    std::vector<uint8_t> tracks;
    std::vector<uint8_t> video = trackHead(kVideoTrack, kTrackTypeVideo, "V_MPEG4/ISO/AVC", info.avcC);
    std::vector<uint8_t> picture;
    ebmlPutUInt(picture, kPixelWidth, static_cast<uint64_t>(info.width));
    ebmlPutUInt(picture, kPixelHeight, static_cast<uint64_t>(info.height));
    ebmlPutMaster(video, kVideo, picture);
    ebmlPutMaster(tracks, kTrackEntry, video);
    if (info.sampleRate != 0) {
        std::vector<uint8_t> audio = trackHead(kAudioTrack, kTrackTypeAudio, "A_AAC", info.audioSpecificConfig);
        std::vector<uint8_t> sound;
        ebmlPutFloat(sound, kSamplingFrequency, static_cast<double>(info.sampleRate));
        ebmlPutUInt(sound, kChannels, static_cast<uint64_t>(info.channels));
        ebmlPutMaster(audio, kAudio, sound);
        ebmlPutMaster(tracks, kTrackEntry, audio);
    }
    ebmlPutMaster(h, kTracks, tracks);

    file.write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
    file.flush();
    headerDone = true;
}

void MkvWriter::writeBlock(int track, const uint8_t* data, size_t size, int64_t t, bool key) {
    assert(track == kVideoTrack || track == kAudioTrack);
    if (!headerDone) return;
    const int64_t delta = t - clusterTime;
    if (cluster.empty() || (track == kVideoTrack && (key || delta >= 1000)) || delta < -30000 || delta > 30000) {
        flushCluster();
        clusterTime = t < 0 ? 0 : t;
        ebmlPutUInt(cluster, kTimestamp, static_cast<uint64_t>(clusterTime));
    }
    // A block time further back than a signed 16-bit offset from time 0 cannot be expressed; it is
    // pinned to the earliest expressible time rather than wrapped around.
    int64_t rel = t - clusterTime;
    if (rel < -32768) rel = -32768;
    if (rel > 32767) rel = 32767;
    ebmlPutId(cluster, kSimpleBlock);
    ebmlPutSize(cluster, size + 4);
    ebmlPutSize(cluster, static_cast<uint64_t>(track));  // the track number, a one-byte vint
    cluster.push_back(static_cast<uint8_t>((static_cast<uint16_t>(rel) >> 8) & 0xFF));
    cluster.push_back(static_cast<uint8_t>(static_cast<uint16_t>(rel) & 0xFF));
    cluster.push_back(key ? kMkvSimpleBlockKeyframe : 0x00);
    if (size) cluster.insert(cluster.end(), data, data + size);
}

void MkvWriter::flushCluster() {
    if (cluster.empty()) return;
    std::vector<uint8_t> head;
    ebmlPutId(head, kCluster);
    ebmlPutSize(head, cluster.size());
    file.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
    file.write(reinterpret_cast<const char*>(cluster.data()), static_cast<std::streamsize>(cluster.size()));
    file.flush();
    cluster.clear();
}

bool MkvWriter::finish(int64_t durationMs) {
    if (!file.is_open()) return true;
    flushCluster();
    if (headerDone) {
        std::vector<uint8_t> d;
        uint64_t bits = 0;
        const double value = static_cast<double>(durationMs);
        std::memcpy(&bits, &value, 8);
        putBigEndian(d, bits, 8);
        file.seekp(durationPosition);
        file.write(reinterpret_cast<const char*>(d.data()), 8);
        file.flush();
    }
    const bool ok = file.good();
    file.close();
    headerDone = false;
    return ok && !file.fail();
}
