// BSD sockets for the native build. poll() stands in for select() so that
// descriptors above FD_SETSIZE stay safe.
#include "net/tcp_stream.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace {

constexpr size_t kMaxSendPiece = 1048576;

int fdOf(TcpStream::Socket s) { return static_cast<int>(s); }

// Waits for the events; 1 ready, 0 timeout, -1 error. Retries on EINTR.
int waitFor(int fd, short events, int timeoutMs, short* revents = nullptr) {
    pollfd p{fd, events, 0};
    for (;;) {
        int r = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (revents) *revents = p.revents;
        return r < 0 ? -1 : (r == 0 ? 0 : 1);
    }
}

void setNoDelay(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool setBlocking(int fd, bool blocking) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, flags) == 0;
}

// One address: non-blocking connect bounded by the timeout. A failed
// connect shows as writable here, so SO_ERROR decides.
int connectOne(const addrinfo* ai, int timeoutMs) {
    int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) return -1;
    bool ok = false;
    if (setBlocking(fd, false)) {
        int r = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
        if (r == 0) {
            ok = true;
        } else if (errno == EINPROGRESS) {
            short rev = 0;
            if (waitFor(fd, POLLOUT, timeoutMs, &rev) == 1) {
                int soError = 0;
                socklen_t len = sizeof soError;
                ok = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) == 0 && soError == 0;
            }
        }
    }
    if (ok) ok = setBlocking(fd, true);
    if (!ok) {
        ::close(fd);
        return -1;
    }
    setNoDelay(fd);
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return fd;
}

class TcpListener : public Listener {
public:
    explicit TcpListener(int fd) : fd_(fd) {}
    ~TcpListener() override { ::close(fd_); }
    std::unique_ptr<ByteStream> accept(int timeoutMs) override {
        if (waitFor(fd_, POLLIN, timeoutMs) != 1) return nullptr;
        int s = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (s < 0) return nullptr;
        setNoDelay(s);
        timeval tv{kAcceptedSendTimeoutMs / 1000, (kAcceptedSendTimeoutMs % 1000) * 1000};
        ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        return std::make_unique<TcpStream>(static_cast<TcpStream::Socket>(s));
    }

private:
    int fd_;
};

}  // namespace

void ensureWinsock() {}

TcpStream::~TcpStream() {
    if (socket_ != kNoSocket) ::close(fdOf(socket_));
}

bool TcpStream::connect(const std::string& host, int port, int timeoutMs, std::string& error) {
    ensureWinsock();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 || !list) {
        if (list) ::freeaddrinfo(list);
        error = error_ = "Could not find the server " + host;
        return false;
    }
    error_ = "Could not connect to " + host + ":" + service;
    int fd = -1;
    for (const addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) fd = connectOne(ai, timeoutMs);
    ::freeaddrinfo(list);
    if (fd < 0) {
        error = error_;
        return false;
    }
    if (socket_ != kNoSocket) ::close(fdOf(socket_));
    socket_ = static_cast<Socket>(fd);
    closed_ = false;
    error_.clear();
    error.clear();
    return true;
}

bool TcpStream::write(const uint8_t* data, size_t length) {
    while (length > 0) {
        if (closed_ || socket_ == kNoSocket) return false;
        const size_t piece = std::min(length, kMaxSendPiece);
        ssize_t sent = ::send(fdOf(socket_), data, piece, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) {
            setError("Connection lost");
            return false;
        }
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return !closed_;
}

int TcpStream::read(uint8_t* buffer, size_t size, int timeoutMs) {
    if (closed_ || socket_ == kNoSocket) return -1;
    int w = waitFor(fdOf(socket_), POLLIN, timeoutMs);
    if (w == 0) return 0;
    if (w < 0) {
        setError("Connection lost");
        return -1;
    }
    if (closed_) return -1;
    for (;;) {
        ssize_t got = ::recv(fdOf(socket_), buffer, std::min<size_t>(size, 1 << 30), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got > 0) return static_cast<int>(got);
        if (closed_) return -1;
        setError(got == 0 ? "The server closed the connection" : "Connection lost");
        return -1;
    }
}

void TcpStream::close() {
    if (closed_.exchange(true)) return;
    if (socket_ != kNoSocket) ::shutdown(fdOf(socket_), SHUT_RDWR);
}

bool TcpStream::shutdownSend() {
    if (closed_ || socket_ == kNoSocket) return false;
    if (::shutdown(fdOf(socket_), SHUT_WR) == 0) return true;
    setError("Connection lost");
    return false;
}

std::unique_ptr<Listener> openListener(int port, bool allowLocalNetwork, std::string& error) {
    ensureWinsock();
    // Close-on-exec: a started process must not keep the port bound after we let go.
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        error = "No network";
        return nullptr;
    }
    // Linux refuses a second bind while a listener holds the port even with
    // SO_REUSEADDR; the option only lets us rebind over TIME_WAIT leftovers.
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(allowLocalNetwork ? INADDR_ANY : INADDR_LOOPBACK);
    if (port < 0 || port > kMaxPort || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 4) != 0) {
        ::close(fd);
        error = "Port " + std::to_string(port) + " is in use";
        return nullptr;
    }
    error.clear();
    return std::make_unique<TcpListener>(fd);
}
