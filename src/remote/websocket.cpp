#include "remote/websocket.h"

#include <cassert>

namespace {

constexpr uint8_t kMaskBit = 0x80;
constexpr uint8_t kFinBit = 0x80;
constexpr uint8_t kLength16 = 126;
constexpr uint8_t kLength64 = 127;
constexpr uint8_t kLengthMask = 0x7F;
constexpr uint8_t kOpcodeMask = 0x0F;
constexpr size_t kMaskSize = 4;

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lower(c);
    return out;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The next white-space separated word of the request line.
std::string_view nextWord(std::string_view line, size_t& pos) {
    while (pos < line.size() && (isBlank(line[pos]) || line[pos] == '\v' || line[pos] == '\f')) ++pos;
    const size_t start = pos;
    while (pos < line.size() && !isBlank(line[pos]) && line[pos] != '\v' && line[pos] != '\f') ++pos;
    return line.substr(start, pos - start);
}

}  // namespace

std::string trimSpaces(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

bool parseUpgradeRequest(std::string_view text, UpgradeRequest& out) {
    out = UpgradeRequest{};
    size_t lineEnd = text.find('\n');
    const std::string_view first = text.substr(0, lineEnd);
    size_t pos = 0;
    const std::string_view method = nextWord(first, pos);
    out.path = std::string(nextWord(first, pos));
    if (method != "GET") return false;
    bool upgrade = false;
    while (lineEnd != std::string_view::npos) {
        const size_t start = lineEnd + 1;
        lineEnd = text.find('\n', start);
        const std::string_view line = text.substr(start, lineEnd == std::string_view::npos ? text.npos : lineEnd - start);
        const size_t colon = line.find(':');
        if (line.empty() || colon == std::string_view::npos) continue;
        const std::string name = lowered(trimSpaces(line.substr(0, colon)));
        std::string value = trimSpaces(line.substr(colon + 1));
        if (name == "upgrade")
            upgrade = lowered(value) == "websocket";
        else if (name == "sec-websocket-key")
            out.key = std::move(value);
        else if (name == "origin")
            out.origin = std::move(value);
    }
    return upgrade && !out.key.empty();
}

std::string queryParam(std::string_view path, std::string_view name) {
    const size_t question = path.find('?');
    if (question == std::string_view::npos) return "";
    size_t start = question + 1;
    for (;;) {
        const size_t amp = path.find('&', start);
        const std::string_view param = path.substr(start, amp == std::string_view::npos ? path.npos : amp - start);
        const size_t eq = param.find('=');
        if (eq != std::string_view::npos && param.substr(0, eq) == name) return std::string(param.substr(eq + 1));
        if (amp == std::string_view::npos) return "";
        start = amp + 1;
    }
}

std::string websocketAcceptSource(std::string_view key) {
    std::string source(key);
    source += kWebSocketGuid;
    return source;
}

std::string base64Encode(const uint8_t* bytes, size_t length) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const uint32_t v = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (length - i == 1) {
        const uint32_t v = uint32_t(bytes[i]) << 16;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (length - i == 2) {
        const uint32_t v = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string websocketHandshakeResponse(const Sha1Digest& digest) {
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Accept: " +
           base64Encode(digest.data(), digest.size()) + "\r\n\r\n";
}

std::string websocketAccept(std::string_view key) {
    const std::string source = websocketAcceptSource(key);
    return websocketHandshakeResponse(sha1(source.data(), source.size()));
}

int websocketParseFrame(const uint8_t* buffer, size_t length, WebSocketFrame& out) {
    if (length < 2) return 0;
    if (!(buffer[1] & kMaskBit)) return -1;
    uint64_t payloadSize = buffer[1] & kLengthMask;
    size_t header = 2;
    if (payloadSize == kLength16) {
        header = 4;
        if (length < header) return 0;
        payloadSize = uint64_t(buffer[2]) << 8 | buffer[3];
    } else if (payloadSize == kLength64) {
        header = 10;
        if (length < header) return 0;
        payloadSize = 0;
        for (int i = 2; i < 10; ++i) payloadSize = payloadSize << 8 | buffer[i];
    }
    // Checked before any sum, so a 2^63 length cannot wrap the arithmetic below.
    if (payloadSize > kMaxClientPayload) return -1;
    const size_t total = header + kMaskSize + size_t(payloadSize);
    if (length < total) return 0;
    out.opcode = buffer[0] & kOpcodeMask;
    const uint8_t* mask = buffer + header;
    const uint8_t* data = mask + kMaskSize;
    out.payload.resize(size_t(payloadSize));
    for (size_t i = 0; i < payloadSize; ++i) out.payload[i] = char(data[i] ^ mask[i % kMaskSize]);
    return int(total);
}

std::string websocketFrame(uint32_t opcode, std::string_view payload) {
    std::string frame;
    frame.reserve(payload.size() + 10);
    appendWebsocketFrame(frame, opcode, payload);
    return frame;
}

void appendWebsocketFrame(std::string& out, uint32_t opcode, std::string_view payload) {
    assert(opcode <= kOpcodeMask);
    out += char(kFinBit | opcode);
    const uint64_t n = payload.size();
    if (n < kLength16) {
        out += char(n);
    } else if (n <= 0xFFFF) {
        out += char(kLength16);
        out += char(n >> 8);
        out += char(n & 0xFF);
    } else {
        out += char(kLength64);
        for (int i = 7; i >= 0; --i) out += char((n >> (8 * i)) & 0xFF);
    }
    out += payload;
}

bool secretEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    volatile uint8_t diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff = diff | uint8_t(a[i] ^ b[i]);
    return diff == 0;
}
