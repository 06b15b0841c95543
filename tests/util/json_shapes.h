#pragma once
// The JSON shapes that cost the readers the most memory per byte of text.

#include <cstddef>
#include <string>

// {"op":"x","aaaa":0,"baaa":0,...} of about `bytes`: keys of `letters`
// letters, every one new, so each member is an entry of its own.
inline std::string shortKeyObject(std::size_t bytes, std::size_t letters = 4) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz";
  std::string out = R"({"op":"x")";
  for (std::size_t i = 0; out.size() + letters + 6 < bytes; ++i) {
    out += ",\"";
    for (std::size_t n = i, k = 0; k < letters; ++k, n /= 26) out.push_back(kLetters[n % 26]);
    out += "\":0";
  }
  return out + "}";
}

// [0,0,...,0] of about `bytes`.
inline std::string zeroArray(std::size_t bytes) {
  std::string out = "[0";
  while (out.size() + 3 <= bytes) out += ",0";
  return out + "]";
}
