// The phone's side of the video datagrams, for the tests and the benchmark: a datagram header
// as the phone writes it, and the UDP service started on a free loopback port.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "remote/discovery.h"
#include "remote/os_random.h"

// Header of fragment `index` of `count` of frame `frame`; the payload goes after it.
inline std::vector<uint8_t> phoneDatagramHeader(uint32_t session, uint32_t frame, uint16_t index,
                                                uint16_t count, bool key, int rotation = 0) {
    std::vector<uint8_t> d = {'Q', 'H', 1, uint8_t((key ? 1 : 0) | (rotation << 1))};
    for (uint32_t v : {session, frame})
        for (int i = 3; i >= 0; --i) d.push_back(uint8_t(v >> (8 * i)));
    for (uint16_t v : {index, count}) {
        d.push_back(uint8_t(v >> 8));
        d.push_back(uint8_t(v));
    }
    return d;
}

// The port the service listens on, 0 when no free one was found in 50 tries.
inline int startOnFreePort(Discovery& discovery, std::shared_ptr<PhoneFeed> feed,
                           const std::string& name) {
    for (int i = 0; i < 50; ++i) {
        const int port = 20000 + int(osRandom32() % 30000);
        if (discovery.start(port, false, feed, name).empty()) return port;
    }
    return 0;
}
