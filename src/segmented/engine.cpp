#include "segmented/engine.h"

#include <cmath>

#include "stats/runningsums.h"

namespace qv {

TFitEngine::TFitEngine() : own_(std::make_unique<TFitStorage>()), s_(*own_) {
  s_.Allocate();
}

TFitEngine::TFitEngine(TFitStorage& storage) : s_(storage) {
  s_.Allocate();
}

TFitResult TFitEngine::FitModel(const TSegmentedModel& model, const TGxeMeans& means) {
  TFitResult result;
  g_ = model.Genotypes();
  a_ = model.Environments();
  p_ = model.Parameters();
  k_ = model.Constraints();
  n_ = p_ + k_;
  if (p_ < 1 || k_ < 0 || n_ > MaxPar || g_ < 1 || a_ < 1) {
    result.status = TFitStatus::OrderTooLarge;
    return result;
  }
  settings_ = model.Settings();
  const std::size_t cells = static_cast<std::size_t>(g_) * static_cast<std::size_t>(a_);
  if (s_.jacCount.size() < cells) {
    s_.jac.resize(cells * kMaxJacobianRowEntries);
    s_.jacCount.resize(cells);
  }

  model.StartValues(s_.theta.data());
  pass_ = 1;
  do {
    OnePass(model, means);
    ++result.loopPasses;
    if (std::fabs(sse_ - prevSse_) <= settings_.tolerance) {
      result.converged = true;
    } else {
      prevSse_ = sse_;
    }
    pass_ = pass_ + 1;
  } while (!result.converged && pass_ <= settings_.maxPasses);
  if (settings_.finalPass) {
    OnePass(model, means);
    pass_ = pass_ + 1;
  }
  return result;
}

void TFitEngine::OnePass(const TSegmentedModel& model, const TGxeMeans& means) {
  FillJacobian(model);
  BuildNormalMatrix(model);
  BuildRhs(model, means);
  Invert();
  ComputeStep();
  LineSearch(model, means);
}

void TFitEngine::FillJacobian(const TSegmentedModel& model) {
  std::size_t obs = 0;
  for (int i = 1; i <= g_; ++i) {
    for (int j = 1; j <= a_; ++j, ++obs) {
      const int count =
          model.JacobianRow(s_.theta.data(), i, j, &s_.jac[obs * kMaxJacobianRowEntries]);
      s_.jacCount[obs] = static_cast<unsigned char>(count);
    }
  }
}

// J'J accumulated observation by observation: each element receives the products of the rows
// where both of its columns are non-zero, in observation order, as the dense product would add
// them (the products with a zero factor that the dense sum also adds change nothing).
void TFitEngine::BuildNormalMatrix(const TSegmentedModel& model) {
  SweepStorage& w = *s_.sweep;
  for (int p = 1; p <= n_; ++p) {
    for (int q = 1; q <= n_; ++q) w.WorkMat(p, q) = 0.0L;
  }
  const std::size_t cells = static_cast<std::size_t>(g_) * static_cast<std::size_t>(a_);
  for (std::size_t obs = 0; obs < cells; ++obs) {
    const TJacEntry* row = &s_.jac[obs * kMaxJacobianRowEntries];
    const int count = s_.jacCount[obs];
    for (int u = 0; u < count; ++u) {
      for (int v = 0; v < count; ++v) {
        if (row[u].col <= row[v].col) {
          w.WorkMat(row[u].col, row[v].col) += row[u].value * row[v].value;
        }
      }
    }
  }
  for (int p = 1; p <= p_; ++p) {
    for (int q = p + 1; q <= p_; ++q) w.WorkMat(q, p) = w.WorkMat(p, q);
  }
  for (int c = 1; c <= k_; ++c) {
    for (int p = 1; p <= p_; ++p) {
      const long double b = model.InConstraint(c, p) ? 1.0L : 0.0L;
      w.WorkMat(p_ + c, p) = b;
      w.WorkMat(p, p_ + c) = b;
    }
  }
}

void TFitEngine::BuildRhs(const TSegmentedModel& model, const TGxeMeans& means) {
  for (int p = 1; p <= n_; ++p) s_.rhs[static_cast<std::size_t>(p)] = 0.0L;
  const bool residuals = settings_.rhs == TRhsKind::Residuals;
  std::size_t obs = 0;
  for (int i = 1; i <= g_; ++i) {
    for (int j = 1; j <= a_; ++j, ++obs) {
      const long double e =
          residuals ? means.Y(i, j) - model.ModelValue(s_.theta.data(), i, j) : means.Y(i, j);
      const TJacEntry* row = &s_.jac[obs * kMaxJacobianRowEntries];
      for (int u = 0; u < s_.jacCount[obs]; ++u) {
        s_.rhs[static_cast<std::size_t>(row[u].col)] += e * row[u].value;
      }
    }
  }
  if (!residuals) {
    for (int c = 1; c <= k_; ++c)
      s_.rhs[static_cast<std::size_t>(p_ + c)] = model.ConstraintValue(c);
  }
}

void TFitEngine::Invert() {
  GInverse(*s_.sweep, n_);
}

void TFitEngine::ComputeStep() {
  const int span = settings_.step == TStepKind::Increment ? p_ : n_;
  const auto aliased = [this](int k) {
    return settings_.zeroAliasedSteps && s_.sweep->Aliased[static_cast<std::size_t>(k)];
  };
  for (int p = 1; p <= span; ++p) {
    long double s = 0.0L;
    if (!aliased(p)) {
      for (int q = 1; q <= span; ++q) {
        if (!aliased(q)) s += G(p, q) * s_.rhs[static_cast<std::size_t>(q)];
      }
    }
    s_.step[static_cast<std::size_t>(p)] = s;
  }
}

void TFitEngine::TrialPoint(const TSegmentedModel& model, long double lambda) {
  for (int p = 1; p <= p_; ++p) {
    const auto k = static_cast<std::size_t>(p);
    s_.theta[k] = static_cast<long double>(s_.thetaPrev[k]) + lambda * s_.step[k];
  }
  model.AdjustTrialPoint(s_.theta.data());
}

// The step length runs 1, 0.9, ..., 0.6, then (the fifth subtraction of 0.1 in extended
// precision lands a hair below 0.5) halves, until a trial lowers the sum of squares or the
// length falls past the model's floor.
void TFitEngine::LineSearch(const TSegmentedModel& model, const TGxeMeans& means) {
  const auto store = [this](long double x) {
    return settings_.sumsDouble ? static_cast<long double>(static_cast<double>(x)) : x;
  };
  for (int p = 1; p <= p_; ++p) {
    const auto k = static_cast<std::size_t>(p);
    s_.thetaPrev[k] = static_cast<double>(s_.theta[k]);
    s_.theta[k] = s_.thetaPrev[k];
  }
  const long double sse0 =
      ResidualSS(model, means, settings_.startSum, settings_.runningMeanDouble);
  if (pass_ == 1) prevSse_ = store(sse0);
  if (settings_.step == TStepKind::NewEstimate) {
    for (int p = 1; p <= p_; ++p) {
      const auto k = static_cast<std::size_t>(p);
      s_.step[k] = s_.step[k] - static_cast<long double>(s_.thetaPrev[k]);
    }
  }

  long double lambda = 1.0L;
  long double s = 0.0L;
  lastTrials_ = 0;
  for (;;) {
    TrialPoint(model, lambda);
    s = ResidualSS(model, means, settings_.trialSum, settings_.runningMeanDouble);
    ++lastTrials_;
    if (s < sse0) break;
    lambda = lambda > 0.5L ? lambda - 0.1L : lambda / 2;
    const bool floorReached =
        settings_.floorInclusive ? lambda <= settings_.lambdaFloor : lambda < settings_.lambdaFloor;
    if (floorReached) {
      switch (settings_.floorAction) {
        case TFloorAction::ShortStep:
          TrialPoint(model, lambda);
          break;
        case TFloorAction::WholeStep:
          TrialPoint(model, 1.0L);
          break;
        case TFloorAction::Restore:
          for (int p = 1; p <= p_; ++p) {
            const auto k = static_cast<std::size_t>(p);
            s_.theta[k] = s_.thetaPrev[k];
          }
          model.AdjustTrialPoint(s_.theta.data());
          break;
      }
      break;
    }
  }
  lastLambda_ = lambda;
  sse_ = store(s);
}

namespace {

// The corrected residual sum of squares by the one-pass update, with the running mean in the
// precision the model asks for (stats/runningsums.h).
template <typename TSum>
long double CorrectedResidualSS(const TSegmentedModel& model, const TGxeMeans& means,
                                const long double* theta, int g, int a) {
  TSum sum;
  for (int i = 1; i <= g; ++i) {
    for (int j = 1; j <= a; ++j) sum.Add(means.Y(i, j) - model.ModelValue(theta, i, j));
  }
  return sum.SS();
}

}  // namespace

long double TFitEngine::ResidualSS(const TSegmentedModel& model, const TGxeMeans& means,
                                   TSumKind kind, bool runningMeanDouble) const {
  if (kind == TSumKind::Plain) {
    long double s = 0.0L;
    for (int i = 1; i <= g_; ++i) {
      for (int j = 1; j <= a_; ++j) {
        const long double e = means.Y(i, j) - model.ModelValue(s_.theta.data(), i, j);
        s += e * e;
      }
    }
    return s;
  }
  return runningMeanDouble
             ? CorrectedResidualSS<TDoubleMeanSS>(model, means, s_.theta.data(), g_, a_)
             : CorrectedResidualSS<TExtendedSS>(model, means, s_.theta.data(), g_, a_);
}

long double ParameterVariance(const TFitEngine& fit, int p, double QME, double r) {
  const long double v = static_cast<long double>(QME) * fit.G(p, p) / r;
  return v > 0 ? v : kVarianceFloor;
}

long double DifferenceVariance(const TFitEngine& fit, int p, int q, double QME, double r) {
  const long double v =
      static_cast<long double>(QME) * (fit.G(q, q) + fit.G(p, p) - 2 * fit.G(p, q)) / r;
  return v > 0 ? v : kVarianceFloor;
}

long double Covariance(const TFitEngine& fit, int p, int q, double QME, double r) {
  return static_cast<long double>(QME) * fit.G(p, q) / r;
}

bool IsFiniteFit(const TFitEngine& fit) {
  if (!std::isfinite(fit.SSE())) return false;
  for (int p = 1; p <= fit.ParameterCount(); ++p) {
    if (!std::isfinite(fit.Theta(p))) return false;
  }
  return true;
}

}  // namespace qv
