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
#include <random>
#include <string>

#include "util/json.h"

namespace {

class PageData {
 public:
  std::string build(std::size_t targetBytes) {
    std::string out = "{\"responseContext\":{\"serviceParams\":[";
    for (int i = 0; i < 8; ++i) {
      if (i) out += ",";
      out += param(i);
    }
    out += "],\"maxAgeSeconds\":300,\"mainAppWebInfo\":{\"graftUrl\":\"\\/feed\\/live\",\"isWebNativeShare\":true}},";
    out += "\"contents\":{\"sectionList\":{\"sections\":[";
    bool first = true;
    while (out.size() < targetBytes) {
      if (!first) out += ",";
      first = false;
      out += section();
    }
    out += "],\"trackingParams\":" + token(60) + "}},\"topbar\":" + topbar() + "}";
    return out;
  }

 private:
  std::uint64_t pick(std::uint64_t n) { return rng_() % n; }

  std::string param(int i) { return "{\"key\":\"k" + std::to_string(i) + "\",\"value\":" + token(12) + "}"; }

  std::string token(std::size_t n) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string s = "\"";
    for (std::size_t i = 0; i < n; ++i) s.push_back(kAlphabet[pick(64)]);
    return s + "\"";
  }

  std::string words() {
    static const char* const kWords[] = {"live", "stream", "tonight", "caf\\u00e9", "\xC3\xA9t\xC3\xA9", "\\\"quoted\\\"",
                                         "Q&amp;A", "\xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9F\x8E\xAE", "news", "music",
                                         "\\ud83d\\udd34", "line\\nbreak", "path\\/to"};
    std::string s = "\"";
    const std::size_t n = 2 + pick(10);
    for (std::size_t i = 0; i < n; ++i) s += std::string(i ? " " : "") + kWords[pick(std::size(kWords))];
    return s + "\"";
  }

  std::string runs() {
    std::string s = "{\"runs\":[";
    const std::size_t n = 1 + pick(3);
    for (std::size_t i = 0; i < n; ++i) {
      s += std::string(i ? "," : "") + "{\"text\":" + words();
      if (pick(3) == 0) s += ",\"bold\":true";
      s += "}";
    }
    return s + "],\"accessibility\":{\"accessibilityData\":{\"label\":" + words() + "}}}";
  }

  std::string thumbnails() {
    std::string s = "{\"thumbnails\":[";
    const int sizes[][2] = {{168, 94}, {196, 110}, {246, 138}, {336, 188}};
    for (int i = 0; i < 4; ++i) {
      s += std::string(i ? "," : "") + "{\"url\":\"https:\\/\\/img.example\\/vi\\/" + token(11).substr(1, 11) +
           "\\/hqdefault.jpg?sqp=" + token(24).substr(1, 24) + "\\u0026rs=" + token(20).substr(1, 20) +
           "\",\"width\":" + std::to_string(sizes[i][0]) + ",\"height\":" + std::to_string(sizes[i][1]) + "}";
    }
    return s + "]}";
  }

  std::string endpoint() {
    return "{\"clickTrackingParams\":" + token(40) +
           ",\"commandMetadata\":{\"webCommandMetadata\":{\"url\":\"\\/watch?v=" + token(11).substr(1, 11) +
           "\",\"webPageType\":\"WEB_PAGE_TYPE_WATCH\",\"rootVe\":3832}},\"watchEndpoint\":{\"videoId\":" + token(11) +
           ",\"startTimeSeconds\":" + std::to_string(pick(100000)) + "}}";
  }

  std::string item() {
    return "{\"videoRenderer\":{\"videoId\":" + token(11) + ",\"thumbnail\":" + thumbnails() + ",\"title\":" + runs() +
           ",\"descriptionSnippet\":" + runs() + ",\"viewCountText\":{\"simpleText\":\"" +
           std::to_string(pick(5000000)) + " watching\"},\"viewCount\":" + std::to_string(pick(5000000)) +
           ",\"rating\":" + std::to_string(pick(1000)) + "." + std::to_string(pick(1000)) + "e-1" +
           ",\"score\":" + std::to_string(static_cast<double>(pick(1u << 30)) / 7.0) +
           ",\"navigationEndpoint\":" + endpoint() + ",\"badges\":[{\"metadataBadgeRenderer\":{\"style\":" +
           "\"BADGE_STYLE_TYPE_LIVE_NOW\",\"label\":\"LIVE\",\"trackingParams\":" + token(28) +
           "}}],\"isWatched\":" + (pick(2) ? "true" : "false") + ",\"owner\":null,\"trackingParams\":" + token(36) +
           "}}";
  }

  std::string section() {
    std::string s = "{\"itemSection\":{\"header\":{\"title\":" + runs() + "},\"contents\":[";
    const std::size_t n = 3 + pick(6);
    for (std::size_t i = 0; i < n; ++i) s += std::string(i ? "," : "") + item();
    return s + "],\"trackingParams\":" + token(36) + "}}";
  }

  std::string topbar() { return "{\"logo\":{\"iconImage\":{\"iconType\":\"LOGO\"}},\"searchbox\":{\"placeholder\":" + words() + "}}"; }

  std::mt19937_64 rng_{42};
};

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
