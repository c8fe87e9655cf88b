#include "support/steps.h"

#include "analysis/fitstorage.h"
#include "analysis/report.h"

namespace qv::testing {
namespace {

TFitStorage& Storage() {
  static TFitStorage storage;  // allocated once for the test program, as a session does
  return storage;
}

}  // namespace

TStepRun RunStep(const TMethod& method, const TGxeMeans& means, const TAnalysisParams& params,
                 char decimalSeparator) {
  TReport report;
  const TComputeContext context{means, params, report, Storage(), decimalSeparator};
  TStepRun run{method.compute(context), ""};
  run.text = report.Text();
  return run;
}

TStepRun RunBlock(const TMethod& method, const TGxeMeans& means, const TAnalysisParams& params,
                  const std::string& variable) {
  TReport report;
  report.Append(method.titleLine);
  report.Append(method.beforeVariableLine);
  report.Append("Análise da variável " + variable + "\r\n");
  report.Append(method.afterVariableLine);
  const TComputeContext context{means, params, report, Storage(), '.'};
  TStepRun run{method.compute(context), ""};
  run.text = report.Text();
  return run;
}

}  // namespace qv::testing
