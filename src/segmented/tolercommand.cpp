// The Toler menu command: the bisegmented run over the table, then the simple linear model on
// the last variable. Kept apart from the models so that their computation steps can be used
// without the table files.
#include "analysis/run.h"
#include "segmented/toler.h"
#include "segmented/tolerlinear.h"

namespace qv {

namespace {

// The end of the command: the table closed, the dialog's controls visible, the report shown.
void EndCommand(TSession& session, THost& host) {
  session.table.Close();
  for (Control c : kAllControls) host.Params().SetControlVisible(c, true);
  session.report.Show();
}

}  // namespace

bool TolerSimpleRun(TSession& session, THost& host, TFitEngine& fit, long double T) {
  const TStepResult result = TolerSimpleCompute(session.means, session.params, session.report, fit,
                                                T, session.decimalSeparator);
  if (!result.warning.empty()) host.Warn(result.warning);
  if (!result.reportLine.empty()) session.report.AppendLine(result.reportLine);
  EndCommand(session, host);
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
  if (!out.abandon) {
    // With no variable analysed (no table chosen, no numeric column) or the last one refused,
    // the means in memory are not those of an analysed variable: there is nothing to fit, and
    // the command ends as the run would, showing the report.
    if (out.lastReported) {
      out.simpleReported = TolerSimpleRun(session, host, out.state->fit, out.T);
    } else {
      EndCommand(session, host);
    }
  }
  host.SetBusyCursor(false);
  return out;
}

TRunOutcome TolerCommandRun(TSession& session, THost& host) {
  TTolerOutcome out = TolerCommand(session, host);
  if (!out.abandon && out.lastReported && !out.simpleReported) ++out.run.variablesRefused;
  return out.run;
}

}  // namespace qv
