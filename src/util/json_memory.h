#pragma once
// The readers' count of what they build from a text (kJson*MemoryFactor):
// nodes, entries and string blocks as they are allocated, so that no shape
// of input gets more per byte than another.

#include <algorithm>
#include <cstddef>
#include <string>

#include "util/json.h"

// The bytes a reader has left to build with.
class JsonBudget {
 public:
  JsonBudget(std::size_t textBytes, std::size_t factor) : left_(std::max(textBytes * factor, kJsonMemoryFloor)) {}

  // False, taking nothing, when `bytes` do not fit in what is left.
  bool take(std::size_t bytes) {
    if (bytes > left_) return false;
    left_ -= bytes;
    return true;
  }
  void giveBack(std::size_t bytes) { left_ += bytes; }

 private:
  std::size_t left_;
};

// The heap block a string holds: none while its text fits in the string
// itself, as an empty string's capacity shows.
inline std::size_t jsonHeapBytes(const std::string& s) {
  static const std::size_t inside = std::string().capacity();
  return s.capacity() > inside ? s.capacity() + 1 : 0;
}
