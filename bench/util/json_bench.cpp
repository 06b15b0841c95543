// parseJsonValue against nlohmann-json on a 2 MB document shaped like the
// data a large web page embeds: deep renderer objects, runs of text, URLs
// with escapes, counts, flags and long opaque tokens.
//
// util_json_bench [seconds per reader]
//
// Figures mean something only from a build without the sanitisers:
//   cmake -G Ninja -S . -B build/bench -DQH_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench --target util_json_bench && build/bench/bench/util/util_json_bench

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "util/json.h"
#include "page_data.h"

namespace {

template <typename F>
double megabytesPerSecond(const std::string& doc, double seconds, F parse) {
  // One warm-up pass, then as many passes as fit in the time.
  parse();
  int passes = 0;
  const auto start = std::chrono::steady_clock::now();
  double elapsed = 0;
  do {
    parse();
    ++passes;
    elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  } while (elapsed < seconds);
  return static_cast<double>(doc.size()) * passes / elapsed / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  const std::string doc = PageData().build(2 * 1024 * 1024);

  JsonValue check;
  std::size_t pos = 0;
  if (!parseJsonValue(doc, pos, check) || pos != doc.size()) {
    std::fprintf(stderr, "parseJsonValue rejected the document\n");
    return 1;
  }
  const nlohmann::json reference = nlohmann::json::parse(doc);
  if (reference.size() != check.members.size()) {
    std::fprintf(stderr, "the readers disagree on the document\n");
    return 1;
  }

  std::size_t sink = 0;
  const double ours = megabytesPerSecond(doc, seconds, [&] {
    JsonValue v;
    std::size_t p = 0;
    parseJsonValue(doc, p, v);
    sink += v.members.size();
  });
  const double theirs = megabytesPerSecond(doc, seconds, [&] {
    const nlohmann::json v = nlohmann::json::parse(doc);
    sink += v.size();
  });
  std::printf("document: %zu bytes\n", doc.size());
  std::printf("parseJsonValue: %.1f MB/s\n", ours);
  std::printf("nlohmann-json:  %.1f MB/s\n", theirs);
  std::printf("ratio: %.2fx (target 1.50x)%s\n", ours / theirs, sink == 0 ? " " : "");
  return ours >= 1.5 * theirs ? 0 : 2;
}
