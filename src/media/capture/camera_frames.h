// Pixel work shared by the local-camera and phone-camera paths: NV12 to BGRA, quarter turns and
// the choice among a camera's native formats. Portable; no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Pictures this many rows high or more are converted as HD (BT.709), shorter ones as SD (BT.601).
constexpr int kHdRows = 720;

// NV12 (Y plane of `stride` bytes per row and `codedHeight` rows, then the interleaved UV plane)
// to packed BGRA of width * height * 4 bytes, limited range, alpha 255. The buffer must hold at
// least stride * codedHeight * 3 / 2 bytes, with width <= stride and height <= codedHeight.
// Uses the best vector instructions of the processor (media/simd.h) and never the heap.
void nv12ToBgra(const uint8_t* nv12, int stride, int codedHeight, int width, int height,
                uint8_t* out);
// The same arithmetic one pixel at a time; the fast version must match it byte for byte.
void nv12ToBgraReference(const uint8_t* nv12, int stride, int codedHeight, int width, int height,
                         uint8_t* out);

// Turns a packed BGRA picture `quarterTurns` (1..3) quarter turns clockwise into `dst`, which is
// resized; 1 and 3 swap the sides. Any other value copies the picture unchanged.
void rotateBgra(const uint8_t* src, int width, int height, int quarterTurns, std::vector<uint8_t>& dst,
                int& outWidth, int& outHeight);

// One native format of a camera, as its media type describes it (zeros where an attribute is absent).
struct CameraMode {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t fpsNumerator = 0;
    uint32_t fpsDenominator = 0;
};

// Any rate of 24 or more beats every slower one; then the largest picture up to 1920 wide; then
// the higher rate.
uint64_t cameraModeScore(const CameraMode& mode);
// Index of the best mode (the earlier one on equal scores); -1 for an empty list.
int chooseCameraMode(const std::vector<CameraMode>& modes);

// Device index i names a device of a list of `count` only when 0 <= i < count.
inline bool cameraIndexInRange(int index, uint32_t count) { return index >= 0 && uint32_t(index) < count; }

// A sample buffer of `size` bytes holds `rows` rows of `rowBytes` at `pitch` (which may be
// negative for bottom-up pictures, starting at the last row) only when this is true.
bool cameraBufferHolds(size_t size, int rows, int rowBytes, int pitch);
