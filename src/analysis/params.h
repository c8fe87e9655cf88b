// The parameters of one analysis run, read from the parameters dialog.
#pragma once

#include <cstdint>

namespace qv {

struct TAnalysisParams {
  std::int32_t g = 0;         // number of genotypes
  std::int32_t a = 0;         // number of environments
  double r = 0.0;             // replicates behind each mean (fractional values accepted)
  std::int32_t gle = 0;       // residual degrees of freedom of the individual analyses
  double QME = 0.0;           // residual mean square of the individual analyses
  double Alpha = 0.95;        // confidence level 1 - alpha (Annicchiarico)
  std::int32_t colGenot = 1;  // 1-based field number of the genotype code
  std::int32_t colAmb = 2;    // 1-based field number of the environment code
};

}  // namespace qv
