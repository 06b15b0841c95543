#include "remote/udp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "net/byte_stream.h"

namespace {

SOCKET sockOf(UdpSocket::Handle h) { return static_cast<SOCKET>(h); }

}  // namespace

bool UdpSocket::bind(int port, bool allowLan, std::string& error) {
    close();
    ensureWinsock();
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        error = "No network";
        return false;
    }
    // Not inherited: a started process must not keep the port bound after we let go.
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    BOOL one = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
    const int size = kUdpReceiveBufferBytes;
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(port));
    addr.sin_addr.s_addr = htonl(allowLan ? INADDR_ANY : INADDR_LOOPBACK);
    if (port < 0 || port > kMaxPort || ::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::closesocket(s);
        error = "UDP port " + std::to_string(port) + " is in use";
        return false;
    }
    socket_ = static_cast<Handle>(s);
    error.clear();
    return true;
}

int UdpSocket::receive(uint8_t* buffer, size_t size, int timeoutMs, uint32_t& address, uint16_t& port) {
    if (socket_ == kNoSocket) return -1;
    fd_set readSet;
    FD_ZERO(&readSet);
    FD_SET(sockOf(socket_), &readSet);
    if (timeoutMs < 0) timeoutMs = 0;
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int r = ::select(0, &readSet, nullptr, nullptr, &tv);
    if (r == SOCKET_ERROR) return -1;
    if (r == 0) return 0;
    sockaddr_in from{};
    int fromLength = sizeof from;
    const int got = ::recvfrom(sockOf(socket_), reinterpret_cast<char*>(buffer), static_cast<int>(size), 0,
                               reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got == SOCKET_ERROR) {
        // A datagram too large for the buffer is cut and reported as such: skip it.
        const int error = ::WSAGetLastError();
        return error == WSAECONNRESET || error == WSAEMSGSIZE ? 0 : -1;
    }
    address = ntohl(from.sin_addr.s_addr);
    port = ntohs(from.sin_port);
    return got;
}

bool UdpSocket::sendTo(const uint8_t* data, size_t length, uint32_t address, uint16_t port) {
    if (socket_ == kNoSocket) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    const int sent = ::sendto(sockOf(socket_), reinterpret_cast<const char*>(data), static_cast<int>(length), 0,
                              reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == static_cast<int>(length);
}

void UdpSocket::close() {
    if (socket_ == kNoSocket) return;
    ::closesocket(sockOf(socket_));
    socket_ = kNoSocket;
}

std::vector<std::string> localIpv4Addresses() {
    ensureWinsock();
    std::vector<std::string> out;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return out;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &list) != 0 || !list) return out;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
        if (!::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) continue;
        if (!isHiddenIpv4(text)) out.push_back(text);
    }
    ::freeaddrinfo(list);
    return out;
}
