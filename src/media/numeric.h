#pragma once
// Float-to-int conversion that cannot overflow: values from the project
// file or the user may be NaN, infinite or far outside int range.

#include <climits>
#include <cmath>

inline int truncToInt(double v, int lo = INT_MIN, int hi = INT_MAX) {
  if (std::isnan(v)) return lo > 0 ? lo : (hi < 0 ? hi : 0);
  if (v <= double(lo)) return lo;
  if (v >= double(hi)) return hi;
  return int(v);
}
