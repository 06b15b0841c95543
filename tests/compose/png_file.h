#pragma once
// Writes BGRA pixels as an uncompressed PNG, so that a person can look at
// what a test rendered.

#include <cstdint>
#include <string>

bool writeBgraPng(const std::string& path, const std::uint8_t* bgra, int width, int height, int rowPitch);
