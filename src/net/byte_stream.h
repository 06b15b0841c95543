#pragma once
// Connected byte streams and listening sockets shared by the RTMP client and
// the remote-control services. Failures are plain-English texts for the user.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// TCP and UDP ports are 16-bit numbers.
inline constexpr int kMaxPort = 65535;

// How often a wait that the system will not cut short looks at its stop flag.
inline constexpr int kStopCheckMs = 20;

class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Sends every byte or fails; false leaves the reason in lastError().
    virtual bool write(const uint8_t* data, size_t length) = 0;
    // > 0 bytes read, 0 nothing within the timeout, -1 closed or failed.
    virtual int read(uint8_t* buffer, size_t size, int timeoutMs) = 0;
    // Safe from any thread: a blocked read or write fails promptly.
    virtual void close() = 0;
    // Ends our direction only: the peer reads end-of-stream after every byte
    // already written, and reads here go on until the peer ends its side.
    // Nothing may be written afterwards. False when the stream is gone.
    virtual bool shutdownSend() = 0;
    virtual std::string lastError() const = 0;
};

class Listener {
public:
    virtual ~Listener() = default;
    // Empty on timeout or failure.
    virtual std::unique_ptr<ByteStream> accept(int timeoutMs) = 0;
};

// Connects to host:port (with TLS when asked; each handshake read waits at most
// timeoutMs). Empty on failure, with the reason in error. Once `stop` is set
// (from any thread; it must outlive the stream), the name lookup is left to
// finish alone and a connect or handshake in progress fails within
// kStopCheckMs.
std::unique_ptr<ByteStream> openStream(const std::string& host, int port, bool tls, int timeoutMs,
                                       std::string& error, const std::atomic<bool>* stop = nullptr);

// Listens on the port, on every interface when allowLocalNetwork, else on 127.0.0.1.
std::unique_ptr<Listener> openListener(int port, bool allowLocalNetwork, std::string& error);

// Starts the socket library once per process; safe from several threads.
void ensureWinsock();

// Waits up to timeoutMs in slices of kStopCheckMs, for waits that a close
// from another thread does not wake. `waitOnce(ms)` gives 1 ready, 0 not yet,
// -1 failed; the result is its last answer, or -2 once `stopped` holds.
inline constexpr int kWaitStopped = -2;
int waitWatchingStop(int timeoutMs, const std::function<bool()>& stopped, const std::function<int(int)>& waitOnce);
