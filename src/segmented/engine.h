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
// inverted by the sweep operator (stats/inv_g2.h; in the loop passes of a large model with an
// estimated index, once that index's diagonal block has been eliminated: SolveByIndexBlock; in
// those of a large model whose genotypes follow two lines in a known index, genotype by
// genotype: SolveByLineBlocks, segmented/lineblocks.cpp), a
// step-length control that shortens the step until the residual sum of squares falls, and a
// convergence test on the change of that sum.
// Because every step sums to zero within each group, the constraints keep the sums they have at
// the starting values. The inverse of the bordered matrix at the estimates, scaled by the
// residual variance of a mean, QME / r, gives the variances and covariances of the estimates.
//
// A model supplies its starting values, model values, Jacobian rows, constraint groups and
// settings (TSegmentedModel); the settings also carry the variants of the step that the models
// of the family use (which sum of squares is compared, what happens at the floor of the step
// length, whether convergence also asks the full step to be negligible).
//
// Junctions. The models with a junction per genotype (Silva 1998) bend where the junction
// meets an index value: their residual sum of squares is smooth in a junction only between
// consecutive index values (the breakpoints) and merely continuous across them, and its minimum
// often lies exactly on one (Hudson 1966, J. Amer. Statist. Assoc. 61: 1097-1129). Gauss-Newton
// steps cannot settle there by themselves: the derivative changes at the breakpoint, so every
// full step overshoots and the step length shrinks to nothing. Besides the usual step lengths
// the engine therefore tries the lengths at which a junction reaches the next breakpoint, with
// the junction set exactly on it; it holds a junction that sits on a breakpoint where neither
// side lowers the sum (the side test: the one-sided derivative less the constraints' share,
// the multiplier of holding it there, exact once the other parameters are at their best) while
// the other parameters go on moving, and frees it when a side does (an active set: Bertsekas
// 1999, Nonlinear Programming, sec. 2.3; Gill, Murray and Wright 1981, Practical Optimization,
// sec. 5.2). A junction held on an estimated breakpoint follows it. Where the model has bounds
// for its junctions (the first and last breakpoints), trial points are kept within them.
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
#include <utility>
#include <vector>

#include "analysis/fitstorage.h"
#include "analysis/means.h"
#include "stats/inv_g2.h"

static_assert(LDBL_MANT_DIG == 64, "the fit is defined in x87 80-bit extended precision");

namespace qv {

// The iteration stops after this many passes whatever the change of the sum of squares; the
// fit result says that it did not converge.
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
  Restore,    // abandon the step: back to theta_prev, whose sum is the one kept
};

// The decrement tolerance of the models with junctions: a full step that would lower the sum of
// squares by more than this fraction of it is not negligible.
inline constexpr long double kDecrementTolerance = 1e-14L;

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
  // With decrementTolerance d > 0, convergence asks the change of the sum and the decrease of
  // the sum that the full Gauss-Newton step predicts, Step' J'(y - f), both to be at most
  // d SSE + tolerance, and no held junction to want to move. A change of the sum within the
  // tolerance alone is also met by a step the control has shortened to nothing far from a
  // minimum. 0: the change of the sum alone, within the tolerance.
  long double decrementTolerance = 0;
  // The step corrected onto the constraints (each group's step summing to 0) after the solve.
  bool projectSteps = false;
  TSumKind startSum = TSumKind::Corrected;  // the sum at theta_prev
  TSumKind trialSum = TSumKind::Corrected;  // the sums at the trial points
  // The running mean inside the corrected sum held in 64 bits (else 80).
  bool runningMeanDouble = false;
  // SSE and PrevSSE rounded to 64 bits when stored (else 80).
  bool sumsDouble = false;
  int maxPasses = kMaxFitPasses;
};

// A value where a junction bends the model: a constant (a known index value) or a parameter
// (an estimated index value, which moves with the fit).
struct TBreakpoint {
  long double value = 0;
  int param = 0;  // 0 for a constant
};

