// Constrained Gauss-Newton fitting of the segmented regression models of stability (Toler
// 1990; Silva 1998) to a g x a table of genotype means.
//
// Every model is fitted by the same iteration (Bates and Watts 1988, ch. 2; Seber and Wild
// 1989, sec. 14.2): the Jacobian J of the model values at the current parameters, the normal
// equations J'J s = J'(y - f) bordered by the model's linear equality constraints,
//
//          [ J'J  B' ] [ s ]   [ J'(y - f) ]      B: one row per constraint group, 1 for the
//          [ B    0  ] [ . ] = [     0     ]      parameters whose sum the group fixes,
//
// inverted by the sweep operator (stats/inv_g2.h), a step-length control that shortens the step
// until the residual sum of squares falls, and a convergence test on the change of that sum.
// Because every step sums to zero within each group, the constraints keep the sums they have at
// the starting values. The inverse of the bordered matrix at the estimates, scaled by the
// residual variance of a mean, QME / r, gives the variances and covariances of the estimates.
//
// A model supplies its starting values, model values, Jacobian rows, constraint groups and
// settings (TSegmentedModel); the settings also carry the variants of the step that Silva's
// models use (a new estimate rather than an increment, an abandoned or whole step at the floor
// of the step length, the plain rather than the corrected sum of squares of the trial points).
//
// Observations are the cells (i, j), i = 1..g, j = 1..a, always taken genotype by genotype; the
// observation number of cell (i, j) is (i - 1) a + j. Parameters are numbered from 1 (index 0 of
// every vector is unused), the constraint rows following them: the bordered order is N = P + K.
//
// Precision: parameters, Jacobian, normal matrix, right-hand side, step and residual sums are
// 80-bit extended reals; the parameters saved at the start of each step are rounded to 64 bits,
// and the trial points are built from the rounded values.
#pragma once

#include <cfloat>
#include <cstddef>
#include <memory>
#include <vector>

#include "analysis/fitstorage.h"
#include "analysis/means.h"
#include "stats/inv_g2.h"

static_assert(LDBL_MANT_DIG == 64, "the fit is defined in x87 80-bit extended precision");

namespace qv {

// The iteration stops after this many passes whatever the change of the sum of squares; a fit
// that reaches it is reported like any other.
inline constexpr int kMaxFitPasses = 5000;

// Which residual sum of squares a step compares.
enum class TSumKind {
  Corrected,  // sum of (e - mean e)^2, by the one-pass running update (Welford 1962)
  Plain,      // sum of e^2
};

// The right-hand side of the normal equations.
enum class TRhsKind {
  Residuals,  // J'(y - f) for the parameters, 0 in the border: the step is an increment
  Observed,   // J'y for the parameters, the constraint values in the border: the solution is a
              // new parameter vector (linearized model y ~ J theta, Silva 1998)
};

// How the step is read from the inverse G of the bordered matrix.
enum class TStepKind {
  Increment,    // Step(p) = sum over q = 1..P of G(p, q) Rhs(q); the trial points are
                // theta_prev + lambda Step
  NewEstimate,  // E(p) = sum over q = 1..N of G(p, q) Rhs(q); the trial points are
                // theta_prev + lambda (E - theta_prev)
};

// What the step-length control does once lambda has fallen past its floor without a trial
// lowering the sum of squares.
enum class TFloorAction {
  ShortStep,  // take the step at that (negligible) lambda, without evaluating it
  Restore,    // abandon the step: back to theta_prev
  WholeStep,  // take the whole step, lambda = 1
};

struct TEngineSettings {
  // The step-length control stops when lambda < floor (or lambda <= floor with floorInclusive).
  long double lambdaFloor = 1e-13L;
  bool floorInclusive = false;
  TFloorAction floorAction = TFloorAction::ShortStep;
  // Convergence when |SSE - PrevSSE| <= tolerance.
  long double tolerance = 1e-13L;
  // One more pass at the estimates after convergence; its inverse serves the inference and its
  // step moves the parameters once more.
  bool finalPass = true;
  TRhsKind rhs = TRhsKind::Residuals;
  TStepKind step = TStepKind::Increment;
  // Parameters that the inversion leaves aliased take no step: their rows and columns of the
  // inverse are read as 0, which makes it the g2 inverse of the sweep (Goodnight 1979). Without
  // it the partially swept values those rows keep enter the step.
  bool zeroAliasedSteps = false;
  TSumKind startSum = TSumKind::Corrected;  // the sum at theta_prev
  TSumKind trialSum = TSumKind::Corrected;  // the sums at the trial points
  // The running mean inside the corrected sum held in 64 bits (else 80).
  bool runningMeanDouble = false;
  // SSE and PrevSSE rounded to 64 bits when stored (else 80).
  bool sumsDouble = false;
  int maxPasses = kMaxFitPasses;
};

// A Jacobian row of the segmented models has at most this many non-zeros: the genotype's
// intercept, two slopes and junction, and the environment's index (all five in the Silva and
// Toler model).
inline constexpr int kMaxJacobianRowEntries = 5;

// What a model hands the engine. The observation grid is genotypes x environments; the
// observed values are read from the means matrix that FitModel is given.
class TSegmentedModel {
 public:
  virtual ~TSegmentedModel() = default;

