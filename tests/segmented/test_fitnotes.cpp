// The notes a segmented report writes under "Número de iterações": a fit that did not converge,
// junctions that ended on a bound, a smaller sum found by the profile scan.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "segmented/fitreport.h"

namespace qv {
namespace {

TEST(FitNotes, OneLinePerFactInOrder) {
  struct Case {
    TFitSummary facts;
    double r;
    std::vector<std::string> lines;
  };
  TFitSummary converged;
  converged.converged = true;
  TFitSummary limit;
  TFitSummary stalled;
  stalled.stalled = true;
  TFitSummary one = converged;
  one.genotypesAtBound = {2};
  TFitSummary three = converged;
  three.genotypesAtBound = {2, 4, 7};
  TFitSummary scan = converged;  // beaten by 3.1905793566680787 against 3.41997635748, r = 3
  scan.scanned = true;
  scan.scanSSE = 3.1905793566680787L;
  scan.SSE = 3.41997635748L;
  TFitSummary close = scan;  // within the margin: the same minimum
  close.scanSSE = close.SSE * (1 - 1e-12L);
  TFitSummary all = limit;
  all.genotypesAtBound = {1, 5};
  all.scanned = true;
  all.scanSSE = 2.5e9L;
  all.SSE = 2.6e9L;
  const Case cases[] = {
      {converged, 3, {}},
      {limit,
       3,
       {"Nota: o ajuste não convergiu em 5000 iterações; as estimativas não são de mínimo."}},
      {stalled,
       3,
       {"Nota: o ajuste parou sem convergir (nenhum passo reduziu a soma de quadrados); as "
        "estimativas não são de mínimo."}},
      {one,
       3,
       {"Nota: a junção do genótipo 2 parou no limite permitido (segundo menor ou segundo maior "
        "valor do índice)."}},
      {three,
       3,
       {"Nota: as junções dos genótipos 2, 4 e 7 pararam no limite permitido (segundo menor ou "
        "segundo maior valor do índice)."}},
      {scan,
       3,
       {"Nota: a varredura das junções encontrou SQ do desvio menor, 9.57174; estas estimativas "
        "são de um mínimo local."}},
      {close, 3, {}},
      {all,
       4,
       {"Nota: o ajuste não convergiu em 5000 iterações; as estimativas não são de mínimo.",
        "Nota: as junções dos genótipos 1 e 5 pararam no limite permitido (segundo menor ou "
        "segundo maior valor do índice).",
        "Nota: a varredura das junções encontrou SQ do desvio menor, 1.000000E+0010."}},
  };
  for (const Case& c : cases) EXPECT_EQ(FitNotes(c.facts, c.r), c.lines);
}

}  // namespace
}  // namespace qv