// A Jacobian row of the segmented models has at most this many non-zeros: the genotype's
// intercept, two slopes and junction, and the environment's index (all five in the Silva and
// Toler model).
inline constexpr int kMaxJacobianRowEntries = 5;

// A genotype whose response is a straight line in a known index on either side of its junction
// (Silva's models): the model value of a cell with index x is c[s] + b[s] x, and its Jacobian row
// over the genotype's kLineColumns parameters u[s] + v[s] x, with s = 0 on the lower line
// (x <= x0) and 1 on the upper one. Every sum over a side's cells of these rows' products is
// then a combination of the sums of 1, x and x^2 over those cells, and every sum of their
// products with the residuals one of the residuals' sums and of their products with x.
inline constexpr int kLineColumns = 4;
struct TLinePair {
  int column = 0;  // the first of the genotype's parameters, which follow it
  long double x0 = 0;
  long double c[2] = {}, b[2] = {};
  long double u[2][kLineColumns] = {}, v[2][kLineColumns] = {};
};

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
  // f(i, 1..a) at theta into f[1..a]: the residual sums of every trial of the step length pass
  // over all g x a cells, and a model can take its genotype's parameters once per row.
  virtual void ModelValues(const long double* theta, int i, long double* f) const {
    for (int j = 1; j <= Environments(); ++j) f[j] = ModelValue(theta, i, j);
  }
  // s plus the squared residuals of row i, y[j - 1] - f(i, j), added one at a time in the order
  // of j (s += e e): the plain residual sums. f (1..a) is scratch. A model may form its values
  // on the way instead of storing them; the sum must be this one to the last bit.
  virtual long double AddSquaredResiduals(const long double* theta, int i, const long double* y,
                                          long double s, long double* f) const {
    ModelValues(theta, i, f);
    for (int j = 1; j <= Environments(); ++j) {
      const long double e = y[j - 1] - f[j];
      s += e * e;
    }
    return s;
  }
  // The derivatives of f(i, j) at theta with respect to the parameters that enter it, at most
  // kMaxJacobianRowEntries, each column once; returns their number. Every column not listed is
  // 0 in this row. A cell exactly at its genotype's junction counts on the lower line.
  virtual int JacobianRow(const long double* theta, int i, int j, TJacEntry* row) const = 0;

  // The Jacobian rows of (i, 1..a), as the fits form them once a pass, into
  // rows[(j - 1) kMaxJacobianRowEntries ..] with their numbers in counts[j - 1] (JacobianRowAbove
  // with `above`). A model may override this (and ModelValues) to compute a row at once; the
  // values must be those of the cell-by-cell calls, to the last bit.
  virtual void JacobianRows(const long double* theta, int i, bool above, TJacEntry* rows,
                            unsigned char* counts) const {
    for (int j = 1; j <= Environments(); ++j) {
      TJacEntry* row = rows + static_cast<std::size_t>(j - 1) * kMaxJacobianRowEntries;
      counts[j - 1] = static_cast<unsigned char>(above ? JacobianRowAbove(theta, i, j, row)
                                                       : JacobianRow(theta, i, j, row));
    }
  }

  // The number of trailing parameters that are the environments' index values, when the model
  // estimates the index (Toler's models): each cell involves one of them, so that their block
  // of the normal matrix is diagonal (see TFitEngine::SolveByIndexBlock). 0: none.
  virtual int IndexParameters() const { return 0; }

  // A model whose genotypes follow two lines in a known index (TLinePair) gives that index,
  // x(1..a) into index[1..a], and returns true; LinePair then describes genotype i at theta.
  // The lines need not reproduce ModelValue to the last bit: the engine takes the residuals from
  // ModelValues, and the lines' sums only for the normal equations and to rule out trials.
  virtual bool KnownIndex(std::vector<long double>& /*index*/) const { return false; }
  virtual void LinePair(const long double* /*theta*/, int /*i*/, TLinePair& /*out*/) const {}
  // --- junctions (see the top of this file); a model without them keeps these defaults -------
  virtual int Junctions() const { return 0; }
  // The parameter of junction k (1..Junctions()) and the genotype whose cells it moves.
  virtual int JunctionParameter(int /*k*/) const { return 0; }
  virtual int JunctionGenotype(int /*k*/) const { return 0; }
  // The breakpoints of junction k at theta into `out`: ascending, distinct, at least one.
  virtual void Breakpoints(const long double* /*theta*/, int /*k*/,
                           std::vector<TBreakpoint>& /*out*/) const {}
  // Whether the first and last breakpoints bound the junctions (else they may go beyond).
  // Bounds that are parameters move with them.
  virtual bool JunctionsBounded() const { return true; }
  // Whether every junction at theta leaves its genotype a cell strictly on either side, so that
  // both slopes have data; a trial point where one does not is refused. (Bounds that are
  // parameters can be overtaken by the others: the index values reorder.)
  virtual bool JunctionsInside(const long double* /*theta*/) const { return true; }
  // JacobianRow with a cell that lies exactly at its genotype's junction counted on the upper
  // line: the one-sided derivatives for the junction moving down past the cell.
  virtual int JacobianRowAbove(const long double* theta, int i, int j, TJacEntry* row) const {
    return JacobianRow(theta, i, j, row);
  }

  // The profile scan. Given its bends (the junctions, and the index where it is estimated) the
  // model is linear in the intercepts and slopes, so the best place of a junction can be sought
  // interval by interval between consecutive index values (segmented/slopesums.h). Starting
  // from theta, fills `best` (1..P) with the best parameters the scan finds and returns their
  // residual sum of squares; a negative value when the model has no scan or it failed.
  virtual long double ProfileScan(const TGxeMeans& /*means*/, const long double* /*theta*/,
                                  std::vector<long double>& /*best*/) const {
    return -1;
  }
};

