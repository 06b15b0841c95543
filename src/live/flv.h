#pragma once
// FLV tag bodies for RTMP audio and video messages: AAC and AVC.

#include <cstddef>
#include <cstdint>
#include <vector>

// Codec numbers of the tag headers; the stream's metadata names its codecs by them too.
constexpr uint8_t kFlvCodecAvc = 7;
constexpr uint8_t kFlvSoundFormatAac = 10;

// The first byte of an audio body: AAC with the 44 kHz / 16-bit / stereo flags that FLV
// requires of AAC whatever the stream carries.
constexpr uint8_t kFlvAacHeader = kFlvSoundFormatAac << 4 | 0x0F;

// The second byte of an audio body.
enum FlvAacPacketType : uint8_t { kFlvAacSequenceHeader = 0, kFlvAacRaw = 1 };

// The frame type, the high nibble of a video body's first byte.
enum FlvFrameType : uint8_t { kFlvKeyFrame = 1, kFlvInterFrame = 2 };

// The second byte of an AVC video body.
enum FlvAvcPacketType : uint8_t { kFlvAvcSequenceHeader = 0, kFlvAvcNalu = 1 };

std::vector<uint8_t> appendAndTake(std::vector<uint8_t> head, const uint8_t* bytes, size_t length);
std::vector<uint8_t> flvAacSequenceHeader(const std::vector<uint8_t>& audioSpecificConfig);
std::vector<uint8_t> flvAacFrame(const uint8_t* frame, size_t length);
std::vector<uint8_t> flvAvcSequenceHeaderTag(const std::vector<uint8_t>& avcC);
std::vector<uint8_t> flvAvcNaluTag(const std::vector<uint8_t>& lengthPrefixedNalus, bool keyframe);
