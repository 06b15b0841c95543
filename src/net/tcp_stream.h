#pragma once
// The TCP ByteStream. The socket is kept as an integer wide enough for both
// platforms' handle types so this header needs no system headers.

#include "net/byte_stream.h"
#include "net/name_lookup.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// Accepted clients that stop reading fail a write after this long instead of
// holding the writing thread.
inline constexpr int kAcceptedSendTimeoutMs = 2000;
// A server that stops reading fails our write after this long; a stop does
// not wait for it, because closing the stream ends the write at once.
inline constexpr int kConnectedSendTimeoutMs = 10000;

class TcpStream : public ByteStream {
public:
    using Socket = std::uintptr_t;
    static constexpr Socket kNoSocket = ~Socket(0);

    TcpStream() = default;
    explicit TcpStream(Socket connected) : socket_(connected) {}
    ~TcpStream() override;
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    // Tries every resolved address in turn; timeoutMs bounds the name lookup
    // and each address. `stop` (see openStream) is watched from here on.
    bool connect(const std::string& host, int port, int timeoutMs, std::string& error,
                 const std::atomic<bool>* stop = nullptr);

    bool write(const uint8_t* data, size_t length) override;
    int read(uint8_t* buffer, size_t size, int timeoutMs) override;
    void close() override;
    bool shutdownSend() override;
    std::string lastError() const override {
        std::lock_guard<std::mutex> guard(errorLock_);
        return error_;
    }

private:
    bool stopped() const { return closed_ || (stop_ && *stop_); }

    Socket socket_ = kNoSocket;
    std::atomic<bool> closed_{false};
    const std::atomic<bool>* stop_ = nullptr;
    // A reading and a writing thread may fail at the same time.
    void setError(const char* text) {
        std::lock_guard<std::mutex> guard(errorLock_);
        error_ = text;
    }

    mutable std::mutex errorLock_;
    std::string error_;
};

// The platform's socket primitives beneath the portable parts of TcpStream.
namespace socket_ops {
// The system's blocking lookup of a host and port (as decimal text).
bool lookUp(const std::string& host, const std::string& service, std::vector<ResolvedAddress>& out);
// A connected socket set up for streaming, or kNoSocket when this address did
// not answer within the timeout or `stopped` came first.
TcpStream::Socket connectOne(const ResolvedAddress& address, int timeoutMs, const std::function<bool()>& stopped);
void closeSocket(TcpStream::Socket socket);
}  // namespace socket_ops

// Wraps a connected TCP stream in TLS and runs the client handshake. Builds
// without a TLS provider return nothing with an explanation.
std::unique_ptr<ByteStream> wrapTls(std::unique_ptr<TcpStream> inner, const std::string& host,
                                    int timeoutMs, std::string& error);