// The part every model of this program shares: it describes the means of a g x a table, and
// starts from the table's margins (the genotype means, and the classic index MedAmb(j) -
// MediaGeral, with the grand mean the run accumulated from the records).
class TMeansModel : public TSegmentedModel {
 public:
  TMeansModel(const TMargins& margins, int g, int a) : margins_(margins), g_(g), a_(a) {}
  int Genotypes() const override { return g_; }
  int Environments() const override { return a_; }
  // The sum of squared residuals of `means` at theta.
  long double SumOfSquares(const TGxeMeans& means, const long double* theta) const;

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
  // The fit met its convergence test before the pass limit (the change of the residual sum of
  // squares, and for the models with a decrement tolerance the full step too).
  bool converged = false;
  int loopPasses = 0;  // passes made by the loop, the final pass not counted
  // The loop ended before the pass limit without converging: no step length lowered the sum of
  // squares although the full step predicted a decrease (the estimates are not a minimum).
  bool stalled = false;
  // The genotypes whose junction ended on its first or last breakpoint (a bound).
  std::vector<int> genotypesAtBound;
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
  // final pass). With `start` (1..P) the fit starts there instead of at the model's start
  // values.
  [[nodiscard]] TFitResult FitModel(const TSegmentedModel& model, const TGxeMeans& means,
                                    const std::vector<long double>* start = nullptr);

