// Toler's bisegmented model of stability (Toler 1990; Toler and Burrows 1998): every genotype
// responds linearly to an environmental index U(j) estimated from the data, with one slope in
// the unfavourable environments (U(j) <= 0) and another in the favourable ones (U(j) > 0),
//
//   Y(i, j) = a(i) + [b1(i) Z(j) + b2(i) (1 - Z(j))] U(j) + deviation,   Z(j) = 1 if U(j) <= 0,
//
// fitted by constrained Gauss-Newton (segmented/engine.h) with the sums of the b1(i), of the
// b2(i) and of the U(j) kept at their starting values (g, g and the sum of the classic index).
//
// The menu command "&Toler" runs the model on every numeric column of the table and then fits
// Toler's simple linear model (segmented/tolerlinear.h) to the means of the last one.
#pragma once

#include <memory>

#include "analysis/host.h"
#include "analysis/method.h"
#include "analysis/run.h"
#include "analysis/session.h"
#include "segmented/engine.h"

namespace qv {

inline constexpr const char* kTolerTitleLine =
    "Análise de Quorvandelia de acordo com os modelos de Toler, 1990)\r\n";

// The bisegmented model for the engine. Parameters: a(i) at 3(i - 1) + 1, b1(i) at 3(i - 1) + 2,
// b2(i) at 3(i - 1) + 3, U(j) at 3g + j; constraints: sum of b1, sum of b2, sum of U.
class TTolerModel : public TMeansModel {
 public:
  using TMeansModel::TMeansModel;
  int Parameters() const override { return 3 * g_ + a_; }
  int Constraints() const override { return 3; }
  bool InConstraint(int c, int p) const override;
  TEngineSettings Settings() const override;
  void StartValues(long double* theta) const override;
  long double ModelValue(const long double* theta, int i, int j) const override;
  int JacobianRow(const long double* theta, int i, int j, TJacEntry* row) const override;
};

// What the run keeps from one variable to the next and hands to the simple linear model: the
// fitting storage, and T (the corrected total sum of squares of the means times r) of the last
// variable that reached its report.
struct TTolerState {
  TFitEngine fit;
  long double T = 0;
  // True when the last variable the run took up reached its report (its means, parameters and
  // T are the ones in memory).
  bool lastReported = false;
  char decimalSeparator = '.';
};

// The run's description; the computation step shares `state` (one is made when none is given).
TMethod TolerMethod(std::shared_ptr<TTolerState> state = nullptr);

// The computation step for one variable: size checks (warning, abandon flag), the refusal of a
// non-positive gle, QME or r, the sums of squares of the means, the fit and its report.
TStepResult TolerCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report,
                         TTolerState& state);
// The same with storage of its own.
TStepResult TolerCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report);

struct TTolerOutcome {
  TRunOutcome run;
  // The run's abandon flag: the user gave up, a variable's records could not be read, a size
  // check failed, or the host could not answer.
  bool abandon = false;
  long double T = 0;            // of the last variable that reached its report
  bool lastReported = false;    // see TTolerState
  bool simpleReported = false;  // the simple linear model's report was appended (TolerCommand)
  std::shared_ptr<TTolerState> state;
};

// The bisegmented run over every numeric column; it does not show the report window.
TTolerOutcome TolerRun(TSession& session, THost& host);

// The menu command (and the command line's "toler"): the bisegmented run, then, unless it was
// abandoned, the simple linear model on the last variable, which shows the report window.
// When the run analysed no variable (no table chosen, no numeric column) or its last variable
// was refused, there are no means to fit: the report window is shown without the simple model.
// An abandoned run shows nothing.
TTolerOutcome TolerCommand(TSession& session, THost& host);

// TolerCommand as a menu or command-line entry that reports like every other run: a simple
// model that could not be reported counts as a refused variable.
TRunOutcome TolerCommandRun(TSession& session, THost& host);

}  // namespace qv
