#include "analysis/means.h"

#include <cfloat>
#include <cmath>

#include "stats/runningsums.h"

namespace qv {

TIndexed<> GenotypeMeans(const TGxeMeans& m, int g, int a) {
  TIndexed<> medGen(g);
  for (int i = 1; i <= g; ++i) {
    long double s = 0;
    for (int j = 1; j <= a; ++j) s += m.Y(i, j) / a;
    medGen(i) = s;
  }
  return medGen;
}

TIndexed<> EnvironmentMeans(const TGxeMeans& m, int g, int a) {
  TIndexed<> medAmb(a);
  for (int j = 1; j <= a; ++j) {
    long double s = 0;
    for (int i = 1; i <= g; ++i) s += m.Y(i, j) / g;
    medAmb(j) = s;
  }
  return medAmb;
}

TMargins Margins(const TGxeMeans& m, int g, int a) {
  return {GenotypeMeans(m, g, a), EnvironmentMeans(m, g, a), m.MediaGeral};
}

bool ExactDoubleMeans(const TGxeMeans& m, int g, int a, std::vector<double>& out) {
  if (g <= 0 || a <= 0) return false;
  out.resize(static_cast<std::size_t>(g) * static_cast<std::size_t>(a));
  double* to = out.data();
  for (int i = 1; i <= g; ++i) {
    const long double* row = m.Row(i);
    for (int j = 0; j < a; ++j) {
      const double v = static_cast<double>(row[j]);
      // A NaN never equals itself: it takes the extended path, which handles it as before.
      if (static_cast<long double>(v) != row[j]) return false;
      *to++ = v;
    }
  }
  return true;
}

long double LargestMean(const TGxeMeans& m, int g, int a) {
  // Comparisons instead of fmax, which is a library call for extended reals (a NaN is passed
  // over in both), and four running maxima, since each comparison waits for the one before;
  // the largest of them is the largest of all, whatever the order.
  long double l0 = 0, l1 = 0, l2 = 0, l3 = 0;
  for (int i = 1; i <= g; ++i) {
    const long double* row = m.Row(i);
    int j = 0;
    for (; j + 3 < a; j += 4) {
      const long double v0 = std::fabs(row[j]), v1 = std::fabs(row[j + 1]);
      const long double v2 = std::fabs(row[j + 2]), v3 = std::fabs(row[j + 3]);
      if (v0 > l0) l0 = v0;
      if (v1 > l1) l1 = v1;
      if (v2 > l2) l2 = v2;
      if (v3 > l3) l3 = v3;
    }
    for (; j < a; ++j) {
      const long double v = std::fabs(row[j]);
      if (v > l0) l0 = v;
    }
  }
  if (l1 > l0) l0 = l1;
  if (l3 > l2) l2 = l3;
  return l2 > l0 ? l2 : l0;
}

long double InteractionNoise(const TGxeMeans& m, int g, int a) {
  return 16 * DBL_EPSILON * LargestMean(m, g, a);
}

TIndexed<> GenotypeRunningMeans(const TGxeMeans& m, int g, int a) {
  TIndexed<> medGen(g);
  for (int i = 1; i <= g; ++i) {
    TExtendedSS running;
    for (int j = 1; j <= a; ++j) running.Add(m.Y(i, j));
    medGen(i) = running.Mean();
  }
  return medGen;
}

TIndexed<double> EnvironmentMeansDouble(const TGxeMeans& m, int g, int a) {
  TIndexed<double> c(a);
  for (int j = 1; j <= a; ++j) {
    double s = 0.0;
    for (int i = 1; i <= g; ++i) s = static_cast<double>(s + m.Y(i, j) / g);
    c(j) = s;
  }
  return c;
}

TObservedMeans ObservedMeans(const TGxeMeans& m, int g, int a) {
  TObservedMeans observed;
  if (g <= 0 || a <= 0) return observed;
  observed.g = g;
  observed.a = a;
  observed.y.reserve(static_cast<std::size_t>(g) * static_cast<std::size_t>(a));
  for (int i = 1; i <= g; ++i)
    for (int j = 1; j <= a; ++j) observed.y.push_back(static_cast<double>(m.Y(i, j)));
  return observed;
}

}  // namespace qv