  // --- the pieces of a pass, in the order a pass calls them -------------------------------
  // One whole pass: the pieces below in their order.
  void OnePass(const TSegmentedModel& model, const TGxeMeans& means);
  // Where each junction may go in this pass: held on its breakpoint, or free towards the side
  // that lowers the sum, up to the neighbouring breakpoint.
  void PrepareJunctions(const TSegmentedModel& model, const TGxeMeans& means);
  void FillJacobian(const TSegmentedModel& model);
  void BuildNormalMatrix(const TSegmentedModel& model);
  void BuildRhs(const TSegmentedModel& model, const TGxeMeans& means);
  void Invert();
  void ComputeStep();
  // Instead of Invert and ComputeStep, in the loop passes of a model with an estimated index:
  // the step and its multipliers from the normal equations with the index block eliminated;
  // false (nothing changed) where that block is not diagonal or the reduced solve aliases an
  // index that the full one might not.
  bool SolveByIndexBlock();
  // A free junction on a breakpoint whose step turns to the side it may not take is held there,
  // and the step of the others is solved again without it.
  void HoldJunctionsAgainstTheirSide(const TSegmentedModel& model, const TGxeMeans& means);
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
  // The bordered matrix before inversion (between BuildNormalMatrix and Invert): its upper
  // triangle, and the constraint rows below the diagonal.
  const SweepStorage& Sweep() const { return *s_.sweep; }
  // Trials the step-length control made in the last pass (sums evaluated besides the start).
  int LastTrials() const { return lastTrials_; }
  long double LastLambda() const { return lastLambda_; }
  // The decrease of the sum of squares the last full step predicted, Step' Rhs.
  long double Decrement() const { return decrement_; }
  // Whether the last pass's step-length control abandoned the step.
  bool LastRestored() const { return lastRestored_; }
  // Every inversion by GInverse, pivot by pivot, instead of cell by cell: the same pivots,
  // aliased indices and inverse to the last bit at a higher cost (for the tests and benchmarks
  // that compare the two).
  void UseReferenceSweep(bool on) { referenceSweep_ = on; }
  // Whether the last inversion was made cell by cell.
  bool InvertedByCells() const { return byCells_; }
  // Whether the loop passes of a model with an estimated index may solve their steps with the
  // index block eliminated (SolveByIndexBlock; on by default), and how many steps of the last
  // fit were solved so.
  void UseIndexBlock(bool on) { indexBlockOn_ = on; }
  int IndexBlockSteps() const { return indexBlockSteps_; }
  // Whether the loop passes of a large model whose genotypes follow two lines in a known index
  // (TLinePair) may solve their steps genotype by genotype (SolveByLineBlocks; on by default),
  // and how many steps of the last fit were solved so.
  void UseLineBlocks(bool on) { lineBlocksOn_ = on; }
  int LineBlockSteps() const { return lineBlockSteps_; }
  // Whether trials may be ruled out on the lines' sums (on by default; it changes nothing the
  // fit computes), and how many trials of the last fit were (see TrialRuledOut).
  void RuleOutTrials(bool on) { ruleOutOn_ = on; }
  int TrialsRuledOut() const { return trialsRuledOut_; }
  // Whether junction k (1..) was held on its breakpoint in the last pass.
  bool JunctionHeld(int k) const { return junctions_[static_cast<std::size_t>(k)].held; }

