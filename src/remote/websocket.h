#pragma once
// The pieces of the WebSocket protocol that the control server speaks: the
// HTTP upgrade request, the handshake answer and single frames. No
// extensions, no subprotocols, and fragments are never joined.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "remote/sha1.h"

inline constexpr uint32_t kOpContinuation = 0;
inline constexpr uint32_t kOpText = 1;
inline constexpr uint32_t kOpBinary = 2;
inline constexpr uint32_t kOpClose = 8;
inline constexpr uint32_t kOpPing = 9;
inline constexpr uint32_t kOpPong = 10;

// The largest client payload taken; a larger announced length drops the client.
inline constexpr uint64_t kMaxClientPayload = 1048576;

inline constexpr std::string_view kWebSocketGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
inline constexpr std::string_view kForbiddenReply = "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n";

struct UpgradeRequest {
    std::string key;     // Sec-WebSocket-Key
    std::string path;    // the request target, query included
    std::string origin;  // kept, not used
};

struct WebSocketFrame {
    uint32_t opcode = 0;  // low four bits of the first byte
    std::string payload;  // unmasked
};

// True for a GET with "Upgrade: websocket" (any letter case) and a non-empty key.
bool parseUpgradeRequest(std::string_view text, UpgradeRequest& out);
// The raw value of `name` in the path's query ("" when absent); no percent-decoding.
std::string queryParam(std::string_view path, std::string_view name);
// Strips spaces, tabs and carriage returns at both ends.
std::string trimSpaces(std::string_view text);

std::string websocketAcceptSource(std::string_view key);
std::string base64Encode(const uint8_t* bytes, size_t length);
std::string websocketHandshakeResponse(const Sha1Digest& digest);
// The full 101 answer to a request carrying `key`.
std::string websocketAccept(std::string_view key);

// One client frame from the front of the buffer: 0 when more bytes are needed,
// -1 when malformed (unmasked, or longer than kMaxClientPayload), else the
// number of bytes the frame used.
int websocketParseFrame(const uint8_t* buffer, size_t length, WebSocketFrame& out);
// One unmasked server frame with FIN set.
std::string websocketFrame(uint32_t opcode, std::string_view payload);
// The same frame appended to `out`.
void appendWebsocketFrame(std::string& out, uint32_t opcode, std::string_view payload);

// Compares two secrets in time that depends only on their lengths.
bool secretEquals(std::string_view a, std::string_view b);
