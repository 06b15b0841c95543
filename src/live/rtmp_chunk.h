#pragma once
// The RTMP chunk layer: whole messages to chunks and back.

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

struct RtmpMessage {
    uint8_t typeId = 0;
    uint32_t streamId = 0;
    uint32_t timestamp = 0;
    uint32_t chunkStreamId = 0;
    std::vector<uint8_t> payload;
};

constexpr uint32_t kRtmpMaxMessageLength = 0x1000000;
// Each side's chunk size until it sends a Set Chunk Size message.
constexpr uint32_t kRtmpDefaultChunkSize = 128;

void rtmpWriteBasicHeader(std::vector<uint8_t>& out, int fmt, uint32_t csid);
// Appends the message as chunks of chunkSize (at least 1) payload bytes.
void rtmpWriteMessage(std::vector<uint8_t>& out, const RtmpMessage& message, uint32_t chunkSize);
// The same from loose fields, so a media body need not be copied into a message.
void rtmpWriteMessage(std::vector<uint8_t>& out, uint8_t typeId, uint32_t csid, uint32_t streamId, uint32_t timestamp,
                      const uint8_t* payload, size_t length, uint32_t chunkSize);

class RtmpChunkReader {
public:
    void append(const uint8_t* data, size_t length);
    // A chunk size of 0 can never carry a payload, so it fails the reader.
    void setChunkSize(uint32_t size);
    uint32_t chunkSize() const { return chunkSize_; }

    // False when more bytes are needed or the reader has failed; true when a
    // chunk was taken, with complete set when it finished a message.
    bool readChunk(RtmpMessage& out, bool& complete);
    // False when no further whole message is buffered (or the reader failed).
    bool readMessage(RtmpMessage& out);

    bool failed() const { return failed_; }
    size_t buffered() const { return buffer_.size() - consumed_; }

private:
    struct StreamState {
        std::vector<uint8_t> partial;
        uint32_t timestamp = 0;
        uint32_t length = 0;
        uint8_t typeId = 0;
        bool extended = false;
        uint32_t streamId = 0;
    };

    uint32_t chunkSize_ = kRtmpDefaultChunkSize;
    std::vector<uint8_t> buffer_;
    size_t consumed_ = 0;
    std::map<uint32_t, StreamState> states_;
    bool failed_ = false;
};
