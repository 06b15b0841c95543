#pragma once
// Seeded random drivers for the three parsers that read network bytes: the
// WebSocket frame parser, the HTTP upgrade-request parser and the phone video
// datagram parser with its assembler. Random and mutated inputs go through
// each, and every result is checked against what must always hold.

#include <cstdint>
#include <string>

struct RemoteFuzzResult {
    uint64_t inputs = 0;
    uint64_t accepted = 0;  // inputs the parser took as well-formed
    std::string failure;    // empty when every check held
    std::string failingInput;
};

enum class RemoteFuzzTarget { Frame, Upgrade, Datagram };

// Runs until `count` inputs were tried or `seconds` passed (0 = no limit).
RemoteFuzzResult runRemoteFuzz(RemoteFuzzTarget target, uint64_t seed, uint64_t count, double seconds);
const char* remoteFuzzName(RemoteFuzzTarget target);