  virtual int Genotypes() const = 0;
  virtual int Environments() const = 0;
  virtual int Parameters() const = 0;   // P
  virtual int Constraints() const = 0;  // K
  // Whether parameter p belongs to the group whose sum constraint c (1..K) fixes.
  virtual bool InConstraint(int c, int p) const = 0;
  // The value the sum of group c keeps (the border of an Observed right-hand side).
  virtual long double ConstraintValue(int /*c*/) const { return 0; }
  virtual TEngineSettings Settings() const = 0;

  // Fills theta(1..P).
  virtual void StartValues(long double* theta) const = 0;
  // f(i, j) at theta.
  virtual long double ModelValue(const long double* theta, int i, int j) const = 0;
  // The derivatives of f(i, j) at theta with respect to the parameters that enter it, at most
  // kMaxJacobianRowEntries, each column once; returns their number. Every column not listed is
  // 0 in this row.
  virtual int JacobianRow(const long double* theta, int i, int j, TJacEntry* row) const = 0;
  // Applied to every trial point before its sum of squares is taken, and to the point the
  // step-length control finally sets (Silva's bounds on the junctions).
  virtual void AdjustTrialPoint(long double* /*theta*/) const {}
};

// The part every model of this program shares: it describes the means of a g x a table, and
// starts from the table's margins (the genotype means, and the classic index MedAmb(j) -
// MediaGeral, with the grand mean the run accumulated from the records).
class TMeansModel : public TSegmentedModel {
 public:
  TMeansModel(const TMargins& margins, int g, int a) : margins_(margins), g_(g), a_(a) {}
  int Genotypes() const override { return g_; }
  int Environments() const override { return a_; }

 protected:
  const TMargins& margins_;
  int g_, a_;
};

enum class TFitStatus {
  Done,
  OrderTooLarge,  // P + K outside 1..MaxPar: the model's size checks should have refused it
};

struct [[nodiscard]] TFitResult {
  TFitStatus status = TFitStatus::Done;
  // The change of the residual sum of squares fell within the model's tolerance before the
  // pass limit; false when the loop stopped at kMaxFitPasses.
  bool converged = false;
  int loopPasses = 0;  // passes made by the loop, the final pass not counted
};

// The iteration, on fitting storage it borrows: the session's (analysis/fitstorage.h), so that
// every fit of every run uses the one storage allocated when the session started. Each fit
// overwrites what it uses, and nothing is allocated per pass (the Jacobian grows to the largest
// table fitted and stays). An engine is cheap to make; its results (Theta, G, SSE) are valid
// until the next fit on the same storage.
class TFitEngine {
 public:
  TFitEngine();  // with storage of its own (tests, benchmarks)
  explicit TFitEngine(TFitStorage& storage);
  TFitEngine(const TFitEngine&) = delete;
  TFitEngine& operator=(const TFitEngine&) = delete;

