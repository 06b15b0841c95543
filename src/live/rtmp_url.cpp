#include "live/rtmp_url.h"

#include "live/amf0.h"
#include "net/byte_stream.h"

#include <cctype>

namespace {

// Leading white space, an optional sign and the leading digits; anything
// unreadable is 0. Saturates instead of overflowing so that a long run of
// digits is still out of range rather than wrapping back into it.
long long readDecimal(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    long long value = 0;
    constexpr long long kCap = 1LL << 40;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > kCap) value = kCap;
    }
    return negative ? -value : value;
}

}  // namespace

bool parseRtmpUrl(const std::string& url, RtmpEndpoint& out, std::string& error) {
    std::string text = url;
    while (!text.empty() && (text.back() == '/' || text.back() == ' ')) text.pop_back();
    size_t lead = 0;
    while (lead < text.size() && text[lead] == ' ') ++lead;
    text.erase(0, lead);

    RtmpEndpoint ep;
    size_t hostStart;
    if (text.size() >= 8 && text.compare(0, 8, "rtmps://") == 0) {
        ep.tls = true;
        ep.port = kRtmpsPort;
        hostStart = 8;
    } else if (text.size() >= 7 && text.compare(0, 7, "rtmp://") == 0) {
        ep.port = kRtmpPort;
        hostStart = 7;
    } else {
        error = "The server URL must start with rtmp:// or rtmps://";
        return false;
    }
    const size_t slash = text.find('/', hostStart);
    if (slash == std::string::npos || slash + 1 >= text.size()) {
        error = "The server URL needs an app path, e.g. rtmp://host/live";
        return false;
    }
    std::string hostPart = text.substr(hostStart, slash - hostStart);
    const size_t colon = hostPart.find(':');
    if (colon != std::string::npos) {
        const long long port = readDecimal(hostPart.substr(colon + 1));
        if (port < 1 || port > kMaxPort) {
            error = "Bad port in the server URL";
            return false;
        }
        ep.port = static_cast<int>(port);
        hostPart.resize(colon);
    }
    if (hostPart.empty()) {
        error = "The server URL has no host";
        return false;
    }
    // The tcUrl and the app travel as AMF0 strings in the connect command.
    if (text.size() > kAmf0MaxString) {
        error = "The server URL is too long";
        return false;
    }
    ep.host = hostPart;
    ep.app = text.substr(slash + 1);
    ep.tcUrl = text;
    out = ep;
    error.clear();
    return true;
}
