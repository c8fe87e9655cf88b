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

long double LargestMean(const TGxeMeans& m, int g, int a) {
  long double largest = 0;
  for (int i = 1; i <= g; ++i) {
    for (int j = 1; j <= a; ++j) largest = std::fmax(largest, std::fabs(m.Y(i, j)));
  }
  return largest;
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

}  // namespace qv
