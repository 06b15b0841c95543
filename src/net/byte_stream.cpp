#include "net/byte_stream.h"

#include "net/tcp_stream.h"

std::unique_ptr<ByteStream> openStream(const std::string& host, int port, bool tls, int timeoutMs,
                                       std::string& error) {
    auto tcp = std::make_unique<TcpStream>();
    if (!tcp->connect(host, port, timeoutMs, error)) return nullptr;
    if (!tls) return tcp;
    return wrapTls(std::move(tcp), host, timeoutMs, error);
}
