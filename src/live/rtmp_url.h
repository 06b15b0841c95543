#pragma once
// Splits a destination's server URL into what the RTMP session needs.

#include <string>

// The ports a URL without one implies.
constexpr int kRtmpPort = 1935;
constexpr int kRtmpsPort = 443;

struct RtmpEndpoint {
    bool tls = false;
    std::string host;
    std::string app;
    std::string tcUrl;
    int port = kRtmpPort;
};

// False with a message for the user; the endpoint is then not to be used.
bool parseRtmpUrl(const std::string& url, RtmpEndpoint& out, std::string& error);
