#pragma once
// 3D colour lookup tables in the ".cube" text format: 3D only, 2 to 256
// points per axis.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct CubeLut {
  int size = 0;             // points per axis N
  std::vector<float> rgb;   // N^3 triples, red fastest, then green, then blue
  float domainMin[3] = {0, 0, 0};
  float domainMax[3] = {1, 1, 1};
};

// Reads line by line so that a file is never held whole and a runaway
// file stops as soon as it holds more values than the largest table.
class CubeLutReader {
 public:
  static constexpr int kMaxSize = 256;
  static constexpr std::size_t kMaxValues = std::size_t(kMaxSize) * kMaxSize * kMaxSize * 3;

  explicit CubeLutReader(std::size_t maxValues = kMaxValues) : maxValues_(maxValues) {}

  // One line without its line feed. False once the text is known to be bad.
  bool line(std::string_view text);
  // Checks the totals and moves the table out.
  bool finish(CubeLut& out, std::string& error);
  const std::string& error() const { return error_; }

 private:
  bool fail(std::string text);

  std::size_t maxValues_;
  CubeLut lut_;
  std::string error_;
};

bool parseCubeLut(std::string_view text, CubeLut& out, std::string& error);
bool loadCubeLut(const std::string& utf8Path, CubeLut& out, std::string& error);
