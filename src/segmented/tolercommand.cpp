// The Toler menu command: the bisegmented run over the table, then the simple linear model on
// the last variable. Kept apart from the models so that their computation steps can be used
// without the table files.
#include "analysis/run.h"
#include "segmented/toler.h"
#include "segmented/tolerlinear.h"

namespace qv {

bool TolerSimpleRun(TSession& session, THost& host, TFitEngine& fit, long double T) {
  const TStepResult result = TolerSimpleCompute(session.means, session.params, session.report, fit,
                                                T, session.decimalSeparator);
  if (!result.warning.empty()) host.Warn(result.warning);
  if (!result.reportLine.empty()) session.report.AppendLine(result.reportLine);
  session.table.Close();
  for (Control c : kAllControls) host.Params().SetControlVisible(c, true);
  session.report.Show();
  return !result.refused;
}

TTolerOutcome TolerRun(TSession& session, THost& host) {
  TTolerOutcome out;
  out.state = std::make_shared<TTolerState>();
  out.state->decimalSeparator = session.decimalSeparator;
  out.run = RunAnalysis(TolerMethod(out.state), session, host);
  out.abandon = out.run.abandoned || out.run.aborted;
  out.T = out.state->T;
  out.lastReported = out.state->lastReported;
  return out;
}

TTolerOutcome TolerCommand(TSession& session, THost& host) {
  host.SetBusyCursor(true);
  TTolerOutcome out = TolerRun(session, host);
  if (!out.abandon && out.lastReported) {
    out.simpleReported = TolerSimpleRun(session, host, out.state->fit, out.T);
  }
  host.SetBusyCursor(false);
  return out;
}

}  // namespace qv
