// Stateless pixel and bit-stream helpers shared by the encoders, the recorders, the virtual
// camera and the live outputs. Every byte layout here is exact.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// BGRA (alpha ignored) to NV12, BT.709 limited range, 8-bit fixed point. The destination holds
// width * height luma bytes followed by height / 2 rows of width interleaved U V bytes.
// Chroma is taken from whole 2 x 2 blocks; with an odd width or height every pixel still gets its
// luma, the chroma byte pair that has no whole block is set to neutral 128, and nothing outside
// width * height * 3 / 2 destination bytes or the source rows is touched.
void bgraToNv12(const uint8_t* src, int srcStride, int width, int height, uint8_t* dst);

// Bilinear BGRA scaling in 8.8 fixed point with pixel-centre sampling. Destination rows are packed
// (dstWidth * 4 bytes).
void scaleBgraBilinear(const uint8_t* src, int srcStride, int srcWidth, int srcHeight,
                       uint8_t* dst, int dstWidth, int dstHeight);

// The same two conversions in plain per-pixel arithmetic. The fast versions above must match them
// byte for byte; tests and benchmarks compare against these.
void bgraToNv12Reference(const uint8_t* src, int srcStride, int width, int height, uint8_t* dst);
void scaleBgraBilinearReference(const uint8_t* src, int srcStride, int srcWidth, int srcHeight,
                                uint8_t* dst, int dstWidth, int dstHeight);

// Fits a frame to a target short side, never upscaling; the result is even on both sides unless
// the size is returned unchanged (target <= 0 or not below the short side).
void fitShortSide(int width, int height, int targetShortSide, int& outWidth, int& outHeight);

struct NalSpan {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// H.264 NAL unit types.
enum NalType : int { kNalIdr = 5, kNalSps = 7, kNalPps = 8, kNalAccessUnitDelimiter = 9 };

// The type of a unit, from the low five bits of its first byte.
inline int nalType(const NalSpan& unit) { return unit.data[0] & 0x1F; }

// NAL units of an Annex-B stream, pointing into the input.
std::vector<NalSpan> splitAnnexB(const uint8_t* data, size_t size);

// Builds the avcC decoder configuration record from the first SPS and PPS of the stream. Returns
// false and leaves `out` untouched when either is missing or the SPS is shorter than 4 bytes.
bool avcDecoderConfigFromAnnexB(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

// Annex-B to 4-byte length-prefixed NAL units, without SPS, PPS and access-unit delimiters.
std::vector<uint8_t> annexBToAvcc(const uint8_t* data, size_t size);

// AAC-LC AudioSpecificConfig (2 bytes); unknown rates are treated as 44100.
std::vector<uint8_t> aacAudioSpecificConfig(int sampleRate, int channels);
