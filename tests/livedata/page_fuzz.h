#pragma once
// A seeded random driver for the video-service page readers: hand-written
// pages, mutated and spliced, go through every reader, and each result is
// checked against what must always hold (valid identifiers, keys and paths,
// intervals in range, valid UTF-8, chat lines that cannot be forged).

#include <cstdint>
#include <string>

struct PageFuzzResult {
    std::uint64_t inputs = 0;
    std::uint64_t chatsStarted = 0;  // live-chat pages the reader accepted
    std::uint64_t repliesRead = 0;   // poll replies the reader accepted
    std::string failure;             // empty when every check held
    std::string failingInput;
};

// Runs until `count` inputs were tried or `seconds` passed (0 = no limit).
PageFuzzResult runPageFuzz(std::uint64_t seed, std::uint64_t count, double seconds);
