#pragma once
// Talks to peers.py, the supervisor of real network peers (nginx, ffmpeg,
// stunnel, a python echo server) that ctest starts around these tests.

#include "net/byte_stream.h"

#include <memory>
#include <string>
#include <vector>

class PeerControl {
public:
    // stateFolder: the folder below the build dir that ctest handed to peers.py.
    explicit PeerControl(const std::string& stateFolder);
    // The fields after "ok"; empty with error() set on failure.
    std::vector<std::string> call(const std::string& command, const std::vector<std::string>& args = {},
                                  int timeoutMs = 180000);
    const std::string& error() const { return error_; }

    // Paths from the supervisor are Linux paths; a Windows program sees them on drive Z:.
    static std::string localPath(const std::string& linuxPath);
    static bool underWine();

private:
    std::unique_ptr<ByteStream> stream_;
    std::string error_;
    std::string pending_;
};

// A TCP relay between one client and a server that records what the server sends.
class LoggingRelay {
public:
    LoggingRelay(const std::string& serverHost, int serverPort);
    ~LoggingRelay();
    int port() const { return port_; }
    // Waits for both directions to end; then serverBytes() is complete.
    void finish();
    const std::vector<uint8_t>& serverBytes() const { return serverBytes_; }

private:
    struct State;
    std::unique_ptr<State> state_;
    int port_ = 0;
    std::vector<uint8_t> serverBytes_;
};

int findFreePort();
