// The native build has no TLS provider of its own; secure destinations are a
// feature of the Windows program only.
#include "net/tcp_stream.h"

std::unique_ptr<ByteStream> wrapTls(std::unique_ptr<TcpStream> inner, const std::string&, int,
                                    std::string& error) {
    inner->close();
    error = "TLS is not available";
    return nullptr;
}