 private:
  struct TJunctionState {
    int p = 0, genotype = 0;
    bool atPoint = false;     // exactly on the breakpoint `on`
    bool held = false;        // takes no step of its own: stays on `on` (follows it, a parameter)
    bool above = false;       // moves down: the cells at the junction count on the upper line
    TBreakpoint on;           // the breakpoint it is on
    TBreakpoint lo, hi;       // its neighbouring breakpoints (infinite beyond the last)
    TBreakpoint first, last;  // the first and last breakpoints: its bounds, if any
    long double base = 0;     // its exact value at the start of the step
    TBreakpoint target;       // the breakpoint it lands on in a landing trial
  };
  void TrialPoint(long double lambda, std::size_t landing);
  void ProjectStepOnConstraints();
  void SolveStep(const TSegmentedModel& model, const TGxeMeans& means);
  // The side test of a junction on a breakpoint: the derivative of -SSE / 2 along the junction
  // on the given side, less what the constraint multipliers of the last solve account for.
  long double SideDescent(const TSegmentedModel& model, const TGxeMeans& means,
                          const TJunctionState& junction, bool above) const;
  // Chooses for a junction on a breakpoint: free upwards, free downwards or held.
  void ChooseSide(const TSegmentedModel& model, const TGxeMeans& means, TJunctionState& junction,
                  const std::vector<TBreakpoint>& points, std::size_t m) const;
  // Whether a junction held in the last pass would now be freed.
  bool HeldJunctionWouldMove(const TSegmentedModel& model, const TGxeMeans& means);
  void InferenceInverse(const TSegmentedModel& model);
  // What the step adds to the inverse's solution: the predicted decrease, the projection and the
  // constraint multipliers (those from `multipliers` when given, else from G).
  void FinishStep(const long double* multipliers);
  // The constraint rows of the bordered matrix, in both triangles.
  void SetBorderRows(const TSegmentedModel& model);
  // --- two lines per genotype in a known index (lineblocks.cpp) ------------------------------
  // The index in ascending order and its running sums, each genotype's responses in that order;
  // false when the model has no such lines.
  bool PrepareLines(const TSegmentedModel& model, const TGxeMeans& means);
  // Instead of FillJacobian to ComputeStep: the step from each genotype's block of the normal
  // equations, formed from the sums of its cells on either side, and the constraints' 2 x 2
  // system; false (nothing kept) where a block or the border would leave a parameter aliased
  // that the whole inverse might not.
  bool SolveByLineBlocks(const TSegmentedModel& model, const TGxeMeans& means);
  // The inverse of the last pass solved by line blocks, formed whole at its parameters and
  // junctions, for the inference.
  void InverseOfLastLinePass(const TSegmentedModel& model);
  // The plain residual sum at theta, to the last bit that of ResidualSS, with each genotype's
  // running sums of the residuals in the order of the index and its lines.
  long double StartSumWithLines(const TSegmentedModel& model, const TGxeMeans& means);
  // Whether the plain residual sum at the trial point now in theta is certainly not below sse0.
  bool TrialRuledOut(const TSegmentedModel& model, long double sse0) const;
  // The plain residual sum at theta, to the last bit that of ResidualSS; in the passes by line
  // blocks each genotype's residuals are kept besides (KeepLineResiduals).
  long double TrialSumWithLines(const TSegmentedModel& model, const TGxeMeans& means);
  // Genotype i's residuals e[1..a] (in the order of j) at its parameters now in theta, summed
  // below, at and above its junction.
  struct TLineResiduals {
    long double key[kLineColumns] = {};  // the genotype's parameters they belong to
    long double e[3] = {}, ex[3] = {};   // sums of e and e x below, at and above the junction
    bool kept = false;
  };
  void KeepLineResiduals(const TLinePair& lines, const long double* e) const;
  // Genotype i's residuals at theta into e[1..a]; returns sum plus their squares, added in order.
  long double AddResiduals(const TSegmentedModel& model, const TGxeMeans& means, int i,
                           long double* e, long double sum) const;
  // Genotype i's residual sums at theta: those kept, if its parameters have not moved since.
  const TLineResiduals& LineResidualsOf(const TSegmentedModel& model, const TGxeMeans& means,
                                        const TLinePair& lines, int i) const;
  std::size_t RunEnd(std::size_t obs, std::size_t last) const;
  void AddRunProducts(SweepStorage& w, std::size_t obs, std::size_t end);
  void AddRhsRow(int i, const TGxeMeans& means);

  std::unique_ptr<TFitStorage> own_;
  TFitStorage& s_;  // the bordered matrix and its inverse, the vectors, the Jacobian by rows

