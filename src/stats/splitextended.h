// An 80-bit extended value held exactly as the sum of two doubles, for the long loops that
// load and store extended values far more often than they compute with them.
//
// On x86-64 an extended value is loaded and stored by microcoded instructions, several times
// slower than a double's load; a split value loads as two doubles and one exact addition in an
// extended register. The split of v is hi = v rounded to a double and lo = v - hi: lo is exact
// in extended precision (a multiple of v's last place, below half of hi's, so at most 11
// significant bits) and exact as a double too as long as hi does not overflow and lo does not
// fall below the doubles' range with bits lost. Then hi + lo rebuilds v exactly, and code that
// computes in extended registers gives the same bits whichever of the two storages it reads.
// The one thing a split does not keep is the sign of a zero: -0 comes back as +0.
#pragma once

#include <cfloat>
#include <cmath>

static_assert(LDBL_MANT_DIG == 64, "the split needs the 80-bit x87 extended format");

namespace qv {

struct TSplit {
  double hi, lo;
};

inline long double Join(TSplit x) {
  return static_cast<long double>(x.hi) + x.lo;
}

// In three x87 instructions, lo from hi as stored. Written in C++, the compiler may take hi
// through a scratch slot and join the two halves into one 16-byte vector store, whose reload of
// the x87 stores stalls the loops that call this in every step.
inline void Put(TSplit& to, long double v) {
  asm("fstl %0\n\tfsubl %0\n\tfstpl %1" : "=m"(to.hi), "=m"(to.lo) : "t"(v) : "st");
}

// A sufficient condition for Put to lose nothing, sign of zero included: v is +0, or its
// magnitude lies in [2^-960, 2^1000], so that neither hi overflows nor lo's last place
// (v's, at least 2^-1023) falls below the smallest double.
inline bool SplitsExactly(long double v) {
  const long double m = std::fabs(v);
  return (m >= 0x1p-960L && m <= 0x1p1000L) || (v == 0.0L && !std::signbit(v));
}

// The same loop body over either storage.
inline long double Load(long double x) {
  return x;
}
inline long double Load(TSplit x) {
  return Join(x);
}
inline void Store(long double& to, long double v) {
  to = v;
}
inline void Store(TSplit& to, long double v) {
  Put(to, v);
}

}  // namespace qv
