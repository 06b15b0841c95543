#include "util/recording_names.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

std::string tokenValue(std::string_view name, const FileNameFields& f, bool& known) {
  char buf[64];
  known = true;
  if (name == "show") return f.show;
  if (name == "scene") return f.scene;
  if (name == "canvas") return f.canvas;
  if (name == "part") {
    std::snprintf(buf, sizeof buf, "%02d", static_cast<int>(f.part));
    return buf;
  }
  if (name == "date") {
    std::snprintf(buf, sizeof buf, "%d-%02d-%02d", f.time.tm_year + 1900, f.time.tm_mon + 1, f.time.tm_mday);
    return buf;
  }
  if (name == "time") {
    std::snprintf(buf, sizeof buf, "%02d-%02d-%02d", f.time.tm_hour, f.time.tm_min, f.time.tm_sec);
    return buf;
  }
  known = false;
  return {};
}

bool forbiddenInFileName(unsigned char c) {
  return c < 0x20 || (c < 0x80 && std::strchr("\"*/:<>?\\|", static_cast<char>(c)) != nullptr);
}

// Windows opens a device, not a file, for these names, even with an
// extension after them: "NUL.mp4" would swallow a whole recording.
bool isReservedDeviceName(std::string_view stem) {
  std::string upper;
  for (char c : stem) upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '0' &&
         upper[3] <= '9';
}

}  // namespace

std::string expandFileName(const std::string& templateText, const FileNameFields& fields) {
  std::string out;
  std::size_t i = 0;
  while (i < templateText.size()) {
    const char c = templateText[i];
    if (c == '{') {
      const std::size_t close = templateText.find('}', i + 1);
      if (close != std::string::npos) {
        const std::string_view name(templateText.data() + i + 1, close - i - 1);
        bool known = false;
        const std::string value = tokenValue(name, fields, known);
        if (known) {
          out += value;
        } else {
          out.append(templateText, i, close - i + 1);
        }
        i = close + 1;
        continue;
      }
    }
    out.push_back(c);
    ++i;
  }
  for (char& ch : out) {
    if (forbiddenInFileName(static_cast<unsigned char>(ch))) ch = '-';
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  if (out.empty()) return "Recording";
  const std::size_t stemEnd = std::min(out.find('.'), out.size());
  if (isReservedDeviceName(std::string_view(out).substr(0, stemEnd))) {
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(stemEnd), '_');
  }
  return out;
}
