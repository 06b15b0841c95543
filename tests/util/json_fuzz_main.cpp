// Longer fuzzing runs: util_json_fuzz [seconds] [first seed]. Runs one batch
// per seed until the time is up and prints the totals.

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "json_fuzz.h"
#include "util_test_support.h"

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
  std::uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  std::uint64_t inputs = 0, trees = 0, flats = 0;
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const double left = seconds - std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (left <= 0) break;
    const JsonFuzzResult r = runJsonFuzz(seed, 1000000, left);
    inputs += r.inputs;
    trees += r.treesAccepted;
    flats += r.flatAccepted;
    if (!r.failure.empty()) {
      std::printf("FAILED (seed %llu): %s\ninput (hex): %s\n", static_cast<unsigned long long>(seed), r.failure.c_str(),
                  toHex(r.failingInput).c_str());
      return 1;
    }
    ++seed;
  }
  std::printf("%llu inputs, %llu trees accepted, %llu flat objects accepted, seeds up to %llu, no failure\n",
              static_cast<unsigned long long>(inputs), static_cast<unsigned long long>(trees),
              static_cast<unsigned long long>(flats), static_cast<unsigned long long>(seed - 1));
  return 0;
}
