// What hostile JSON costs the readers in heap: a 1 MiB remote message of short
// unique keys through parseJsonObjectFlat, and a 16 MiB page of "[0,0,...]"
// through parseJsonValue, each with the time to destroy what was built; a
// page-shaped document of each size for comparison.
//
// util_json_memory_bench
//
// Figures mean something only from a build without the sanitisers:
//   cmake -G Ninja -S . -B build/bench -DQH_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench --target util_json_memory_bench && build/bench/bench/util/util_json_memory_bench

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "page_data.h"
#include "util/heap_bytes.h"
#include "util/json.h"
#include "util/json_shapes.h"

namespace {

constexpr std::size_t kMessageBytes = 1 << 20;
constexpr std::size_t kPageBytes = 16 << 20;

double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void report(const char* what, std::size_t textBytes, bool ok, std::size_t peak, std::size_t held, double destroyMs) {
  std::printf("%-28s %9zu bytes  %-8s peak %11zu (%5.1fx)  held %11zu (%5.1fx)  destroy %8.3f ms\n", what, textBytes,
              ok ? "parsed" : "refused", peak, double(peak) / double(textBytes), held,
              double(held) / double(textBytes), destroyMs);
}

void flat(const char* what, const std::string& text) {
  const std::size_t before = liveHeapBytes();
  resetPeakHeapBytes();
  auto* out = new std::map<std::string, std::string>;
  const bool ok = parseJsonObjectFlat(text, *out);
  const std::size_t peak = peakHeapBytes() - before;
  const std::size_t held = liveHeapBytes() - before;
  const auto start = std::chrono::steady_clock::now();
  delete out;
  report(what, text.size(), ok, peak, held, msSince(start));
}

void tree(const char* what, const std::string& text) {
  const std::size_t before = liveHeapBytes();
  resetPeakHeapBytes();
  auto* out = new JsonValue;
  std::size_t pos = 0;
  const bool ok = parseJsonValue(text, pos, *out);
  const std::size_t peak = peakHeapBytes() - before;
  const std::size_t held = liveHeapBytes() - before;
  const auto start = std::chrono::steady_clock::now();
  delete out;
  report(what, text.size(), ok, peak, held, msSince(start));
}

}  // namespace

int main() {
  flat("flat: short unique keys", shortKeyObject(kMessageBytes));
  flat("flat: one long string", R"({"op":"x","s":")" + std::string(kMessageBytes - 20, 'a') + "\"}");
  tree("tree: [0,0,...]", zeroArray(kPageBytes));
  tree("tree: page-shaped", PageData().build(kPageBytes));
  return 0;
}
