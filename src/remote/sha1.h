#pragma once
// SHA-1 (FIPS 180-4), used only for the WebSocket handshake's accept value.
// Windows asks BCrypt; the native build carries its own.

#include <array>
#include <cstddef>
#include <cstdint>

using Sha1Digest = std::array<uint8_t, 20>;

// The digest of `length` bytes. Should the system refuse to hash, the digest is
// all zeros, which no client accepts as a handshake answer.
Sha1Digest sha1(const void* data, size_t length);
