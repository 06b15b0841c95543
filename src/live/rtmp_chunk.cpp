#include "live/rtmp_chunk.h"

#include <algorithm>

namespace {

// Chunk header formats, the top two bits of the basic header: a full message header, one
// without the stream id, one with the timestamp delta only, and none (a continuation).
constexpr int kFmtFull = 0;
constexpr int kFmtSameStream = 1;
constexpr int kFmtTimeDelta = 2;
constexpr int kFmtContinuation = 3;
// Message header bytes of each format.
constexpr size_t kHeaderSize[4] = {11, 7, 3, 0};
// A 24-bit timestamp field of all ones: the real value follows in 32 bits.
constexpr uint32_t kExtendedTimestamp = 0xFFFFFF;
// Chunk stream ids 0 and 1 in the basic header announce a one- or two-byte id that follows,
// counted from 64.
constexpr uint32_t kCsidTwoBytes = 0;
constexpr uint32_t kCsidThreeBytes = 1;
constexpr uint32_t kCsidOffset = 64;

void put24(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    put24(out, v);
}

uint32_t get24(const uint8_t* p) { return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]; }
uint32_t get32(const uint8_t* p) { return uint32_t(p[0]) << 24 | get24(p + 1); }

}  // namespace

void rtmpWriteBasicHeader(std::vector<uint8_t>& out, int fmt, uint32_t csid) {
    const uint8_t top = static_cast<uint8_t>((fmt & 3) << 6);
    if (csid < kCsidOffset) {
        out.push_back(static_cast<uint8_t>(top | csid));
    } else if (csid < kCsidOffset + 256) {
        out.push_back(static_cast<uint8_t>(top | kCsidTwoBytes));
        out.push_back(static_cast<uint8_t>(csid - kCsidOffset));
    } else {
        out.push_back(static_cast<uint8_t>(top | kCsidThreeBytes));
        out.push_back(static_cast<uint8_t>((csid - kCsidOffset) & 0xFF));
        out.push_back(static_cast<uint8_t>((csid - kCsidOffset) >> 8));
    }
}

void rtmpWriteMessage(std::vector<uint8_t>& out, const RtmpMessage& m, uint32_t chunkSize) {
    rtmpWriteMessage(out, m.typeId, m.chunkStreamId, m.streamId, m.timestamp, m.payload.data(), m.payload.size(),
                     chunkSize);
}

void rtmpWriteMessage(std::vector<uint8_t>& out, uint8_t typeId, uint32_t csid, uint32_t streamId, uint32_t timestamp,
                      const uint8_t* payload, size_t total, uint32_t chunkSize) {
    if (chunkSize == 0) chunkSize = 1;
    const bool extended = timestamp >= kExtendedTimestamp;
    out.reserve(out.size() + 16 + total + (total / chunkSize + 1) * 8);
    rtmpWriteBasicHeader(out, kFmtFull, csid);
    put24(out, extended ? kExtendedTimestamp : timestamp);
    put24(out, static_cast<uint32_t>(total));
    out.push_back(typeId);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(streamId >> (8 * i)));
    if (extended) put32(out, timestamp);
    size_t pos = 0;
    for (;;) {
        const size_t piece = std::min<size_t>(chunkSize, total - pos);
        if (piece > 0) out.insert(out.end(), payload + pos, payload + pos + piece);
        pos += piece;
        if (pos >= total) break;
        rtmpWriteBasicHeader(out, kFmtContinuation, csid);
        if (extended) put32(out, timestamp);
    }
}

void RtmpChunkReader::append(const uint8_t* data, size_t length) {
    if (consumed_ == buffer_.size()) {
        buffer_.clear();
        consumed_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + length);
}

void RtmpChunkReader::setChunkSize(uint32_t size) {
    chunkSize_ = size;
    if (size == 0) failed_ = true;
}

bool RtmpChunkReader::readChunk(RtmpMessage& out, bool& complete) {
    complete = false;
    if (failed_) return false;
    const uint8_t* p = buffer_.data() + consumed_;
    const size_t avail = buffer_.size() - consumed_;
    size_t at = 0;
    if (avail < 1) return false;
    const int fmt = p[0] >> 6;
    uint32_t csid = p[0] & 0x3F;
    at = 1;
    if (csid == kCsidTwoBytes) {
        if (avail < 2) return false;
        csid = kCsidOffset + p[1];
        at = 2;
    } else if (csid == kCsidThreeBytes) {
        if (avail < 3) return false;
        csid = kCsidOffset + p[1] + 256u * p[2];
        at = 3;
    }
    if (avail - at < kHeaderSize[fmt]) return false;

    auto found = states_.find(csid);
    const StreamState blank;
    const StreamState& prior = found != states_.end() ? found->second : blank;

    uint32_t timeField = 0, length = prior.length, streamId = prior.streamId;
    uint8_t typeId = prior.typeId;
    bool extended = prior.extended;
    const uint8_t* h = p + at;
    if (fmt != kFmtContinuation) {
        timeField = get24(h);
        extended = timeField == kExtendedTimestamp;
    }
    if (fmt == kFmtFull || fmt == kFmtSameStream) {
        length = get24(h + 3);
        typeId = h[6];
    }
    if (fmt == kFmtFull) streamId = uint32_t(h[7]) | uint32_t(h[8]) << 8 | uint32_t(h[9]) << 16 | uint32_t(h[10]) << 24;
    at += kHeaderSize[fmt];
    if (extended) {
        if (avail - at < 4) return false;
        timeField = get32(p + at);
        at += 4;
    }
    // A header that shrinks a message below what is already assembled would
    // make the remaining count wrap; such a stream cannot be trusted further.
    if (length > kRtmpMaxMessageLength || length < prior.partial.size() || chunkSize_ == 0) {
        failed_ = true;
        return false;
    }
    const size_t piece = std::min<size_t>(length - prior.partial.size(), chunkSize_);
    if (avail - at < piece) return false;

    StreamState& st = states_[csid];
    const bool starting = st.partial.empty();
    if (fmt != kFmtContinuation) st.extended = extended;
    if (starting && fmt == kFmtFull) st.timestamp = timeField;
    if (starting && (fmt == kFmtSameStream || fmt == kFmtTimeDelta)) st.timestamp += timeField;
    st.length = length;
    st.typeId = typeId;
    st.streamId = streamId;
    st.partial.insert(st.partial.end(), p + at, p + at + piece);
    consumed_ += at + piece;

    if (st.partial.size() == st.length) {
        out.typeId = st.typeId;
        out.streamId = st.streamId;
        out.timestamp = st.timestamp;
        out.chunkStreamId = csid;
        out.payload = std::move(st.partial);
        st.partial = {};
        complete = true;
    }
    return true;
}

bool RtmpChunkReader::readMessage(RtmpMessage& out) {
    bool complete = false;
    while (readChunk(out, complete)) {
        if (consumed_ > 65536) {
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(consumed_));
            consumed_ = 0;
        }
        if (complete) return true;
    }
    return false;
}
