#include "media/mkv_writer.h"

#include <cstring>
#include <filesystem>

namespace {

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
    ebmlPutUInt(t, 0xD7, number);
    ebmlPutUInt(t, 0x73C5, number);
    ebmlPutUInt(t, 0x83, type);
    ebmlPutString(t, 0x86, codec);
    ebmlPutBytes(t, 0x63A2, codecPrivate.data(), codecPrivate.size());
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
    ebmlPutUInt(ebml, 0x4286, 1);
    ebmlPutUInt(ebml, 0x42F7, 1);
    ebmlPutUInt(ebml, 0x42F2, 4);
    ebmlPutUInt(ebml, 0x42F3, 8);
    ebmlPutString(ebml, 0x4282, "matroska");
    ebmlPutUInt(ebml, 0x4287, 4);
    ebmlPutUInt(ebml, 0x4285, 2);
    ebmlPutMaster(h, 0x1A45DFA3, ebml);

    ebmlPutId(h, 0x18538067);
    const uint8_t unknownSize[8] = {0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    h.insert(h.end(), unknownSize, unknownSize + 8);

    std::vector<uint8_t> infoEl;
    ebmlPutUInt(infoEl, 0x2AD7B1, 1000000);
    ebmlPutString(infoEl, 0x4D80, "Quillhaven");
    ebmlPutString(infoEl, 0x5741, "Quillhaven");
    ebmlPutFloat(infoEl, 0x4489, 0.0);
    ebmlPutMaster(h, 0x1549A966, infoEl);
    durationPosition = static_cast<int64_t>(h.size()) - 8;

    std::vector<uint8_t> tracks;
    std::vector<uint8_t> video = trackHead(1, 1, "V_MPEG4/ISO/AVC", info.avcC);
    std::vector<uint8_t> picture;
    ebmlPutUInt(picture, 0xB0, static_cast<uint64_t>(info.width));
    ebmlPutUInt(picture, 0xBA, static_cast<uint64_t>(info.height));
    ebmlPutMaster(video, 0xE0, picture);
    ebmlPutMaster(tracks, 0xAE, video);
    if (info.sampleRate != 0) {
        std::vector<uint8_t> audio = trackHead(2, 2, "A_AAC", info.audioSpecificConfig);
        std::vector<uint8_t> sound;
        ebmlPutFloat(sound, 0xB5, static_cast<double>(info.sampleRate));
        ebmlPutUInt(sound, 0x9F, static_cast<uint64_t>(info.channels));
        ebmlPutMaster(audio, 0xE1, sound);
        ebmlPutMaster(tracks, 0xAE, audio);
    }
    ebmlPutMaster(h, 0x1654AE6B, tracks);

    file.write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
    file.flush();
    headerDone = true;
}

void MkvWriter::writeBlock(int track, const uint8_t* data, size_t size, int64_t t, bool key) {
    if (!headerDone) return;
    const int64_t delta = t - clusterTime;
    if (cluster.empty() || (track == 1 && (key || delta >= 1000)) || delta < -30000 || delta > 30000) {
        flushCluster();
        clusterTime = t < 0 ? 0 : t;
        ebmlPutUInt(cluster, 0xE7, static_cast<uint64_t>(clusterTime));
    }
    // A block time further back than a signed 16-bit offset from time 0 cannot be expressed; it is
    // pinned to the earliest expressible time rather than wrapped around.
    int64_t rel = t - clusterTime;
    if (rel < -32768) rel = -32768;
    if (rel > 32767) rel = 32767;
    ebmlPutId(cluster, 0xA3);
    ebmlPutSize(cluster, size + 4);
    cluster.push_back(static_cast<uint8_t>(0x80 | (track & 0x7F)));
    cluster.push_back(static_cast<uint8_t>((static_cast<uint16_t>(rel) >> 8) & 0xFF));
    cluster.push_back(static_cast<uint8_t>(static_cast<uint16_t>(rel) & 0xFF));
    cluster.push_back(key ? 0x80 : 0x00);
    if (size) cluster.insert(cluster.end(), data, data + size);
}

void MkvWriter::flushCluster() {
    if (cluster.empty()) return;
    std::vector<uint8_t> head;
    ebmlPutId(head, 0x1F43B675);
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
