#include "plots/ticks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qv::plots {

namespace {

// The nice number near x: 1, 2, 5 or 10 times a power of ten; rounded to the nearest, or the
// next one up.
double Nice(double x, bool round) {
  const double exponent = std::floor(std::log10(x));
  const double fraction = x / std::pow(10.0, exponent);
  double nice = 10;
  if (round) {
    nice = fraction < 1.5 ? 1 : fraction < 3 ? 2 : fraction < 7 ? 5 : 10;
  } else {
    nice = fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10;
  }
  return nice * std::pow(10.0, exponent);
}

}  // namespace

TTicks NiceTicks(double lo, double hi, int target) {
  TTicks ticks;
  if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi)) return ticks;
  target = std::max(target, 2);
  const double range = Nice(hi - lo, false);
  ticks.step = Nice(range / (target - 1), true);
  const double first = std::ceil(lo / ticks.step - 1e-9);
  const double last = std::floor(hi / ticks.step + 1e-9);
  for (double k = first; k <= last && ticks.values.size() < 1000; ++k) {
    ticks.values.push_back(k * ticks.step);
  }
  const double largest = std::max(std::fabs(lo), std::fabs(hi));
  const int stepExponent = static_cast<int>(std::floor(std::log10(ticks.step) + 1e-9));
  ticks.scientific = largest >= 1e7 || stepExponent < -5;
  ticks.decimals = std::max(0, -stepExponent);
  return ticks;
}

std::string TickText(double value, const TTicks& ticks) {
  // A tick that is zero up to the rounding of k * step is zero.
  if (std::fabs(value) < ticks.step * 1e-9) value = 0;
  char text[48];
  if (ticks.scientific) {
    std::snprintf(text, sizeof text, "%.3g", value);
  } else {
    std::snprintf(text, sizeof text, "%.*f", ticks.decimals, value);
  }
  std::string s = text;
  if (s.find_first_not_of("-0.") == std::string::npos && s.front() == '-') s.erase(0, 1);
  return s;
}

}  // namespace qv::plots
