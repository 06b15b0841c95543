#pragma once
// A seeded random driver for the JSON readers and jsonQuote: random and
// mutated documents go through every reader, and each result is checked
// against what must always hold (valid UTF-8 out, positions in range,
// re-read trees equal, nesting bounded).

#include <cstdint>
#include <string>

struct JsonFuzzResult {
  std::uint64_t inputs = 0;
  std::uint64_t treesAccepted = 0;
  std::uint64_t flatAccepted = 0;
  std::string failure;  // empty when every check held
  std::string failingInput;
};

// Runs until `count` inputs were tried or `seconds` passed (0 = no limit).
JsonFuzzResult runJsonFuzz(std::uint64_t seed, std::uint64_t count, double seconds);
