#include "remote/ws_client.h"

#include <thread>

#include "remote/os_random.h"

int startOnFreePort(RemoteServer& server, const std::string& token) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int port = 20000 + int(osRandom32() % 30000);
        if (server.start(port, false, token).empty()) return port;
    }
    return 0;
}

std::string clientFrameHeader(uint32_t opcode, uint64_t length) {
    std::string out;
    out += char(0x80 | opcode);
    if (length < 126) {
        out += char(0x80 | length);
    } else if (length <= 0xFFFF) {
        out += char(0x80 | 126);
        out += char(length >> 8);
        out += char(length & 0xFF);
    } else {
        out += char(0x80 | 127);
        for (int i = 7; i >= 0; --i) out += char((length >> (8 * i)) & 0xFF);
    }
    out += "\x12\x34\x56\x78";
    return out;
}

std::string clientFrame(uint32_t opcode, const std::string& payload, bool fin) {
    std::string out = clientFrameHeader(opcode, payload.size());
    if (!fin) out[0] = char(opcode);
    const char mask[4] = {0x12, 0x34, 0x56, 0x78};
    for (size_t i = 0; i < payload.size(); ++i) out += char(payload[i] ^ mask[i % 4]);
    return out;
}

WsClient::WsClient(int port) {
    std::string error;
    stream = openStream("127.0.0.1", port, false, kTestWaitMs, error);
}

bool WsClient::send(const std::string& bytes) {
    return stream && stream->write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

bool WsClient::sendUpgrade(const std::string& target) {
    return send("GET " + target +
                " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
}

int WsClient::fill(int timeoutMs) {
    if (!stream) return -1;
    uint8_t chunk[65536];
    const int got = stream->read(chunk, sizeof chunk, timeoutMs);
    if (got > 0) buffer.append(reinterpret_cast<const char*>(chunk), size_t(got));
    return got;
}

std::string WsClient::readHead() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestWaitMs);
    for (;;) {
        const size_t end = buffer.find("\r\n\r\n");
        if (end != std::string::npos) {
            std::string head = buffer.substr(0, end + 4);
            buffer.erase(0, end + 4);
            return head;
        }
        if (std::chrono::steady_clock::now() > deadline || fill(100) < 0) return "";
    }
}

bool WsClient::open(const std::string& target) {
    return connected() && sendUpgrade(target) && readHead().rfind("HTTP/1.1 101 ", 0) == 0;
}

bool WsClient::readFrame(std::string& payload, uint32_t& opcode, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (buffer.size() >= 2) {
            const auto* b = reinterpret_cast<const uint8_t*>(buffer.data());
            uint64_t length = b[1] & 0x7F;
            size_t header = 2;
            if (length == 126 && buffer.size() >= 4) {
                length = uint64_t(b[2]) << 8 | b[3];
                header = 4;
            } else if (length == 127 && buffer.size() >= 10) {
                length = 0;
                for (int i = 2; i < 10; ++i) length = length << 8 | b[i];
                header = 10;
            }
            if ((b[1] & 0x7F) < 126 || header > 2) {
                if (buffer.size() >= header + length) {
                    opcode = b[0] & 0x0F;
                    payload = buffer.substr(header, size_t(length));
                    buffer.erase(0, header + size_t(length));
                    return true;
                }
            }
        }
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (fill(100) < 0) return false;
    }
}

std::string WsClient::readText(int timeoutMs) {
    std::string payload;
    uint32_t opcode = 0;
    if (!readFrame(payload, opcode, timeoutMs) || opcode != kOpText) return "";
    return payload;
}

bool WsClient::waitClosed(std::string* rest, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t chunk[65536];
    while (std::chrono::steady_clock::now() < deadline) {
        const int got = stream->read(chunk, sizeof chunk, 100);
        if (got < 0) {
            if (rest) *rest = buffer;
            return true;
        }
        buffer.append(reinterpret_cast<const char*>(chunk), size_t(got));
    }
    return false;
}
