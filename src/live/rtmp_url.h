#pragma once
// Splits a destination's server URL into what the RTMP session needs.

#include <string>

struct RtmpEndpoint {
    bool tls = false;
    std::string host;
    std::string app;
    std::string tcUrl;
    int port = 1935;
};

// False with a message for the user; the endpoint is then not to be used.
bool parseRtmpUrl(const std::string& url, RtmpEndpoint& out, std::string& error);
