#include "segmented/tolerlinear.h"

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <string>
#include <utility>

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "segmented/fitreport.h"

namespace qv {

bool TTolerLinearModel::InConstraint(int c, int p) const {
  switch (c) {
    case 1:
      return p <= 2 * g_ && (p - 1) % 2 == 1;  // b(i)
    case 2:
      return p > 2 * g_;  // U(j)
  }
  return false;
}

TEngineSettings TTolerLinearModel::Settings() const {
  TEngineSettings s;
  s.lambdaFloor = 1e-9L;
  s.floorInclusive = true;
  s.tolerance = 1e-15L;
  s.finalPass = true;
  s.runningMeanDouble = true;
  return s;
}

void TTolerLinearModel::StartValues(long double* theta) const {
  for (int i = 1; i <= g_; ++i) {
    theta[2 * (i - 1) + 1] = margins_.MedGen(i);
    theta[2 * (i - 1) + 2] = 1;
  }
  for (int j = 1; j <= a_; ++j) theta[2 * g_ + j] = margins_.Index(j);
}

long double TTolerLinearModel::ModelValue(const long double* t, int i, int j) const {
  return t[2 * (i - 1) + 1] + t[2 * (i - 1) + 2] * t[2 * g_ + j];
}

int TTolerLinearModel::JacobianRow(const long double* t, int i, int j, TJacEntry* row) const {
  const int base = 2 * (i - 1);
  row[0] = {base + 1, 1.0L};
  row[1] = {base + 2, t[2 * g_ + j]};
  row[2] = {2 * g_ + j, t[base + 2]};
  return 3;
}

// The rows with qualified calls: the same functions, bound at compile time. The model has no
// junction, so there is no upper side to take.
void TTolerLinearModel::ModelValues(const long double* t, int i, long double* f) const {
  for (int j = 1; j <= a_; ++j) f[j] = TTolerLinearModel::ModelValue(t, i, j);
}

void TTolerLinearModel::JacobianRows(const long double* t, int i, bool /*above*/, TJacEntry* rows,
                                     unsigned char* counts) const {
  for (int j = 1; j <= a_; ++j) {
    counts[j - 1] = static_cast<unsigned char>(TTolerLinearModel::JacobianRow(
        t, i, j, rows + static_cast<std::size_t>(j - 1) * kMaxJacobianRowEntries));
  }
}

TComputed<TTolerLinearResult> TolerLinearCompute(const TGxeMeans& means, const TMargins& margins,
                                                 long double T, const TAnalysisParams& p,
                                                 TFitStorage& storage) {
  const int g = p.g, a = p.a;
  TTolerLinearResult res;
  res.margins = margins;
  const TTolerLinearModel model(res.margins, g, a);
  TFitEngine fit(storage);
  const TFitResult fitted = fit.FitModel(model, means);

  ProbStatus status = ProbStatus::Ok;
  // One slope per genotype: q = g + a degrees of freedom for the model. The sums of squares
  // are held in 64 bits.
  const int q = g + a;
  const int d = g * a - 1 - q;
  const double ssd = static_cast<double>(p.r * fit.SSE());
  const double ssm = static_cast<double>(T - ssd);
  res.fit.summary = Summarize(fit, fitted, p.r);
  res.fit.anova = ComputeFitAnova(q, d, ssm, ssd, p, status, true);

  struct TTableKind {
    const char* id;
    const char* header;
    const char* name;
    const char* prefix;
    const char* suffix;
    int offset;  // position of the genotype's parameter within its pair, 0 for the index
    long double h;
  };
  const TTableKind kinds[] = {
      {"a=0", "Parâmetro       Estimativa     Erro Padrão     t p/ a(i)=0          Pr>|t|    ", "a",
       "a(", ")   ", 1, 0},
      {"b=0", "Parâmetro       Estimativa     Erro Padrão     t p/  b(i)=0          Pr>|t|  ", "b",
       "b(", ")   ", 2, 0},
      {"b=1", "Parâmetro       Estimativa     Erro Padrão     t p/  b(i)=1          Pr>|t|  ", "b",
       "b(", ")   ", 2, 1},
      {"U=0", "Parâmetro       Estimativa     Erro Padrão     t p/ U(j)=0         Pr>|t|  ", "U",
       "U(", ")    ", 0, 0},
  };
  for (const TTableKind& kind : kinds) {
    TParamTable t{kind.id,     kind.header, kind.name,          kind.prefix,
                  kind.suffix, 16,          TProbLayout::Fixed, {}};
    if (kind.offset == 0) {
      TestEach(
          t, a, [g](int j) { return 2 * g + j; }, kind.h, fit, p, status);
    } else {
      TestEach(
          t, g, [&kind](int i) { return 2 * (i - 1) + kind.offset; }, kind.h, fit, p, status);
    }
    res.fit.parameters.push_back(std::move(t));
  }
  res.fit.covariance = TCovarianceMatrix(fit, model.Parameters(), p, [g](int pos) {
    if (pos > 2 * g) return "     U(" + Int(pos - 2 * g, 4) + ")";
    return ((pos - 1) % 2 == 0 ? "      a(" : "      b(") + Int((pos - 1) / 2 + 1, 3) + ")";
  });
  res.fit.fitted = FittedMeans(means, model, fit);
  res.a = Estimates(fit, g, [](int i) { return 2 * (i - 1) + 1; });
  res.b = Estimates(fit, g, [](int i) { return 2 * (i - 1) + 2; });
  res.U = Estimates(fit, a, [g](int j) { return 2 * g + j; });

  if (status != ProbStatus::Ok) return TRefusal::OfVariable(ProbStatusCause(status));
  return res;
}

void AppendTolerLinearReport(TReport& report, const TTolerLinearResult& res,
                             char decimalSeparator) {
  report.AppendBlankLines(3);
  report.AppendLine(kFitReportFirstLine);
  report.AppendLine(
      "segundo o modelo linear simples de Toler: Y(ij) = a(i) + b(i)*U(j)+ desvio(ij)");
  report.AppendSeparator();
  AppendFitReport(report, res.fit, res.margins, decimalSeparator);
}

TResultData ResultData(const TTolerLinearResult& res) {
  TResultData data;
  AppendFitData(data, res.fit, res.margins);
  return data;
}

bool FiniteResult(const TTolerLinearResult& res) {
  return FiniteFitData(res.fit, res.margins);
}

}  // namespace qv

