// Counts the program's heap allocations, so that a test can show a per-frame path makes none once
// its buffers are warm. The count covers every thread; the tests read it around calls that run
// while no other thread of theirs is working.
#pragma once

#include <cstddef>

std::size_t heapAllocations();
