#include "util/heap_bytes.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> live{0};
std::atomic<std::size_t> peak{0};
// Each block carries its size in front, keeping the alignment new promises.
constexpr std::size_t kHeader = alignof(std::max_align_t);

}  // namespace

std::size_t liveHeapBytes() { return live.load(); }
std::size_t peakHeapBytes() { return peak.load(); }
void resetPeakHeapBytes() { peak = live.load(); }

// Array, nothrow and sized forms reach these through the library's own definitions.
void* operator new(std::size_t size) {
  char* block = static_cast<char*>(std::malloc(size + kHeader));
  if (!block) throw std::bad_alloc();
  *reinterpret_cast<std::size_t*>(block) = size;
  const std::size_t now = live += size;
  std::size_t high = peak.load();
  while (now > high && !peak.compare_exchange_weak(high, now)) {
  }
  return block + kHeader;
}

void operator delete(void* p) noexcept {
  if (!p) return;
  char* block = static_cast<char*>(p) - kHeader;
  live -= *reinterpret_cast<std::size_t*>(block);
  std::free(block);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
