// Results as data.
//
// Every method computes one value per variable (TWrickeResult, TFinlayResult, ...) that holds
// every number its report prints, at the precision it was computed in; the report writer and
// the plots read that value, never the report's text. This header holds what those values share:
//
//   TResultData   the report's tables as data, for the machine-readable output (TResultTable:
//                 the title and column names as the report's headers write them, the rows of
//                 numbers, not rounded to the printed decimals, and of labels, in the order the
//                 report prints them), and the values it prints outside its tables. Each result
//                 type provides ResultData(const T&).
//   TAnyResult    a method's result value of any type, as the run hands it on: the tables on
//                 demand, or the typed value itself (As<TFinlayResult>()) for a reader that
//                 knows the method.
#pragma once

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace qv {

// A cell: empty (a value the report shows as "-" or not at all), a whole number, a real, or a
// label.
using TCell = std::variant<std::monostate, long long, long double, std::string>;

inline TCell Whole(long long v) {
  return TCell(v);
}
inline TCell Real(long double v) {
  return TCell(v);
}
inline TCell Label(std::string v) {
  return TCell(std::move(v));
}

struct TResultTable {
  std::string id;                    // a fixed name for scripts: "slopes", "joint_anova", ...
  std::string title;                 // the report's title of the table; "" when it has none
  std::vector<std::string> columns;  // names as in the report's header, left to right
  std::vector<std::vector<TCell>> rows;
};

// Values of a variable that the report prints outside its tables ("Número de iterações",
// "Média geral"), by their label in the report.
struct TResultValue {
  std::string label;
  TCell value;
};

// For an iterative fit, how it ended: the facts of the notes its report prints under the count
// of iterations.
struct TFitEnd {
  bool converged = false;
  // "convergiu"; "limite de iterações" (stopped at the pass limit); "sem progresso" (stopped
  // where no step lowered the sum although the full step predicted a decrease).
  std::string stop;
  long double sse = 0;  // the residual sum of squares of the means at the estimates
  std::vector<long long> junctionsAtBound;  // genotypes whose junction ended on a bound
  std::optional<long double> scanSSE;       // the smallest sum the profile scan found
  bool scanBeatsFit = false;
  std::vector<std::string> notes;  // the note lines, as printed
};

struct TResultData {
  std::vector<TResultValue> values;
  std::vector<TResultTable> tables;
  // For an iterative fit: whether it met its convergence test before its pass limit (the report
  // says so in a note when it did not), and how it ended.
  std::optional<bool> converged = std::nullopt;
  std::optional<TFitEnd> fit = std::nullopt;
};

// Whether every real of the data is a finite number. The data hold every number the report
// prints, so a result that fails this would print "Nan", "+Inf" or "-Inf" (values or
// parameters at the ends of the range of the reals: squares that overflow, a QME of 1e-308).
inline bool AllFinite(const TResultData& data) {
  const auto finite = [](const TCell& cell) {
    const auto* x = std::get_if<long double>(&cell);
    return !x || std::isfinite(*x);
  };
  for (const TResultValue& v : data.values) {
    if (!finite(v.value)) return false;
  }
  for (const TResultTable& t : data.tables) {
    for (const auto& row : t.rows) {
      for (const TCell& cell : row) {
        if (!finite(cell)) return false;
      }
    }
  }
  return true;
}

// Why a result that is not AllFinite is refused, in the report's words.
inline constexpr const char* kNonFiniteResultCause =
    "os resultados não seriam todos números finitos: os valores ou os parâmetros da variável "
    "excedem a precisão do programa";

class TAnyResult {
 public:
  TAnyResult() = default;
  template <typename T>
  explicit TAnyResult(T value) : held_(std::make_shared<const THeld<T>>(std::move(value))) {}

  bool Empty() const { return !held_; }
  // The report's tables and values, in the order the report prints them.
  TResultData Data() const { return held_ ? held_->Data() : TResultData{}; }
  // The typed value, or nullptr when the result is of another type (or empty).
  template <typename T>
  const T* As() const {
    const auto* held = dynamic_cast<const THeld<T>*>(held_.get());
    return held ? &held->value : nullptr;
  }

 private:
  struct THolder {
    virtual ~THolder() = default;
    virtual TResultData Data() const = 0;
  };
  template <typename T>
  struct THeld final : THolder {
    explicit THeld(T v) : value(std::move(v)) {}
    TResultData Data() const override { return ResultData(value); }
    T value;
  };
  std::shared_ptr<const THolder> held_;
};

}  // namespace qv