  // The whole iteration: start values, passes until the change of the residual sum of squares
  // is within the tolerance or kMaxFitPasses passes were made, then the final pass if the model
  // makes one. Afterwards Theta holds the estimates, SSE their residual sum of squares, G the
  // inverse of the last pass, and Pass the count the reports print (loop passes + 1, + 2 with a
  // final pass).
  [[nodiscard]] TFitResult FitModel(const TSegmentedModel& model, const TGxeMeans& means);

  // --- the pieces of a pass, in the order a pass calls them -------------------------------
  void FillJacobian(const TSegmentedModel& model);
  void BuildNormalMatrix(const TSegmentedModel& model);
  void BuildRhs(const TSegmentedModel& model, const TGxeMeans& means);
  void Invert();
  void ComputeStep();
  void LineSearch(const TSegmentedModel& model, const TGxeMeans& means);

  // The residual sum of squares of the model at the current Theta.
  long double ResidualSS(const TSegmentedModel& model, const TGxeMeans& means, TSumKind kind,
                         bool runningMeanDouble) const;

  // --- results ----------------------------------------------------------------------------
  long double Theta(int p) const { return s_.theta[static_cast<std::size_t>(p)]; }
  long double& Theta(int p) { return s_.theta[static_cast<std::size_t>(p)]; }
  const long double* ThetaData() const { return s_.theta.data(); }
  long double SSE() const { return sse_; }
  long double Pass() const { return pass_; }
  int Order() const { return n_; }
  int ParameterCount() const { return p_; }
  // Element (p, q) of the inverted bordered matrix, read from its upper triangle.
  long double G(int p, int q) const {
    return p <= q ? s_.sweep->WorkMat(p, q) : s_.sweep->WorkMat(q, p);
  }
  // The right-hand side and the step of the last pass.
  long double Rhs(int p) const { return s_.rhs[static_cast<std::size_t>(p)]; }
  long double Step(int p) const { return s_.step[static_cast<std::size_t>(p)]; }
  // The bordered matrix before inversion (between BuildNormalMatrix and Invert).
  const SweepStorage& Sweep() const { return *s_.sweep; }
  // Trials the step-length control made in the last pass (sums evaluated besides the start).
  int LastTrials() const { return lastTrials_; }
  long double LastLambda() const { return lastLambda_; }

 private:
  void OnePass(const TSegmentedModel& model, const TGxeMeans& means);
  void TrialPoint(const TSegmentedModel& model, long double lambda);

  std::unique_ptr<TFitStorage> own_;
  TFitStorage& s_;  // the bordered matrix and its inverse, the vectors, the Jacobian by rows

  TEngineSettings settings_;
  int g_ = 0, a_ = 0, p_ = 0, k_ = 0, n_ = 0;
  long double sse_ = 0, prevSse_ = 0, pass_ = 0;
  int lastTrials_ = 0;
  long double lastLambda_ = 0;
};

// A fit that ended on values that are not finite (a diverged step) cannot be reported.
bool IsFiniteFit(const TFitEngine& fit);
inline constexpr const char* kNonFiniteFitCause = "o ajuste do modelo não chegou a valores finitos";

// --- inference from the fit: the error of a mean is QME / r with gle degrees of freedom ------

// Non-positive variances (aliased or nearly aliased parameters) are replaced by this value.
inline constexpr long double kVarianceFloor = 1e-19L;

// QME G(p, p) / r, or kVarianceFloor when that is not positive.
long double ParameterVariance(const TFitEngine& fit, int p, double QME, double r);
// The variance of theta(q) - theta(p), p < q: QME (G(q, q) + G(p, p) - 2 G(p, q)) / r, with the
// same floor.
long double DifferenceVariance(const TFitEngine& fit, int p, int q, double QME, double r);
// QME G(p, q) / r.
long double Covariance(const TFitEngine& fit, int p, int q, double QME, double r);

}  // namespace qv
