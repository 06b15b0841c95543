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

void setSendTimeout(int fd, int timeoutMs) {
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
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
        setSendTimeout(s, kAcceptedSendTimeoutMs);
        return std::make_unique<TcpStream>(static_cast<TcpStream::Socket>(s));
    }

private:
    int fd_;
};

}  // namespace

void ensureWinsock() {}

bool socket_ops::lookUp(const std::string& host, const std::string& service, std::vector<ResolvedAddress>& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    const bool found = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) == 0 && list;
    if (found) out = copyAddressList(list);
    if (list) ::freeaddrinfo(list);
    return found;
}

// Non-blocking connect bounded by the timeout. A failed connect shows as
// writable here, so SO_ERROR decides.
TcpStream::Socket socket_ops::connectOne(const ResolvedAddress& address, int timeoutMs,
                                         const std::function<bool()>& stopped) {
    int fd = ::socket(address.family, address.socketType | SOCK_CLOEXEC, address.protocol);
    if (fd < 0) return TcpStream::kNoSocket;
    bool ok = false;
    if (setBlocking(fd, false)) {
        int r = ::connect(fd, reinterpret_cast<const sockaddr*>(address.address.data()),
                          static_cast<socklen_t>(address.address.size()));
        if (r == 0) {
            ok = true;
        } else if (errno == EINPROGRESS) {
            const int w = waitWatchingStop(timeoutMs, stopped, [fd](int ms) { return waitFor(fd, POLLOUT, ms); });
            if (w == 1) {
                int soError = 0;
                socklen_t len = sizeof soError;
                ok = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) == 0 && soError == 0;
            }
        }
    }
    if (ok) ok = setBlocking(fd, true);
    if (!ok) {
        ::close(fd);
        return TcpStream::kNoSocket;
    }
    setNoDelay(fd);
    setSendTimeout(fd, kConnectedSendTimeoutMs);
    return static_cast<TcpStream::Socket>(fd);
}

void socket_ops::closeSocket(TcpStream::Socket socket) {
    ::close(fdOf(socket));
}

bool TcpStream::write(const uint8_t* data, size_t length) {
    while (length > 0) {
        if (stopped() || socket_ == kNoSocket) return false;
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
    return !stopped();
}

int TcpStream::read(uint8_t* buffer, size_t size, int timeoutMs) {
    if (stopped() || socket_ == kNoSocket) return -1;
    const int fd = fdOf(socket_);
    int w = waitWatchingStop(timeoutMs, [this] { return stopped(); }, [fd](int ms) { return waitFor(fd, POLLIN, ms); });
    if (w == kWaitStopped) return -1;
    if (w == 0) return 0;
    if (w < 0) {
        setError("Connection lost");
        return -1;
    }
    if (stopped()) return -1;
    for (;;) {
        ssize_t got = ::recv(fdOf(socket_), buffer, std::min<size_t>(size, 1 << 30), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got > 0) return static_cast<int>(got);
        if (stopped()) return -1;
        setError(got == 0 ? "The server closed the connection" : "Connection lost");
        return -1;
    }
}

void TcpStream::close() {
    if (closed_.exchange(true)) return;
    if (socket_ != kNoSocket) ::shutdown(fdOf(socket_), SHUT_RDWR);
}

bool TcpStream::shutdownSend() {
    if (stopped() || socket_ == kNoSocket) return false;
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
