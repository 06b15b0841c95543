#include "util/recording_names.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Appends the value of a known token; false for an unknown one.
bool appendTokenValue(std::string_view name, const FileNameFields& f, std::string& out) {
  char buf[64];
  if (name == "show") {
    out += f.show;
  } else if (name == "scene") {
    out += f.scene;
  } else if (name == "canvas") {
    out += f.canvas;
  } else if (name == "part") {
    std::snprintf(buf, sizeof buf, "%02d", static_cast<int>(f.part));
    out += buf;
  } else if (name == "date") {
    std::snprintf(buf, sizeof buf, "%d-%02d-%02d", f.time.tm_year + 1900, f.time.tm_mon + 1, f.time.tm_mday);
    out += buf;
  } else if (name == "time") {
    std::snprintf(buf, sizeof buf, "%02d-%02d-%02d", f.time.tm_hour, f.time.tm_min, f.time.tm_sec);
    out += buf;
  } else {
    return false;
  }
  return true;
}

bool forbiddenInFileName(unsigned char c) {
  return c < 0x20 || (c < 0x80 && std::strchr("\"*/:<>?\\|", static_cast<char>(c)) != nullptr);
}

// Windows opens a device, not a file, for these names, even with an
// extension after them: "NUL.mp4" would swallow a whole recording.
bool isReservedDeviceName(std::string_view stem) {
  constexpr std::size_t kLongest = 4;
  if (stem.size() > kLongest) return false;
  char upperText[kLongest];
  for (std::size_t i = 0; i < stem.size(); ++i)
    upperText[i] = stem[i] >= 'a' && stem[i] <= 'z' ? static_cast<char>(stem[i] - 'a' + 'A') : stem[i];
  const std::string_view upper(upperText, stem.size());
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '0' &&
         upper[3] <= '9';
}

}  // namespace

std::string expandFileName(const std::string& templateText, const FileNameFields& fields) {
  std::string out;
  appendFileName(templateText, fields, out);
  return out;
}

void appendFileName(const std::string& templateText, const FileNameFields& fields, std::string& out) {
  const std::size_t start = out.size();
  std::size_t i = 0;
  while (i < templateText.size()) {
    const char c = templateText[i];
    if (c == '{') {
      const std::size_t close = templateText.find('}', i + 1);
      if (close != std::string::npos) {
        const std::string_view name(templateText.data() + i + 1, close - i - 1);
        if (!appendTokenValue(name, fields, out)) out.append(templateText, i, close - i + 1);
        i = close + 1;
        continue;
      }
    }
    out.push_back(c);
    ++i;
  }
  for (std::size_t k = start; k < out.size(); ++k) {
    if (forbiddenInFileName(static_cast<unsigned char>(out[k]))) out[k] = '-';
  }
  while (out.size() > start && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  if (out.size() == start) {
    out += "Recording";
    return;
  }
  const std::string_view name = std::string_view(out).substr(start);
  const std::size_t stemEnd = std::min(name.find('.'), name.size());
  if (isReservedDeviceName(name.substr(0, stemEnd))) {
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(start + stemEnd), '_');
  }
}
