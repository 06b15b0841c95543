#pragma once
// The UDP service on the control port: answers the phone app's "QHHELLO"
// probe with the PC's name and port, and reassembles the current camera
// session's video datagrams into the shared PhoneFeed.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "media/media.h"
#include "remote/thread_starter.h"
#include "remote/udp_socket.h"

inline constexpr std::string_view kDiscoveryProbe = "QHHELLO";

// The probe's answer: "QHHERE\n" + name + "\n" + port + "\n".
std::string discoveryAnnouncement(const std::string& name, int port);

class Discovery {
public:
    using Clock = std::function<int64_t()>;  // milliseconds, monotonic

    // Key-frame requests to the phone go out at most this often.
    static constexpr int64_t kKeyRequestIntervalMs = 400;

    // `threadStarter` stands in for std::thread in tests of a system out of threads.
    explicit Discovery(Clock clock = {}, ThreadStarter threadStarter = startThread);
    ~Discovery() { stop(); }
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    // "" on success, else the reason; a failure keeps the old feed.
    std::string start(int port, bool allowLan, std::shared_ptr<PhoneFeed> feed, const std::string& name);
    void stop();
    bool isRunning() const { return thread.joinable(); }

    // This PC's IPv4 addresses on its local networks, for the user to type on a phone.
    std::vector<std::string> localIpv4Addresses() const { return ::localIpv4Addresses(); }

    // Main thread: a fresh non-zero session; the feed starts over at a key frame.
    uint32_t newCameraSession();
    // Main thread, once per tick: true when a key frame should be asked for now.
    bool keyframeRequestDue();

    std::atomic<uint32_t> session{0};  // 0 = no camera session

private:
    void run();

    Clock nowMs;
    ThreadStarter starter;
    UdpSocket socket;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::shared_ptr<PhoneFeed> feed;
    std::string announcement;
    int64_t lastKeyRequestMs = 0;
};
