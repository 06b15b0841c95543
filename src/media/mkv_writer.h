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

    bool open(const std::wstring& path);
    void writeHeader(const MkvTrackInfo& info);
    // Time in milliseconds; audio blocks are always written as key frames by the caller.
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
