// How a stability method plugs into the analysis run: a small description of its dialog
// entries, its report lines around the variable line, and its computation step.
//
// The step of one variable is two halves: the method's compute, which turns the means into a
// result value (or a refusal), and its writer, which appends the report's tables from that
// value. The step receives everything it may use in one context; it returns the result value to
// the run, which keeps it for whoever reads the results as data (the plots, the
// machine-readable output).
#pragma once

#include <climits>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/fitstorage.h"
#include "analysis/means.h"
#include "analysis/params.h"
#include "analysis/refusal.h"
#include "analysis/report.h"
#include "analysis/results.h"

namespace qv {

// What a computation step may use.
struct TComputeContext {
  const TGxeMeans& means;  // the variable's means, as the run read them
  const TAnalysisParams& params;
  TReport& report;          // the run's report, to which the step appends the variable's block
  TFitStorage& fitStorage;  // the session's storage of the nonlinear fits
  // The decimal separator of the General layout: the system locale's in the windows, "." on
  // the command line.
  char decimalSeparator = '.';
  // The segmented models start their fits from the best junctions of their profile scan
  // instead of their fixed start values (the command line's --scan-start).
  bool scanStart = false;
  // No numeric variable follows this one in the run: a command that goes on with the last
  // variable's means once the run ends (Toler's) may start on that work beside this step.
  bool lastVariable = false;
};

// What a computation step hands back to the run: the result value, or the refusal.
struct [[nodiscard]] TStepResult {
  TCheck refusal;
  TAnyResult result;

  bool Refused() const { return refusal.has_value(); }
  static TStepResult Done(TAnyResult result) { return {std::nullopt, std::move(result)}; }
  static TStepResult Refuse(TRefusal refusal) { return {std::move(refusal), {}}; }
};

// The usual step: compute, then write the report from the result, or hand the refusal on. A
// result holding a number that is not finite is refused before anything of it is written:
// whatever its cause (overflowing squares, a QME or an r at the ends of the range of the reals),
// the report never prints "Nan" or "Inf".
// Whether every number of a result is finite. A result type with a row of data per pair of
// genotypes or per cell of the table provides FiniteResult, which checks the same numbers
// without building hundreds of thousands of cells only to look at them; the others are checked
// through ResultData.
template <typename T>
bool ResultIsFinite(const T& value) {
  if constexpr (requires { FiniteResult(value); }) {
    return FiniteResult(value);
  } else {
    return AllFinite(ResultData(value));
  }
}

template <typename T, typename Writer>
TStepResult WriteStep(TComputed<T> computed, Writer&& write) {
  if (computed.Refused()) return TStepResult::Refuse(computed.Refusal());
  if (!ResultIsFinite(computed.Value())) {
    return TStepResult::Refuse(TRefusal::OfVariable(kNonFiniteResultCause));
  }
  write(computed.Value());
  return TStepResult::Done(TAnyResult(std::move(computed).Value()));
}

using TComputeStep = std::function<TStepResult(const TComputeContext&)>;

// The text entries a method may ask for in either phase of the dialog.
enum class Entry { Alpha, GLE, QME, NumRep };

struct TMethod {
  std::string name;  // the command-line name

  // Phase 1: caption and the entries shown with g, a and the two column lists; they are
  // checked before g, in this order.
  std::string phase1Caption = "Parâmetros";
  std::vector<Entry> phase1Extras;
  // Range tests a method adds to phase 1 (failing silently, setting the error flag).
  int minGenotypes = INT_MIN;
  int minEnvironments = INT_MIN;

  // Phase 2, once per variable: entries in checking order; empty for no phase 2.
  std::vector<Entry> phase2Entries;
  // Each phase-2 value must be greater than 0 (a value that converts but is not positive
  // fails the pass without a message).
  bool phase2RequirePositive = false;
  std::string qmeMessage = "< QME >: O valor de QME deve ser inteiro: ";
  std::string repMessage = "< r >: O valor de r deve ser inteiro: ";

  // Report lines: the title line (ending in "\r\n"); text written between the title line and
  // "Análise da variável "; text written right after the variable line, before the reading.
  std::string titleLine;
  std::string beforeVariableLine;
  std::string afterVariableLine;

  // Whether MediaGeral is accumulated while the records are read.
  bool accumulatesMediaGeral = false;

  TComputeStep compute;
};

}  // namespace qv
