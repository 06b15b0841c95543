#pragma once
// A document shaped like the data a large web page embeds, for the JSON
// readers' benchmarks.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>

// A document shaped like the data a large web page embeds: deep renderer
// objects, runs of text, URLs with escapes, counts, flags and long opaque
// tokens. The same seed gives the same document.
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
