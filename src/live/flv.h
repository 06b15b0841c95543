#pragma once
// FLV tag bodies for RTMP audio messages. The AVC video bodies are built by
// the media packaging helpers.

#include <cstddef>
#include <cstdint>
#include <vector>

// 0xAF: AAC with the fixed 44 kHz / 16-bit / stereo flags that FLV requires.
constexpr uint8_t kFlvAacHeader = 0xAF;

std::vector<uint8_t> appendAndTake(std::vector<uint8_t> head, const uint8_t* bytes, size_t length);
std::vector<uint8_t> flvAacSequenceHeader(const std::vector<uint8_t>& audioSpecificConfig);
std::vector<uint8_t> flvAacFrame(const uint8_t* frame, size_t length);
