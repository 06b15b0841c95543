// Counts the bytes the program holds through operator new, so that a benchmark
// can weigh what a call builds: the live count around building it, and the
// peak while it is built. The count covers every thread.
#pragma once

#include <cstddef>

std::size_t liveHeapBytes();
// The highest live count since the last reset.
std::size_t peakHeapBytes();
void resetPeakHeapBytes();
