// What every segmented model needs of its environmental index before it is fitted.
//
// The models regress each genotype on the index (the classic one, MedAmb(j) - MediaGeral, or
// one estimated from it) and start from unit slopes. On an index that is null (every
// environment mean equal, up to the rounding of the 64-bit grand mean) the slopes cannot be
// estimated: the sweep leaves them aliased at their start values, and the report would show
// slopes of 1 with standard errors of rounding size, "significant" at any level. The sweep's
// threshold for a pivot is absolute for small diagonals (1e-13, inv_g2.h), and the diagonal of
// a slope is a sum of squares of the index: an index whose sum of squares is at that level is
// null for the fit whatever the scale of the data, and is refused too, with the advice to
// change the variable's unit.
#pragma once

#include "analysis/means.h"
#include "analysis/refusal.h"

namespace qv {

// Why the segmented models cannot be fitted to these means (their margins as the models start
// from them), or nothing: values too small for the sums of squares (ScaleRefusal), a null
// index, or an index too small for the fit.
[[nodiscard]] TCheck SegmentedIndexRefusal(const TGxeMeans& means, const TMargins& margins, int g,
                                           int a);

}  // namespace qv
