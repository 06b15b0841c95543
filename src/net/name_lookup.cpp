#include "net/name_lookup.h"

#include "net/byte_stream.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace {

// What the lookup thread and its waiter share; the thread holds it to its end.
struct PendingLookup {
    AddressLookup lookup;
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    bool found = false;
    std::vector<ResolvedAddress> addresses;
};

}  // namespace

LookupResult lookupAddresses(AddressLookup lookup, int timeoutMs, const std::function<bool()>& stopped,
                             std::vector<ResolvedAddress>& out) {
    out.clear();
    if (stopped()) return LookupResult::Stopped;
    auto pending = std::make_shared<PendingLookup>();
    pending->lookup = std::move(lookup);
    try {
        std::thread([pending] {
            std::vector<ResolvedAddress> addresses;
            const bool found = pending->lookup(addresses);
            std::lock_guard<std::mutex> guard(pending->lock);
            pending->finished = true;
            pending->found = found;
            pending->addresses = std::move(addresses);
            pending->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        // Without a thread to spare the lookup runs here: slower to stop, but
        // the connection can still be made.
        return pending->lookup(out) ? LookupResult::Found : LookupResult::NotFound;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    std::unique_lock<std::mutex> guard(pending->lock);
    while (!pending->finished) {
        if (stopped()) return LookupResult::Stopped;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return LookupResult::NotFound;
        pending->done.wait_until(guard, std::min(deadline, now + std::chrono::milliseconds(kStopCheckMs)));
    }
    if (!pending->found) return LookupResult::NotFound;
    out = std::move(pending->addresses);
    return out.empty() ? LookupResult::NotFound : LookupResult::Found;
}
