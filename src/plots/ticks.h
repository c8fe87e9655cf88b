// Axis ticks at "nice" numbers, 1, 2 or 5 times a power of ten (Heckbert 1990, "Nice numbers
// for graph labels", Graphics Gems, pp. 61-63), and their text.
#pragma once

#include <string>
#include <vector>

namespace qv::plots {

struct TTicks {
  std::vector<double> values;  // inside [lo, hi], ascending
  double step = 0;
  int decimals = 0;         // of the fixed form
  bool scientific = false;  // steps too large or too small for the fixed form
};

// About `target` ticks (at least 2) inside [lo, hi], lo < hi.
TTicks NiceTicks(double lo, double hi, int target);

// A tick's text: with the decimals its step needs, "." as decimal point (as the report), never
// "-0".
std::string TickText(double value, const TTicks& ticks);

}  // namespace qv::plots
