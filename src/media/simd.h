// The vector instruction sets that the fast pixel paths may use, chosen at run time: the best the
// processor has, under a cap that tests and benchmarks lower to reach the slower paths.
#pragma once

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#define QH_X86 1
#include <immintrin.h>
#else
#define QH_X86 0
#endif

constexpr int kSimdPlain = 0;
constexpr int kSimdSse2 = 1;
constexpr int kSimdAvx2 = 2;

// The level in force: kSimdPlain off x86, else kSimdAvx2 where the processor has it, else
// kSimdSse2; never above the cap.
int simdLevel();

// Caps the level (kSimdAvx2 by default). For tests and benchmarks.
void setSimdLimit(int level);
