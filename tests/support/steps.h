// A method's computation step on hand-filled means, without dialogs or files: what the step
// appended to the report and what it handed back to the run.
#pragma once

#include <string>

#include "analysis/means.h"
#include "analysis/method.h"
#include "analysis/params.h"

namespace qv::testing {

struct TStepRun {
  TStepResult result;
  std::string text;

  bool Refused() const { return result.Refused(); }
  // The refusal's cause, or "".
  std::string Cause() const { return result.refusal ? result.refusal->cause : ""; }
};

// Runs method.compute with a context of its own (report, fitting storage) on these means.
TStepRun RunStep(const TMethod& method, const TGxeMeans& means, const TAnalysisParams& params,
                 char decimalSeparator = '.');

// The variable's block as the run writes it: the method's lines around "Análise da variável "
// and the field name, then what the step appends.
TStepRun RunBlock(const TMethod& method, const TGxeMeans& means, const TAnalysisParams& params,
                  const std::string& variable = "yield");

}  // namespace qv::testing
