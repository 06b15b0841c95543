// Winsock streams and listener for the Windows program.
#include "net/tcp_stream.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <mutex>

namespace {

constexpr size_t kMaxSendPiece = 1048576;

SOCKET sockOf(TcpStream::Socket s) { return static_cast<SOCKET>(s); }

timeval toTimeval(int timeoutMs) {
    if (timeoutMs < 0) timeoutMs = 0;
    timeval tv;
    tv.tv_sec = timeoutMs / 1000;
    tv.tv_usec = (timeoutMs % 1000) * 1000;
    return tv;
}

// 1 readable, 0 timeout, -1 error.
int waitReadable(SOCKET s, int timeoutMs) {
    fd_set readSet;
    FD_ZERO(&readSet);
    FD_SET(s, &readSet);
    timeval tv = toTimeval(timeoutMs);
    int r = ::select(0, &readSet, nullptr, nullptr, &tv);
    return r == SOCKET_ERROR ? -1 : (r == 0 ? 0 : 1);
}

void setNoDelay(SOCKET s) {
    BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

void setSendTimeout(SOCKET s, int timeoutMs) {
    DWORD sendTimeout = static_cast<DWORD>(timeoutMs);
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeout), sizeof sendTimeout);
}

// 1 writable (connected or failed: SO_ERROR tells), 0 timeout, -1 error.
int waitConnected(SOCKET s, int timeoutMs) {
    fd_set writeSet, exceptSet;
    FD_ZERO(&writeSet);
    FD_ZERO(&exceptSet);
    FD_SET(s, &writeSet);
    FD_SET(s, &exceptSet);
    timeval tv = toTimeval(timeoutMs);
    int n = ::select(0, nullptr, &writeSet, &exceptSet, &tv);
    if (n == SOCKET_ERROR) return -1;
    if (n == 0) return 0;
    return FD_ISSET(s, &writeSet) && !FD_ISSET(s, &exceptSet) ? 1 : -1;
}

class TcpListener : public Listener {
public:
    explicit TcpListener(SOCKET s) : socket_(s) {}
    ~TcpListener() override { ::closesocket(socket_); }
    std::unique_ptr<ByteStream> accept(int timeoutMs) override {
        if (waitReadable(socket_, timeoutMs) != 1) return nullptr;
        SOCKET s = ::accept(socket_, nullptr, nullptr);
        if (s == INVALID_SOCKET) return nullptr;
        setNoDelay(s);
        setSendTimeout(s, kAcceptedSendTimeoutMs);
        return std::make_unique<TcpStream>(static_cast<TcpStream::Socket>(s));
    }

private:
    SOCKET socket_;
};

}  // namespace

void ensureWinsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    });
}

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

TcpStream::Socket socket_ops::connectOne(const ResolvedAddress& address, int timeoutMs,
                                         const std::function<bool()>& stopped) {
    SOCKET s = ::socket(address.family, address.socketType, address.protocol);
    if (s == INVALID_SOCKET) return TcpStream::kNoSocket;
    u_long nonBlocking = 1;
    bool ok = false;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) == 0) {
        int r = ::connect(s, reinterpret_cast<const sockaddr*>(address.address.data()),
                          static_cast<int>(address.address.size()));
        if (r == 0) {
            ok = true;
        } else if (::WSAGetLastError() == WSAEWOULDBLOCK &&
                   waitWatchingStop(timeoutMs, stopped, [s](int ms) { return waitConnected(s, ms); }) == 1) {
            int soError = 0;
            int len = sizeof soError;
            ok = ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len) == 0 && soError == 0;
        }
    }
    u_long blocking = 0;
    if (ok) ok = ::ioctlsocket(s, FIONBIO, &blocking) == 0;
    if (!ok) {
        ::closesocket(s);
        return TcpStream::kNoSocket;
    }
    setNoDelay(s);
    setSendTimeout(s, kConnectedSendTimeoutMs);
    return static_cast<TcpStream::Socket>(s);
}

void socket_ops::closeSocket(TcpStream::Socket socket) {
    ::closesocket(sockOf(socket));
}

bool TcpStream::write(const uint8_t* data, size_t length) {
    while (length > 0) {
        if (stopped() || socket_ == kNoSocket) return false;
        const int piece = static_cast<int>(std::min(length, kMaxSendPiece));
        int sent = ::send(sockOf(socket_), reinterpret_cast<const char*>(data), piece, 0);
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
    // A shutdown from another thread does not reliably wake a select that is
    // already waiting, so long waits go in slices that look at the flag.
    const SOCKET s = sockOf(socket_);
    const int w =
        waitWatchingStop(timeoutMs, [this] { return stopped(); }, [s](int ms) { return waitReadable(s, ms); });
    if (w == kWaitStopped) return -1;
    if (w == 0) return 0;
    if (w < 0) {
        setError("Connection lost");
        return -1;
    }
    if (stopped()) return -1;
    int got = ::recv(sockOf(socket_), reinterpret_cast<char*>(buffer),
                     static_cast<int>(std::min<size_t>(size, 1 << 30)), 0);
    if (got > 0) return got;
    if (stopped()) return -1;
    setError(got == 0 ? "The server closed the connection" : "Connection lost");
    return -1;
}

void TcpStream::close() {
    if (closed_.exchange(true)) return;
    if (socket_ == kNoSocket) return;
    ::shutdown(sockOf(socket_), SD_BOTH);
    // The shutdown does not wake a send blocked on a full socket in another
    // thread, which would wait out its send time-out: cancel it.
    ::CancelIoEx(reinterpret_cast<HANDLE>(sockOf(socket_)), nullptr);
}

bool TcpStream::shutdownSend() {
    if (stopped() || socket_ == kNoSocket) return false;
    if (::shutdown(sockOf(socket_), SD_SEND) == 0) return true;
    setError("Connection lost");
    return false;
}

std::unique_ptr<Listener> openListener(int port, bool allowLocalNetwork, std::string& error) {
    ensureWinsock();
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = "No network";
        return nullptr;
    }
    // Not inherited: a started process must not keep the port bound after we let go.
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    BOOL one = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(port));
    addr.sin_addr.s_addr = htonl(allowLocalNetwork ? INADDR_ANY : INADDR_LOOPBACK);
    if (port < 0 || port > kMaxPort || ::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(s, 4) != 0) {
        ::closesocket(s);
        error = "Port " + std::to_string(port) + " is in use";
        return nullptr;
    }
    error.clear();
    return std::make_unique<TcpListener>(s);
}
