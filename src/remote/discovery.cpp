#include "remote/discovery.h"

#include <chrono>
#include <cstring>
#include <system_error>
#include <utility>

#include "remote/os_random.h"
#include "remote/phone_video.h"

namespace {

constexpr int kPollMs = 200;
constexpr size_t kReceiveBufferSize = 65536;
constexpr std::string_view kNoThreadError = "Could not start the UDP service";

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::string discoveryAnnouncement(const std::string& name, int port) {
    return "QHHERE\n" + name + "\n" + std::to_string(port) + "\n";
}

Discovery::Discovery(Clock clock, ThreadStarter threadStarter)
    : nowMs(clock ? std::move(clock) : Clock(steadyMs)), starter(std::move(threadStarter)) {}

std::string Discovery::start(int port, bool allowLan, std::shared_ptr<PhoneFeed> newFeed, const std::string& name) {
    stop();
    std::string error;
    if (!socket.bind(port, allowLan, error)) return error;
    std::shared_ptr<PhoneFeed> oldFeed = std::exchange(feed, std::move(newFeed));
    announcement = discoveryAnnouncement(name, port);
    stopping = false;
    try {
        thread = starter([this] { run(); });
    } catch (const std::system_error&) {
        // As when the port is taken: the port is let go and the old feed kept.
        socket.close();
        feed = std::move(oldFeed);
        return std::string(kNoThreadError);
    }
    return "";
}

void Discovery::stop() {
    stopping = true;
    if (thread.joinable()) thread.join();
    socket.close();
}

uint32_t Discovery::newCameraSession() {
    uint32_t value = 0;
    while (value == 0) value = osRandom32();
    session = value;
    if (feed) {
        std::lock_guard<std::mutex> guard(feed->lock);
        feed->queue.clear();
        feed->dropUntilKeyframe = true;
        feed->keyRequested = true;
    }
    return value;
}

bool Discovery::keyframeRequestDue() {
    if (!feed || session == 0 || !feed->keyRequested) return false;
    const int64_t now = nowMs();
    if (now - lastKeyRequestMs < kKeyRequestIntervalMs) return false;
    lastKeyRequestMs = now;
    feed->keyRequested = false;
    return true;
}

void Discovery::run() {
    std::vector<uint8_t> buffer(kReceiveBufferSize);
    std::unique_ptr<PhoneVideoAssembler> assembler;
    std::vector<uint8_t> frame;
    while (!stopping) {
        uint32_t address = 0;
        uint16_t port = 0;
        const int got = socket.receive(buffer.data(), buffer.size(), kPollMs, address, port);
        if (got < 0) return;
        if (got == 0) continue;
        const size_t length = size_t(got);
        if (length == kDiscoveryProbe.size() && std::memcmp(buffer.data(), kDiscoveryProbe.data(), length) == 0) {
            socket.sendTo(reinterpret_cast<const uint8_t*>(announcement.data()), announcement.size(), address, port);
            continue;
        }
        const uint32_t current = session;
        PhoneVideoPacket packet;
        if (current == 0 || !parsePhoneVideoPacket(buffer.data(), length, packet) || packet.sessionId != current)
            continue;
        if (!assembler || assembler->session != current) assembler = std::make_unique<PhoneVideoAssembler>(current);
        if (feed) feed->lastPacketMs = steadyMs();
        bool keyframe = false;
        if (assembler->addFragment(packet, frame, keyframe) && feed)
            feed->push(PhonePacket{std::move(frame), keyframe, assembler->rotation});
        if (assembler->waitForKeyframe && feed) feed->keyRequested = true;
    }
}
