#pragma once
// Host-name lookups that a stop never waits for. The system's lookup cannot be
// interrupted and can take as long as the resolver likes, so it runs on a
// thread of its own; whoever asked may give up on it at any moment and leave
// it to finish alone.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One resolved address, copied out of the system's list so that it outlives
// the lookup that made it.
struct ResolvedAddress {
    int family = 0;
    int socketType = 0;
    int protocol = 0;
    std::vector<uint8_t> address;  // the socket address, as the system lays it out
};

// The platform's blocking lookup: false when the name could not be resolved.
using AddressLookup = std::function<bool(std::vector<ResolvedAddress>& out)>;

// The system's address list (getaddrinfo's), copied whatever the platform names its type.
template <class AddrInfo>
std::vector<ResolvedAddress> copyAddressList(const AddrInfo* list) {
    std::vector<ResolvedAddress> out;
    for (const AddrInfo* ai = list; ai; ai = ai->ai_next) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(ai->ai_addr);
        out.push_back({ai->ai_family, ai->ai_socktype, ai->ai_protocol,
                       std::vector<uint8_t>(bytes, bytes + ai->ai_addrlen)});
    }
    return out;
}

enum class LookupResult { Found, NotFound, Stopped };

// Runs `lookup` on a thread of its own and waits for it, looking at `stopped`
// every kStopCheckMs. A lookup that outlasts `timeoutMs` counts as NotFound.
// The lookup owns everything it touches, so a waiter that gave up may be gone
// long before it ends.
LookupResult lookupAddresses(AddressLookup lookup, int timeoutMs, const std::function<bool()>& stopped,
                             std::vector<ResolvedAddress>& out);