  TEngineSettings settings_;
  int g_ = 0, a_ = 0, p_ = 0, k_ = 0, n_ = 0;
  long double sse_ = 0, prevSse_ = 0, pass_ = 0;
  int lastTrials_ = 0;
  long double lastLambda_ = 0;
  long double decrement_ = 0;
  bool lastRestored_ = false;
  std::vector<TJunctionState> junctions_;  // index 0 unused
  std::vector<int> junctionOf_;            // per genotype: its junction, or 0
  std::vector<long double> mu_;            // the constraint multipliers of the last solve
  bool boundedJunctions_ = false;
  // Some junction belongs to a constraint group: it may not be stopped at a bound while the
  // others move on (the group's sum would change), so the step is cut where it reaches it.
  bool junctionsConstrained_ = false;
  std::vector<TBreakpoint> points_;  // scratch
  // One row of the grid: model values (1..a), Jacobian rows and their numbers (scratch).
  mutable std::vector<long double> rowValues_;
  mutable std::vector<TJacEntry> rowJac_;
  mutable std::vector<unsigned char> rowCount_;
  // Per Jacobian row that starts a run (FillJacobian): the end of the run of rows over the same
  // columns, or the row itself when it lists a column twice.
  std::vector<std::size_t> runEnd_;
  bool referenceSweep_ = false;
  bool byCells_ = false;
  // The loop passes of a model with an index block and a final pass may solve their steps with
  // the block eliminated; the final pass inverts the whole matrix, for the inference.
  bool indexBlockOn_ = true;
  bool indexBlockAllowed_ = false;
  int indexBlockSteps_ = 0;
  int indexParams_ = 0;
  std::vector<int> reduced_, block_;      // scratch: the indices kept and the index block
  std::vector<long double> blockCol_;     // scratch: M(kept, block), row-major
  std::vector<long double> blockScaled_;  // scratch: the same over the block's diagonal
  std::vector<std::pair<std::size_t, std::size_t>> stretch_;  // scratch: non-zeros per row
  std::vector<std::size_t> byStretch_;                        // scratch: rows by stretch
  struct TTwoPiece {
    bool yes = false;
    std::size_t at = 0;  // the first column of the second piece
    long double first = 0, second = 0;
  };
  std::vector<TTwoPiece> twoPiece_;                          // scratch: per row of C
  std::vector<long double> fromStart_, fromEnd_;             // scratch: running sums of W's rows
  std::vector<long double> blockDiag_;                       // scratch: the block's diagonal
  std::vector<long double> reducedRhs_, reducedX_, blockZ_;  // scratch
  std::vector<int> degree_;  // scratch (Invert)
  // Two lines per genotype (lineblocks.cpp).
  bool linesKnown_ = false;   // the model has them (PrepareLines)
  bool lineBlocksOn_ = true;  // UseLineBlocks
  bool ruleOutOn_ = true;     // RuleOutTrials
  bool lineBlocksAllowed_ = false;
  bool lineFilter_ = false;  // trials are ruled out on the lines' sums
  bool lastStepByLines_ = false;
  int lineBlockSteps_ = 0, trialsRuledOut_ = 0;
  std::vector<long double> lineX_;           // the index, ascending (0..a-1)
  std::vector<int> lineOrder_;               // its environments
  std::vector<long double> xFrom_, xxFrom_;  // sums of x, x^2 over the first k values (0..a)
  std::vector<long double> xTo_, xxTo_;      // and over the values from k on
  long double xLargest_ = 0;                 // the largest |x|
  std::vector<long double> yLines_;          // per genotype, its responses in the index's order
  // At the start of the step, per genotype: its residuals in the index's order (a each), their
  // sums of e, e^2 and e x on its lower and upper lines and of |e|; its lines and the cells on
  // its lower line.
  struct TStartSums {
    long double e[2] = {}, ee[2] = {}, ex[2] = {}, absolute = 0;
  };
  std::vector<long double> eSorted_;
  std::vector<TStartSums> startSums_;
  std::vector<TLinePair> startLines_;
  mutable std::vector<TLineResiduals> lineResiduals_;  // per genotype
  // Per genotype, the residuals (1..a) of the last trial summed over the cells, and the
  // parameters they belong to (NaN: none).
  std::vector<long double> trialResiduals_, trialKeys_;
  std::vector<std::size_t> startLower_;
  // Per genotype, the inverse of its block (kLineColumns^2) and its part of the step.
  std::vector<long double> blockInverse_, blockStep_;
  std::vector<int> blockColumn_;               // and its first parameter
  std::vector<long double> lineTheta_;         // the parameters of the last pass by line blocks
  std::vector<TJunctionState> lineJunctions_;  // and its junctions
};

// A fit and its check by the model's profile scan: from the model's start values, or with
// `scanStart` from the best parameters the scan finds from them; then the scan from the
// estimates. scanSSE is the smallest residual sum of squares the check found, negative when
// the model has no scan or it could not run.
struct TScannedFit {
  TFitResult result;
  long double scanSSE = -1;
};
[[nodiscard]] TScannedFit FitAndScan(TFitEngine& fit, const TSegmentedModel& model,
                                     const TGxeMeans& means, bool scanStart);

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
