// How an analysis says no.
//
// A method that cannot analyse a variable (too few environments, a residual mean square of 0,
// means so large that the sums of squares overflow, a test whose probability cannot be
// computed) returns a TRefusal instead of its result: the cause in the report's words, and
// whether only this variable is given up or the whole rest of the run (the segmented models'
// size checks, which no later variable of the table can pass either). Nothing of the variable is
// written before the refusal is known, so the report never holds half a block.
//
// A refusal also says whether its cause is a parameter outside the method's domain (too few
// genotypes or environments for the model, gle, QME or r not positive) rather than the data: the
// command line exits with the status of bad parameters for those.
//
// Refusals travel as values; exceptions are kept for the file layer (TableError) and for a host
// that cannot answer (TRunAborted), and both are caught where the run meets them.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace qv {

struct TRefusal {
  enum class TScope {
    Variable,  // the run goes on with the next variable
    Run,       // every later variable of the run is marked as failed
  };
  std::string cause;
  TScope scope = TScope::Variable;
  bool badParameter = false;  // the cause is a parameter of the dialog, not the data

  static TRefusal OfVariable(std::string cause) { return {std::move(cause), TScope::Variable}; }
  static TRefusal OfRun(std::string cause) { return {std::move(cause), TScope::Run}; }
  static TRefusal BadParameter(std::string cause, TScope scope = TScope::Variable) {
    return {std::move(cause), scope, true};
  }
};

// A check that passes or names its cause.
using TCheck = std::optional<TRefusal>;

// The result of a computation, or why there is none.
template <typename T>
class [[nodiscard]] TComputed {
 public:
  TComputed(T value) : v_(std::move(value)) {}             // NOLINT: implicit on purpose
  TComputed(TRefusal refusal) : v_(std::move(refusal)) {}  // NOLINT

  bool Refused() const { return std::holds_alternative<TRefusal>(v_); }
  explicit operator bool() const { return !Refused(); }

  const T& Value() const& { return std::get<T>(v_); }
  T& Value() & { return std::get<T>(v_); }
  T&& Value() && { return std::get<T>(std::move(v_)); }
  const T& operator*() const& { return Value(); }
  const T* operator->() const { return &std::get<T>(v_); }

  const TRefusal& Refusal() const { return std::get<TRefusal>(v_); }

 private:
  std::variant<T, TRefusal> v_;
};

}  // namespace qv
