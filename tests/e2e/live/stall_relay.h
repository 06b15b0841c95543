// A loopback relay in front of a server that can stop carrying data, as a link does when
// the network stalls: from then on nothing is read from either side and nothing is
// closed. Its receive buffers are small, so a client that keeps writing blocks at once.
// POSIX only.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

class StallRelay {
public:
    explicit StallRelay(int serverPort) : serverPort_(serverPort) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        // Accepted sockets inherit the small buffer from the listener.
        const int small = kBufferBytes;
        setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in addr = loopback(0);
        bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(listener_, 4);
        socklen_t len = sizeof addr;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { relay(); });
    }
    ~StallRelay() {
        ending_ = true;
        thread_.join();
        for (int fd : {client_, server_, listener_})
            if (fd >= 0) close(fd);
    }

    int port() const { return port_; }
    void stall() { stalled_ = true; }

private:
    static constexpr int kBufferBytes = 4096;
    static constexpr int kPollMs = 10;

    static sockaddr_in loopback(int port) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return addr;
    }

    // One client: accepted, joined to the server, then carried both ways until stalled.
    void relay() {
        pollfd wait{listener_, POLLIN, 0};
        while (!ending_ && poll(&wait, 1, kPollMs) <= 0) {
        }
        if (ending_) return;
        client_ = accept(listener_, nullptr, nullptr);
        server_ = socket(AF_INET, SOCK_STREAM, 0);
        const int small = kBufferBytes;
        setsockopt(server_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in addr = loopback(serverPort_);
        if (client_ < 0 || connect(server_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return;
        char buffer[kBufferBytes];
        bool ended[2] = {false, false};
        while (!ending_) {
            if (stalled_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
                continue;
            }
            // A side that ended its sending is passed on as such and no longer read.
            pollfd both[2] = {{ended[0] ? -1 : client_, POLLIN, 0}, {ended[1] ? -1 : server_, POLLIN, 0}};
            if (poll(both, 2, kPollMs) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if (!(both[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                const int to = i == 0 ? server_ : client_;
                const ssize_t n = read(both[i].fd, buffer, sizeof buffer);
                if (n < 0) return;
                if (n == 0) {
                    ended[i] = true;
                    shutdown(to, SHUT_WR);
                    if (ended[1 - i]) return;
                } else if (send(to, buffer, size_t(n), MSG_NOSIGNAL) != n) {
                    return;
                }
            }
        }
    }

    int serverPort_;
    int port_ = 0;
    int listener_ = -1;
    int client_ = -1;
    int server_ = -1;
    std::atomic<bool> stalled_{false};
    std::atomic<bool> ending_{false};
    std::thread thread_;
};
