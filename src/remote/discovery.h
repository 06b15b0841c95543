#pragma once
// The UDP discovery and phone-video service held by the Studio; idle here.

#include <string>
#include <vector>

class Discovery {
public:
    Discovery() = default;
    ~Discovery() { stop(); }
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    void stop() {}
    // This PC's IPv4 addresses on its local networks, for the user to type on a phone.
    std::vector<std::string> localIpv4Addresses() const { return {}; }
};
