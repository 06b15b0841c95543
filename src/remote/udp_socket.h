#pragma once
// A thin IPv4 UDP socket for discovery and the phone video, and the PC's own
// addresses for the pairing screen.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class UdpSocket {
public:
    using Handle = std::uintptr_t;
    static constexpr Handle kNoSocket = ~Handle(0);

    UdpSocket() = default;
    ~UdpSocket() { close(); }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // On every interface when allowLan, else on 127.0.0.1.
    bool bind(int port, bool allowLan, std::string& error);
    // > 0 the datagram's length with its sender (host order), 0 nothing within
    // the timeout (or the echo of an earlier send to a closed port), < 0 failure.
    int receive(uint8_t* buffer, size_t size, int timeoutMs, uint32_t& address, uint16_t& port);
    // True when every byte went out.
    bool sendTo(const uint8_t* data, size_t length, uint32_t address, uint16_t port);
    void close();
    bool isOpen() const { return socket_ != kNoSocket; }

private:
    Handle socket_ = kNoSocket;
};

inline constexpr int kUdpReceiveBufferBytes = 4 << 20;

// Dotted IPv4 addresses of this PC's host name, loopback and link-local left out.
std::vector<std::string> localIpv4Addresses();
// True for addresses the pairing screen leaves out (127.x.y.z, 169.254.x.y).
bool isHiddenIpv4(const std::string& dotted);
