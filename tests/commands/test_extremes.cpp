// Every analysis on values and parameters at the ends of the range of the reals, through the
// whole command (the run, the method, Toler's continuation): whatever the table holds, a report
// never prints a number that is not one, and a variable that cannot be analysed is refused in
// the orderly way (a warning, the "Variável não analisada: ..." line, a refusal in the outcome).
// Then the tests of "no interaction" and "equal environment means" at other scales of the same
// table, and the refusal of a null environmental index by the segmented models.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/jointanova.h"
#include "analysis/run.h"
#include "commands/commands.h"
#include "support/scripted_host.h"
#include "support/tables.h"
#include "support/text.h"
#include "tables/realtext.h"

namespace qv {
namespace {

using testing::GxeCsv;
using testing::HasNonFinite;
using testing::ScriptedHost;
using testing::TempTable;

// 4 genotypes x 8 environments, large enough for every model (Silva and Toler needs
// g a >= 4g + a): genotype and environment effects and an interaction.
constexpr int kG = 4, kA = 8;
double Mean(int i, int j) {
  return 10.0 + 0.7 * i + 1.3 * j + 0.4 * ((i * j) % 3) - 0.25 * (i == j);
}

std::vector<std::string> Cells(double scale) {
  std::vector<std::string> cells;
  for (int i = 1; i <= kG; ++i)
    for (int j = 1; j <= kA; ++j) cells.push_back(FormatReal(Mean(i, j) * scale));
  return cells;
}

// The environment means all equal: every genotype's means sum to the same in each environment
// (the genotypes' deviations cancel), so the index is null while the interaction is not.
std::vector<std::string> NullIndexCells() {
  std::vector<std::string> cells;
  const double d[kG] = {-1.5, -0.5, 0.5, 1.5};
  for (int i = 1; i <= kG; ++i)
    for (int j = 1; j <= kA; ++j) cells.push_back(FormatReal(12 + d[i - 1] * (j % 2 ? 1 : -1)));
  return cells;
}

struct TCase {
  const char* what;
  std::vector<std::string> cells;
  const char* r = "3";
  const char* qme = "0.8";
};

struct TRun {
  TRunOutcome outcome;
  std::string report;
  std::vector<std::string> warnings;
};

TRun RunOn(const TAnalysisCommand& command, const TCase& c) {
  ScriptedHost host;
  const TempTable table(GxeCsv(kG, kA, c.cells), host);
  host.form.entries = {{Control::EditNum_gen, std::to_string(kG)},
                       {Control::EditNum_amb, std::to_string(kA)},
                       {Control::EditNum_rep, c.r},
                       {Control::EditGLE, "30"},
                       {Control::EditQME, c.qme},
                       {Control::EditAlpha, "0.05"}};
  TSession session;
  TRun run;
  run.outcome = RunCommand(command, session, host);
  run.report = session.report.Text();
  run.warnings = host.Events("warn:");
  return run;
}

TEST(Extremes, NoReportPrintsANumberThatIsNotOne) {
  const std::vector<TCase> cases = {
      {"values near 1e154: their squares overflow", Cells(1e153)},
      {"values near 1e200", Cells(1e199)},
      {"values near 1e-300: their squares underflow", Cells(1e-300)},
      {"QME = 1e-308", Cells(1), "3", "1e-308"},
      {"r = 1e308", Cells(1), "1e308"},
      {"r = 1e-320", Cells(1), "1e-320"},
      {"every environment mean equal", NullIndexCells()},
      {"every value 0", std::vector<std::string>(kG * kA, "0")},
      {"values of 1e-130, small but within the precision", Cells(1e-130), "3", "1e-260"},
  };
  for (const TAnalysisCommand& command : AnalysisCommands()) {
    for (const TCase& c : cases) {
      const TRun run = RunOn(command, c);
      const std::string where = command.name + ", " + c.what;
      EXPECT_FALSE(HasNonFinite(run.report)) << where << "\n" << run.report;
      EXPECT_FALSE(run.outcome.aborted) << where << ": " << run.outcome.abortReason;
      ASSERT_EQ(run.outcome.variables.size(), 1u) << where;
      const TVariableRecord& v = run.outcome.variables[0];
      if (v.status == TVariableStatus::Analysed) continue;
      // Refused in the orderly way: the cause was shown, and (for a refusal of the variable)
      // written in the report.
      EXPECT_EQ(v.status, TVariableStatus::Refused) << where;
      EXPECT_FALSE(v.cause.empty()) << where;
      EXPECT_FALSE(HasNonFinite(v.cause)) << where;
      EXPECT_NE(std::find(run.warnings.begin(), run.warnings.end(), v.cause), run.warnings.end())
          << where;
      if (!run.outcome.abandoned) {
        EXPECT_NE(run.report.find(text::kRefusedLine + v.cause), std::string::npos) << where;
      }
    }
  }
}

// The faults this guards against, by name: each of these printed "Nan" or "+Inf" with exit 0,
// or judged the data by an absolute zero.
TEST(Extremes, RefusedWithTheirCauses) {
  const struct {
    const char* command;
    TCase c;
    std::string cause;  // a piece of it
  } cases[] = {
      {"wricke", {"", Cells(1e199)}, "a soma dos W(i) excede a precisão do programa"},
      {"wricke", {"", Cells(10), "1e308"}, "a soma dos W(i) excede a precisão do programa"},
      {"ammi", {"", Cells(1), "1e308"}, kNonFiniteResultCause},
      {"finlay", {"", Cells(1), "3", "1e-308"}, kNonFiniteResultCause},
      {"eberhart", {"", Cells(1), "3", "1e-308"}, kNonFiniteResultCause},
      {"cruz", {"", Cells(1), "3", "1e-308"}, kNonFiniteResultCause},
      {"cruz", {"", Cells(1), "1e-320"}, kNonFiniteResultCause},
      {"toler", {"", Cells(1e154)}, kNonFiniteResultCause},
      {"silva-toler", {"", Cells(1e154)}, kNonFiniteResultCause},
      {"wricke", {"", Cells(1e-300)}, "os valores da variável são pequenos demais"},
      {"plaisted", {"", Cells(1e-300)}, "os valores da variável são pequenos demais"},
      {"linbinns", {"", Cells(1e-300)}, "os valores da variável são pequenos demais"},
      {"finlay", {"", Cells(1e-300)}, "os valores da variável são pequenos demais"},
      {"ammi", {"", Cells(1e-300)}, "os valores da variável são pequenos demais"},
      {"toler", {"", Cells(1e-300)}, "os valores da variável são pequenos demais"},
      // Values of 1e-100 are analysed by the closed-form methods, but the segmented fits'
      // absolute thresholds cannot resolve an index of that size.
      {"toler", {"", Cells(1e-100), "3", "1e-200"}, "o índice ambiental é pequeno demais"},
  };
  for (const auto& k : cases) {
    const TRun run = RunOn(*FindAnalysisCommand(k.command), k.c);
    ASSERT_EQ(run.outcome.variables.size(), 1u);
    const TVariableRecord& v = run.outcome.variables[0];
    // Toler's command refuses either its bisegmented model or the simple linear model after it.
    const std::string& cause = v.cause.empty() ? v.continuationCause : v.cause;
    EXPECT_NE(cause.find(k.cause), std::string::npos) << k.command << ": " << cause;
    EXPECT_EQ(run.outcome.variablesRefused, 1) << k.command;
  }
}

// An index of equal environment means leaves no regression to estimate: the segmented models
// refuse it as the regression methods do, instead of reporting their start values (slopes of
// 1 with standard errors of 1e-10) as highly significant.
TEST(Extremes, NullIndexIsRefusedByEveryRegressionModel) {
  for (const char* name :
       {"finlay", "eberhart", "cruz", "toler", "silva", "silva-mod", "silva-toler"}) {
    const TRun run = RunOn(*FindAnalysisCommand(name), {"", NullIndexCells()});
    ASSERT_EQ(run.outcome.variables.size(), 1u);
    EXPECT_EQ(run.outcome.variables[0].cause, kNullIndexCause) << name;
    EXPECT_EQ(run.outcome.variablesRefused, 1) << name;
  }
}

// The same table at another scale: what does not depend on the unit (shares, slopes, F tests)
// is the same, and the interaction is judged real at any scale the sums of squares can hold.
TEST(Extremes, ScaleFreeResultsDoNotDependOnTheUnit) {
  const struct {
    const char* command;
    std::string table;  // the result table compared
    std::size_t column;
  } checks[] = {
      {"wricke", "ecovalence", 3},       // W(i)(%)
      {"finlay", "slopes", 2},           // B1(i)
      {"finlay", "slopes", 3},           // its t
      {"ammi", "eigenvalues", 2},        // the share of each component
      {"linbinns", "decomposition", 3},  // the shares of the interaction
  };
  for (const auto& check : checks) {
    const TAnalysisCommand& command = *FindAnalysisCommand(check.command);
    const TRun unit = RunOn(command, {"", Cells(1)});
    for (const double scale : {1e-130, 1e-60, 1e60}) {
      const std::string qme = FormatReal(0.8 * scale * scale);
      const TRun scaled = RunOn(command, {"", Cells(scale), "3", qme.c_str()});
      const std::string where = std::string(check.command) + " at " + FormatReal(scale);
      ASSERT_EQ(scaled.outcome.variablesAnalysed, 1) << where;
      const auto table = [&](const TRun& run) {
        for (const TResultTable& t : run.outcome.variables[0].result.Data().tables) {
          if (t.id == check.table) return t;
        }
        ADD_FAILURE() << "no table " << check.table << " in " << where;
        return TResultTable{};
      };
      const TResultTable expected = table(unit), got = table(scaled);
      ASSERT_EQ(got.rows.size(), expected.rows.size()) << where;
      // Agreement to 1e-9 of the column's largest value (a value at rounding level, such as a
      // genotype on the envelope of Lin and Binns, is noise at any scale).
      long double largest = 0;
      for (const auto& row : expected.rows) {
        if (const auto* x = std::get_if<long double>(&row.at(check.column))) {
          largest = std::max(largest, std::fabs(*x));
        }
      }
      for (std::size_t k = 0; k < expected.rows.size(); ++k) {
        const auto* x = std::get_if<long double>(&expected.rows[k].at(check.column));
        const auto* y = std::get_if<long double>(&got.rows[k].at(check.column));
        ASSERT_EQ(x == nullptr, y == nullptr) << where << " row " << k;
        if (x) {
          EXPECT_NEAR(static_cast<double>(*y), static_cast<double>(*x),
                      1e-9 * static_cast<double>(largest))
              << where << " row " << k;
        }
      }
    }
  }
}

}  // namespace
}  // namespace qv
