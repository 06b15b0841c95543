#include "remote/sha1.h"

#include <cstring>

namespace {

uint32_t rotl(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

void compress(uint32_t state[5], const uint8_t block[64]) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(block[4 * i]) << 24 | uint32_t(block[4 * i + 1]) << 16 |
               uint32_t(block[4 * i + 2]) << 8 | uint32_t(block[4 * i + 3]);
    for (int i = 16; i < 80; ++i) w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const uint32_t t = rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = t;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

}  // namespace

Sha1Digest sha1(const void* data, size_t length) {
    uint32_t state[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t left = length;
    for (; left >= 64; left -= 64, bytes += 64) compress(state, bytes);
    // Padding: 0x80, zeros, then the bit length big-endian in the last 8 bytes.
    uint8_t tail[128] = {};
    if (left) std::memcpy(tail, bytes, left);
    tail[left] = 0x80;
    const size_t tailSize = left < 56 ? 64 : 128;
    const uint64_t bits = uint64_t(length) * 8;
    for (int i = 0; i < 8; ++i) tail[tailSize - 1 - i] = uint8_t(bits >> (8 * i));
    compress(state, tail);
    if (tailSize == 128) compress(state, tail + 64);
    Sha1Digest digest;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 4; ++j) digest[4 * i + j] = uint8_t(state[i] >> (24 - 8 * j));
    return digest;
}
