// A minimal Matroska reader for checking what the writer produced: elements, clusters and
// SimpleBlocks. Test code only; it trusts nothing and reports a damaged layout as `ok == false`.
#pragma once

#include "media/mkv_writer.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ebml {

struct Element {
    uint32_t id = 0;
    size_t start = 0;  // first byte of the id
    size_t data = 0;   // first byte of the content
    size_t end = 0;    // one past the content (the range end for an unknown size)
};

inline bool readVint(const std::vector<uint8_t>& f, size_t& pos, size_t end, uint64_t& value,
                     int& length, bool keepMarker) {
    if (pos >= end) return false;
    const uint8_t first = f[pos];
    length = 1;
    while (length <= 8 && !(first & (0x80 >> (length - 1)))) ++length;
    if (length > 8 || pos + length > end) return false;
    value = keepMarker ? first : (first & (0xFF >> length));
    for (int i = 1; i < length; ++i) value = (value << 8) | f[pos + i];
    pos += length;
    return true;
}

// Children of [begin, end). An unknown-size element runs to `end`.
inline std::vector<Element> children(const std::vector<uint8_t>& f, size_t begin, size_t end, bool& ok) {
    std::vector<Element> out;
    size_t pos = begin;
    while (pos < end) {
        Element e;
        e.start = pos;
        uint64_t id = 0, size = 0;
        int idLen = 0, sizeLen = 0;
        if (!readVint(f, pos, end, id, idLen, true) || idLen > 4 ||
            !readVint(f, pos, end, size, sizeLen, false)) {
            ok = false;
            break;
        }
        e.id = static_cast<uint32_t>(id);
        e.data = pos;
        const bool unknown = size == (uint64_t(1) << (7 * sizeLen)) - 1;
        if (unknown) {
            e.end = end;
        } else {
            if (size > end - pos) {
                ok = false;
                break;
            }
            e.end = pos + size;
        }
        out.push_back(e);
        pos = e.end;
    }
    return out;
}

inline uint64_t uintOf(const std::vector<uint8_t>& f, const Element& e) {
    uint64_t v = 0;
    for (size_t i = e.data; i < e.end; ++i) v = (v << 8) | f[i];
    return v;
}

inline double floatOf(const std::vector<uint8_t>& f, size_t at) {
    uint64_t bits = 0;
    for (size_t i = 0; i < 8; ++i) bits = (bits << 8) | f[at + i];
    double d = 0;
    std::memcpy(&d, &bits, 8);
    return d;
}

struct Block {
    int track = 0;
    int64_t time = 0;  // cluster time + relative time, ms
    int relative = 0;
    bool key = false;
    std::vector<uint8_t> data;
};

struct Cluster {
    int64_t time = 0;
    std::vector<Block> blocks;
};

struct File {
    bool ok = true;
    double duration = -1;
    std::vector<std::string> codecs;  // per TrackEntry, in order
    std::vector<std::vector<uint8_t>> codecPrivate;
    std::vector<Cluster> clusters;
    std::vector<Block> blocks() const {
        std::vector<Block> all;
        for (const Cluster& c : clusters) all.insert(all.end(), c.blocks.begin(), c.blocks.end());
        return all;
    }
};

inline std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline File parse(const std::vector<uint8_t>& f) {
    File out;
    bool& ok = out.ok;
    const auto top = children(f, 0, f.size(), ok);
    if (top.size() < 2 || top[0].id != MkvId::kEbmlHeader || top[1].id != MkvId::kSegment) {
        ok = false;
        return out;
    }
    for (const Element& s : children(f, top[1].data, top[1].end, ok)) {
        if (s.id == MkvId::kInfo) {
            for (const Element& i : children(f, s.data, s.end, ok))
                if (i.id == MkvId::kDuration && i.end - i.data == 8) out.duration = floatOf(f, i.data);
        } else if (s.id == MkvId::kTracks) {
            for (const Element& t : children(f, s.data, s.end, ok)) {
                std::string codec;
                std::vector<uint8_t> priv;
                for (const Element& x : children(f, t.data, t.end, ok)) {
                    if (x.id == MkvId::kCodecId) codec.assign(f.begin() + x.data, f.begin() + x.end);
                    if (x.id == MkvId::kCodecPrivate) priv.assign(f.begin() + x.data, f.begin() + x.end);
                }
                out.codecs.push_back(codec);
                out.codecPrivate.push_back(priv);
            }
        } else if (s.id == MkvId::kCluster) {
            Cluster c;
            for (const Element& x : children(f, s.data, s.end, ok)) {
                if (x.id == MkvId::kTimestamp) c.time = static_cast<int64_t>(uintOf(f, x));
                if (x.id == MkvId::kSimpleBlock && x.end - x.data >= 4) {
                    Block b;
                    b.track = f[x.data] & 0x7F;
                    b.relative = static_cast<int16_t>((f[x.data + 1] << 8) | f[x.data + 2]);
                    b.time = c.time + b.relative;
                    b.key = (f[x.data + 3] & kMkvSimpleBlockKeyframe) != 0;
                    b.data.assign(f.begin() + x.data + 4, f.begin() + x.end);
                    c.blocks.push_back(std::move(b));
                }
            }
            out.clusters.push_back(std::move(c));
        }
    }
    return out;
}

}  // namespace ebml
