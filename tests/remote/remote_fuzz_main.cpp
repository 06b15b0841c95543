// Longer fuzzing runs: remote_fuzz [seconds per parser] [first seed].

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "remote/remote_fuzz.h"

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
    const uint64_t firstSeed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
    for (RemoteFuzzTarget target : {RemoteFuzzTarget::Frame, RemoteFuzzTarget::Upgrade, RemoteFuzzTarget::Datagram}) {
        uint64_t inputs = 0, accepted = 0, seed = firstSeed;
        const auto start = std::chrono::steady_clock::now();
        for (;; ++seed) {
            const double left =
                seconds - std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (left <= 0) break;
            const RemoteFuzzResult r = runRemoteFuzz(target, seed, 1000000, left);
            inputs += r.inputs;
            accepted += r.accepted;
            if (!r.failure.empty()) {
                std::printf("%s: FAILED (seed %llu): %s\n", remoteFuzzName(target), (unsigned long long)seed,
                            r.failure.c_str());
                return 1;
            }
        }
        std::printf("%s: %llu inputs, %llu accepted, seeds %llu..%llu, no failure\n", remoteFuzzName(target),
                    (unsigned long long)inputs, (unsigned long long)accepted, (unsigned long long)firstSeed,
                    (unsigned long long)(seed - 1));
    }
    return 0;
}
