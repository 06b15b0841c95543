#pragma once
// A peer that accepts every connection and never sends a byte: requests to it
// wait until the caller gives up. It holds the connections until it goes.

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "e2e/rtmp/peer_control.h"
#include "net/byte_stream.h"

class SilentPeer {
public:
    SilentPeer() : port(findFreePort()) {
        std::string error;
        listener_ = openListener(port, false, error);
        if (listener_) thread_ = std::thread([this] { acceptAll(); });
    }
    ~SilentPeer() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
    }

    bool listening() const { return listener_ != nullptr; }
    int accepted() const { return accepted_.load(); }

    const int port;

private:
    static constexpr int kAcceptWaitMs = 50;

    void acceptAll() {
        while (!stopping_) {
            if (auto stream = listener_->accept(kAcceptWaitMs)) {
                connections_.push_back(std::move(stream));
                ++accepted_;
            }
        }
    }

    std::unique_ptr<Listener> listener_;
    std::vector<std::unique_ptr<ByteStream>> connections_;  // the accepting thread's
    std::atomic<int> accepted_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
