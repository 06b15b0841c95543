#include "media/media.h"

#include <chrono>

void PhoneFeed::push(PhonePacket&& packet) {
    std::lock_guard<std::mutex> guard(lock);
    if (queue.size() >= 30) {
        queue.clear();
        dropUntilKeyframe = true;
    }
    if (!dropUntilKeyframe || packet.keyframe) {
        dropUntilKeyframe = false;
        queue.push_back(std::move(packet));
        ready.notify_one();
    } else {
        keyRequested = true;
    }
}

bool PhoneFeed::pop(PhonePacket& out, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto now = Clock::now();
    // Saturate rather than overflow for absurd timeouts.
    const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - now);
    const auto wait = std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    const auto deadline = wait >= room ? Clock::time_point::max() : now + wait;
    std::unique_lock<std::mutex> guard(lock);
    while (queue.empty()) {
        if (ready.wait_until(guard, deadline) == std::cv_status::timeout && queue.empty()) return false;
    }
    out = std::move(queue.front());
    queue.pop_front();
    return true;
}
