#pragma once
// A raw-socket WebSocket client for the control server's tests: it sends
// exactly the bytes a test asks for and reads back whole server frames.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "net/byte_stream.h"
#include "remote/remote_server.h"
#include "remote/websocket.h"

inline constexpr int kTestWaitMs = 10000;

// Starts the server on a free loopback port and returns it (0 on failure).
int startOnFreePort(RemoteServer& server, const std::string& token);

// A masked client frame; `fin` false leaves the FIN bit clear.
std::string clientFrame(uint32_t opcode, const std::string& payload, bool fin = true);
// The header of a masked client frame that announces `length` payload bytes.
std::string clientFrameHeader(uint32_t opcode, uint64_t length);

class WsClient {
public:
    explicit WsClient(int port);
    bool connected() const { return stream != nullptr; }

    bool send(const std::string& bytes);
    // The HTTP upgrade for `target` with the usual headers.
    bool sendUpgrade(const std::string& target);
    // Reads up to the blank line of the server's answer ("" when the server
    // closed or nothing came in time).
    std::string readHead();
    // Connects, upgrades and reads the head; true when it was the 101 answer.
    bool open(const std::string& target);
    // The next server frame's payload and opcode; false when closed or late.
    bool readFrame(std::string& payload, uint32_t& opcode, int timeoutMs = kTestWaitMs);
    // The next text frame, skipping nothing; "" on failure.
    std::string readText(int timeoutMs = kTestWaitMs);
    // True when the server closes the connection (after any bytes, collected in `rest`).
    bool waitClosed(std::string* rest = nullptr, int timeoutMs = kTestWaitMs);
    void close() {
        if (stream) stream->close();
    }

    std::unique_ptr<ByteStream> stream;
    std::string buffer;

private:
    // > 0 bytes added, 0 none in time, < 0 closed.
    int fill(int timeoutMs);
};

// Waits until `condition` holds or about ten seconds pass.
template <typename F>
bool waitFor(F condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestWaitMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
