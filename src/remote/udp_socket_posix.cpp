#include "remote/udp_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/byte_stream.h"

namespace {

int fdOf(UdpSocket::Handle h) { return static_cast<int>(h); }

}  // namespace

bool UdpSocket::bind(int port, bool allowLan, std::string& error) {
    close();
    ensureWinsock();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        error = "No network";
        return false;
    }
    const int size = kUdpReceiveBufferBytes;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(allowLan ? INADDR_ANY : INADDR_LOOPBACK);
    if (port < 0 || port > kMaxPort || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        error = "UDP port " + std::to_string(port) + " is in use";
        return false;
    }
    socket_ = static_cast<Handle>(fd);
    error.clear();
    return true;
}

int UdpSocket::receive(uint8_t* buffer, size_t size, int timeoutMs, uint32_t& address, uint16_t& port) {
    if (socket_ == kNoSocket) return -1;
    pollfd p{fdOf(socket_), POLLIN, 0};
    int r = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
    if (r < 0) return errno == EINTR ? 0 : -1;
    if (r == 0) return 0;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t got = ::recvfrom(fdOf(socket_), buffer, size, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got < 0) return errno == ECONNREFUSED || errno == EINTR || errno == EAGAIN ? 0 : -1;
    address = ntohl(from.sin_addr.s_addr);
    port = ntohs(from.sin_port);
    return static_cast<int>(got);
}

bool UdpSocket::sendTo(const uint8_t* data, size_t length, uint32_t address, uint16_t port) {
    if (socket_ == kNoSocket) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    const ssize_t sent = ::sendto(fdOf(socket_), data, length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    return sent == static_cast<ssize_t>(length);
}

void UdpSocket::close() {
    if (socket_ == kNoSocket) return;
    ::close(fdOf(socket_));
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
