// How a stability method plugs into the analysis run: a small description of its dialog
// entries, its report lines around the variable line, and its computation step.
#pragma once

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "analysis/host.h"
#include "analysis/means.h"
#include "analysis/params.h"
#include "analysis/report.h"

namespace qv {

// What a computation step hands back to the run.
struct TStepResult {
  // A warning to show (warning box, OK); empty for none.
  std::string warning;
  // A line to append to the report (without its "\r\n"); empty for none.
  std::string reportLine;
  // Marks the run as failed: every later variable gets only its title lines, the database
  // error box and the ERRO line (the segmented models' size checks do this).
  bool abandon = false;
  // True when the variable's results were not produced.
  bool refused = false;

  static TStepResult Done() { return {}; }
  // A check that ends the run: its warning, and every later variable marked as failed.
  static TStepResult Abandon(const std::string& warning) {
    TStepResult r;
    r.warning = warning;
    r.abandon = true;
    return r;
  }
  // An orderly refusal of one variable: a warning naming the cause, one report line saying
  // why the variable was not analysed; the run goes on with the next variable.
  static TStepResult Refuse(const std::string& cause) {
    TStepResult r;
    r.warning = cause;
    r.reportLine = "Variável não analisada: " + cause;
    r.refused = true;
    return r;
  }
};

using TComputeStep = std::function<TStepResult(TGxeMeans&, const TAnalysisParams&, TReport&)>;

// The text entries a method may ask for in either phase of the dialog.
enum class Entry { Alpha, GLE, QME, NumRep };

// What the run does when it ends.
enum class RunEnd { ShowReport, Inform, Nothing };

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

  RunEnd end = RunEnd::ShowReport;
  std::string endMessage;  // the information box of RunEnd::Inform (not after an abandoned run)
};

}  // namespace qv
