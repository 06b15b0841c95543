// Longer fuzzing runs of the page readers: livedata_page_fuzz [seconds] [first seed].
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "livedata/page_fuzz.h"

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
    std::uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
    std::uint64_t inputs = 0, chats = 0, replies = 0;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const double left = seconds - std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (left <= 0) break;
        const PageFuzzResult r = runPageFuzz(seed, 100000, left);
        inputs += r.inputs;
        chats += r.chatsStarted;
        replies += r.repliesRead;
        if (!r.failure.empty()) {
            std::printf("FAILED (seed %llu): %s\n", static_cast<unsigned long long>(seed), r.failure.c_str());
            std::fwrite(r.failingInput.data(), 1, r.failingInput.size(), stderr);
            return 1;
        }
        ++seed;
    }
    std::printf("%llu pages, %llu chat pages and %llu replies accepted, seeds up to %llu, no failure\n",
                static_cast<unsigned long long>(inputs), static_cast<unsigned long long>(chats),
                static_cast<unsigned long long>(replies), static_cast<unsigned long long>(seed - 1));
    return 0;
}