namespace qv {

TTolerLinearAhead::TTolerLinearAhead(const TGxeMeans& means, const TMargins& margins, long double T,
                                     const TAnalysisParams& params, char decimalSeparator)
    : margins_(margins),
      T_(T),
      params_(params),
      storage_(std::make_unique<TFitStorage>()),
      separator_(decimalSeparator) {
  // The table's cells only: the copy's other pages stay untouched.
  means_.MediaGeral = means.MediaGeral;
  for (int i = 1; i <= params.g; ++i) {
    for (int j = 1; j <= params.a; ++j) means_.Y(i, j) = means.Y(i, j);
  }
}

std::shared_ptr<TTolerLinearAhead> TTolerLinearAhead::Start(const TGxeMeans& means,
                                                            const TMargins& margins, long double T,
                                                            const TAnalysisParams& params,
                                                            char decimalSeparator) {
  std::shared_ptr<TTolerLinearAhead> ahead(
      new TTolerLinearAhead(means, margins, T, params, decimalSeparator));
  try {
    TTolerLinearAhead* self = ahead.get();
    ahead->thread_ = std::thread([self] {
#ifdef __linux__
      // The bisegmented fit is the longer of the two: where both want the cores, it goes
      // first (a nice value of 5 on this thread, and on the helpers it starts, which inherit it).
      setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 5);
#endif
      try {
        self->result_.emplace(TolerLinearCompute(self->means_, self->margins_, self->T_,
                                                 self->params_, *self->storage_));
        if (!self->result_->Refused()) {
          AppendTolerLinearReport(self->report_, self->result_->Value(), self->separator_);
        }
      } catch (...) {
        self->failure_ = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    return nullptr;  // no thread: the continuation fits the model itself
  }
  return ahead;
}

TTolerLinearAhead::~TTolerLinearAhead() {
  if (thread_.joinable()) thread_.join();
}

bool TTolerLinearAhead::SameInputs(const TGxeMeans& means, const TMargins& margins, long double T,
                                   const TAnalysisParams& params) const {
  if (T != T_ || params.g != params_.g || params.a != params_.a || params.r != params_.r ||
      params.gle != params_.gle || params.QME != params_.QME ||
      means.MediaGeral != means_.MediaGeral || margins.MediaGeral != margins_.MediaGeral ||
      margins.MedGen.Values() != margins_.MedGen.Values() ||
      margins.MedAmb.Values() != margins_.MedAmb.Values()) {
    return false;
  }
  for (int i = 1; i <= params.g; ++i) {
    for (int j = 1; j <= params.a; ++j) {
      if (means.Y(i, j) != means_.Y(i, j)) return false;
    }
  }
  return true;
}

TComputed<TTolerLinearResult> TTolerLinearAhead::Take(const TGxeMeans& means,
                                                      const TMargins& margins, long double T,
                                                      const TAnalysisParams& params,
                                                      TFitStorage& storage) {
  if (thread_.joinable()) thread_.join();
  if (failure_) std::rethrow_exception(failure_);
  if (result_ && SameInputs(means, margins, T, params)) {
    // Once only: a second Take fits again.
    TComputed<TTolerLinearResult> taken = std::move(*result_);
    result_.reset();
    taken_ = true;
    return taken;
  }
  taken_ = false;
  return TolerLinearCompute(means, margins, T, params, storage);
}

const std::string* TTolerLinearAhead::Report(char decimalSeparator) const {
  return taken_ && decimalSeparator == separator_ && !report_.Text().empty() ? &report_.Text()
                                                                             : nullptr;
}

}  // namespace qv
