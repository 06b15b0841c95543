// A small streaming Matroska writer: one H.264 track and an optional AAC track, clusters of
// SimpleBlocks appended whole as they close, and the duration patched in at the end. The segment
// has an unknown size and there is no SeekHead or Cues, so a copy taken while the file grows is
// readable up to the last closed cluster.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

struct MkvTrackInfo {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> avcC;
    int32_t sampleRate = 0;  // 0 = no audio track
    int32_t channels = 2;
    std::vector<uint8_t> audioSpecificConfig;
};

// Matroska element ids, named as the format names them; the tests' reader uses them too.
namespace MkvId {
constexpr uint32_t kEbmlHeader = 0x1A45DFA3;
constexpr uint32_t kEbmlVersion = 0x4286;
constexpr uint32_t kEbmlReadVersion = 0x42F7;
constexpr uint32_t kEbmlMaxIdLength = 0x42F2;
constexpr uint32_t kEbmlMaxSizeLength = 0x42F3;
constexpr uint32_t kDocType = 0x4282;
constexpr uint32_t kDocTypeVersion = 0x4287;
constexpr uint32_t kDocTypeReadVersion = 0x4285;
constexpr uint32_t kSegment = 0x18538067;
constexpr uint32_t kInfo = 0x1549A966;
constexpr uint32_t kTimestampScale = 0x2AD7B1;
constexpr uint32_t kMuxingApp = 0x4D80;
constexpr uint32_t kWritingApp = 0x5741;
constexpr uint32_t kDuration = 0x4489;
constexpr uint32_t kTracks = 0x1654AE6B;
constexpr uint32_t kTrackEntry = 0xAE;
constexpr uint32_t kTrackNumber = 0xD7;
constexpr uint32_t kTrackUid = 0x73C5;
constexpr uint32_t kTrackType = 0x83;
constexpr uint32_t kCodecId = 0x86;
constexpr uint32_t kCodecPrivate = 0x63A2;
constexpr uint32_t kVideo = 0xE0;
constexpr uint32_t kPixelWidth = 0xB0;
constexpr uint32_t kPixelHeight = 0xBA;
constexpr uint32_t kAudio = 0xE1;
constexpr uint32_t kSamplingFrequency = 0xB5;
constexpr uint32_t kChannels = 0x9F;
constexpr uint32_t kCluster = 0x1F43B675;
constexpr uint32_t kTimestamp = 0xE7;
constexpr uint32_t kSimpleBlock = 0xA3;
}  // namespace MkvId

// The flags byte of a SimpleBlock: the block is a key frame.
constexpr uint8_t kMkvSimpleBlockKeyframe = 0x80;

// EBML element writers; each appends to `out`.
void ebmlPutId(std::vector<uint8_t>& out, uint32_t id);
void ebmlPutSize(std::vector<uint8_t>& out, uint64_t n);
void ebmlPutUInt(std::vector<uint8_t>& out, uint32_t id, uint64_t v);
void ebmlPutFloat(std::vector<uint8_t>& out, uint32_t id, double x);
void ebmlPutBytes(std::vector<uint8_t>& out, uint32_t id, const void* data, size_t size);
void ebmlPutString(std::vector<uint8_t>& out, uint32_t id, const std::string& text);
void ebmlPutMaster(std::vector<uint8_t>& out, uint32_t id, const std::vector<uint8_t>& content);

class MkvWriter {
public:
    // With the Info this writer produces, the Duration value always sits at this file offset.
    static constexpr int64_t kDurationOffset = 93;
    // Track numbers of the video and the optional audio track.
    static constexpr int kVideoTrack = 1;
    static constexpr int kAudioTrack = 2;

    bool open(const std::wstring& path);
    void writeHeader(const MkvTrackInfo& info);
    // `track` is kVideoTrack or kAudioTrack. Time in milliseconds; audio blocks are always
    // written as key frames by the caller.
    void writeBlock(int track, const uint8_t* data, size_t size, int64_t timeMs, bool key);
    // Flushes the open cluster, patches the duration (ms) and closes. True when every write
    // succeeded; true as well when the file was never opened.
    bool finish(int64_t durationMs);

    bool isOpen() const { return file.is_open(); }
    bool headerWritten() const { return headerDone; }
    // The stream has failed (a write could not be completed).
    bool failed() const { return file.is_open() && !file.good(); }

private:
    void flushCluster();

    std::ofstream file;
    bool headerDone = false;
    std::vector<uint8_t> cluster;
    int64_t clusterTime = 0;
    int64_t durationPosition = 0;
};
