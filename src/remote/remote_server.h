#pragma once
// The WebSocket control server held by the Studio. This build carries no
// server: it stays stopped, and a start reports why.

#include <string>

class RemoteServer {
public:
    RemoteServer() = default;
    ~RemoteServer() { stop(); }
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    // Returns "" on success, else the reason it is not running.
    std::string start(int port, bool allowLan, const std::string& token);
    void stop() {}
    bool isRunning() const { return false; }
    int clientCount() const { return 0; }
    void setPairingCode(const std::string& code) { pairingCode_ = code; }
    bool pairingActive() const { return !pairingCode_.empty(); }

private:
    std::string pairingCode_;
};
