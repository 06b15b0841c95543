#include "net/byte_stream.h"

#include "net/tcp_stream.h"

#include <algorithm>

std::unique_ptr<ByteStream> openStream(const std::string& host, int port, bool tls, int timeoutMs,
                                       std::string& error, const std::atomic<bool>* stop) {
    auto tcp = std::make_unique<TcpStream>();
    if (!tcp->connect(host, port, timeoutMs, error, stop)) return nullptr;
    if (!tls) return tcp;
    return wrapTls(std::move(tcp), host, timeoutMs, error);
}

int waitWatchingStop(int timeoutMs, const std::function<bool()>& stopped, const std::function<int(int)>& waitOnce) {
    for (int left = std::max(timeoutMs, 0);;) {
        if (stopped()) return kWaitStopped;
        const int slice = std::min(left, kStopCheckMs);
        const int r = waitOnce(slice);
        left -= slice;
        if (r != 0 || left <= 0) return stopped() ? kWaitStopped : r;
    }
}
