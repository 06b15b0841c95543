// Waits on a condition with a generous deadline instead of sleeping a fixed time.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

inline bool waitFor(const std::function<bool()>& done) {
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}
