#include "media/simd.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<int> simdLimit{kSimdAvx2};

int processorLevel() {
#if QH_X86
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? kSimdAvx2 : kSimdSse2;
#else
    return kSimdPlain;
#endif
}

}  // namespace

int simdLevel() {
    static const int best = processorLevel();
    return std::min(best, simdLimit.load(std::memory_order_relaxed));
}

void setSimdLimit(int level) { simdLimit.store(level, std::memory_order_relaxed); }
