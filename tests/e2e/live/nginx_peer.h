// A private nginx with the RTMP module on a loopback port, recording every stream it
// receives, for end-to-end runs of the live outputs. POSIX only.
#pragma once

#include <string>
#include <vector>

class NginxRtmpPeer {
public:
    // `folder` holds the configuration, logs and recordings (one sub-folder per app).
    NginxRtmpPeer(std::string folder, std::vector<std::string> apps);
    ~NginxRtmpPeer();
    NginxRtmpPeer(const NginxRtmpPeer&) = delete;
    NginxRtmpPeer& operator=(const NginxRtmpPeer&) = delete;

    bool start();     // waits until the port accepts connections
    void kill();      // abrupt: no goodbye to connected publishers
    void stop();      // graceful: recordings are finished
    bool running() const { return pid_ > 0; }

    int port() const { return port_; }
    std::string url(const std::string& app) const;
    std::string recordFolder(const std::string& app) const;
    std::vector<std::string> recordings(const std::string& app) const;  // oldest first
    std::string errorLog() const;
    // The error-log lines of the one client that published this stream key, in order.
    std::vector<std::string> publisherLogLines(const std::string& key) const;
    std::string lastError() const { return error_; }

private:
    std::string folder_;
    std::vector<std::string> apps_;
    int port_ = 0;
    int pid_ = 0;
    std::string error_;
};

// Index of the first line holding the text, or -1.
int firstLineWith(const std::vector<std::string>& lines, const std::string& text);

// The free loopback port that the system hands out for a moment.
int freeLoopbackPort();

// Runs a command and gives its standard output; the exit status goes to `status`.
std::string runCommand(const std::string& command, int* status = nullptr);
