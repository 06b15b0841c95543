#include "net/tcp_stream.h"

TcpStream::~TcpStream() {
    if (socket_ != kNoSocket) socket_ops::closeSocket(socket_);
}

bool TcpStream::connect(const std::string& host, int port, int timeoutMs, std::string& error,
                        const std::atomic<bool>* stop) {
    ensureWinsock();
    stop_ = stop;
    const auto stopped = [this] { return this->stopped(); };
    const std::string service = std::to_string(port);
    std::vector<ResolvedAddress> addresses;
    const AddressLookup lookup = [host, service](std::vector<ResolvedAddress>& out) {
        return socket_ops::lookUp(host, service, out);
    };
    const LookupResult found = lookupAddresses(lookup, timeoutMs, stopped, addresses);
    if (found == LookupResult::NotFound) {
        error = error_ = "Could not find the server " + host;
        return false;
    }
    error_ = "Could not connect to " + host + ":" + service;
    Socket s = kNoSocket;
    for (size_t i = 0; i < addresses.size() && s == kNoSocket && !stopped(); ++i)
        s = socket_ops::connectOne(addresses[i], timeoutMs, stopped);
    if (s == kNoSocket) {
        error = error_;
        return false;
    }
    if (socket_ != kNoSocket) socket_ops::closeSocket(socket_);
    socket_ = s;
    error_.clear();
    error.clear();
    return true;
}
