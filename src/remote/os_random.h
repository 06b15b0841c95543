#pragma once
// Values from the operating system's random source, for the control token, the
// pairing code and the phone-camera session numbers.

#include <cstdint>

uint32_t osRandom32();
