// The machine-readable results of `analyze --results FILE.json`: every table of the report as
// data, agreeing with the report.
//
// The agreement is checked without copying a single value by hand: the report and the JSON of
// one run are both parsed, and every number the report prints in a table row must equal the
// JSON's number at the same place within the resolution of its printed layout (half a unit in
// the last printed digit: 5e-7 for Fixed(w,6), 5e-9 relative... for Exp). The report's numbers
// are the words of its lines that read as numbers, in reading order, on every line that prints
// at least one real (so the years in titles and the "Z(j) = 1" of the model lines are not
// taken); the JSON's are the numeric cells of its tables, row after row, in the order of the
// report. Values printed outside the tables ("Média geral", "Número de iterações") are looked
// up by their label.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "commands/commands.h"
#include "segmented/engine.h"
#include "support/golden.h"
#include "support/text.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct TRun {
  int status = 0;
  std::string report, err;
  json results;
};

class ResultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qv_results_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  TRun Analyze(std::vector<std::string> args) {
    const std::string report = (dir_ / "report.txt").string();
    const std::string results = (dir_ / "results.json").string();
    args.insert(args.begin(), {"quorvandelia-cli", "analyze"});
    args.insert(args.end(), {"-o", report, "--results", results});
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    TRun run;
    run.status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    run.err = err.str();
    run.report = testing::ReadFile(report);
    const std::string text = testing::ReadFile(results);
    if (!text.empty()) run.results = json::parse(text);
    return run;
  }

  std::string Table(const std::string& csv) {
    const fs::path p = dir_ / "t.csv";
    std::ofstream(p, std::ios::binary) << csv;
    return p.string();
  }

  fs::path dir_;
};

// A number as the report prints it, and half a unit in its last printed digit.
struct TPrinted {
  double value = 0;
  double resolution = 0;
  std::string text;
};

// The words of a line that read as numbers in the report's layouts: Int ("12"), Fixed
// ("-0.500000") and Exp ("1.234500E+0003"); a word may close a label's parenthesis ("(  3)").
std::vector<TPrinted> PrintedNumbers(const std::string& line, bool& hasReal) {
  static const std::regex number(R"(^[+-]?\d+(\.(\d+))?(E([+-]\d+))?$)");
  std::vector<TPrinted> out;
  std::istringstream in(line);
  for (std::string word; in >> word;) {
    if (!word.empty() && word.back() == ')') word.pop_back();
    std::smatch m;
    if (!std::regex_match(word, m, number)) continue;
    TPrinted p;
    p.text = word;
    p.value = std::stod(word);
    const int decimals = m[2].matched ? static_cast<int>(m[2].length()) : 0;
    const int exponent = m[4].matched ? std::stoi(m[4].str()) : 0;
    p.resolution = m[1].matched ? 0.5 * std::pow(10.0, exponent - decimals) : 0;
    hasReal = hasReal || m[1].matched;
    out.push_back(p);
  }
  return out;
}

// The numeric cells of every table of a result object, in order.
void JsonNumbers(const json& result, std::vector<double>& out) {
  if (!result.contains("tables")) return;
  for (const json& table : result["tables"]) {
    for (const json& row : table["rows"]) {
      for (const json& cell : row) {
        if (cell.is_number()) out.push_back(cell.get<double>());
      }
    }
  }
}

// Checks one variable's block of the report against its JSON object.
void ExpectAgreement(const std::vector<std::string>& block, const json& variable) {
  std::vector<bool> used(block.size(), false);
  std::size_t cursor = 0;
  // The values printed outside the tables, found by their label in the report's order.
  std::vector<json> parts{variable};
  if (variable.contains("continuation")) parts.push_back(variable["continuation"]);
  int values = 0;
  for (const json& part : parts) {
    if (!part.contains("values")) continue;
    for (const auto& [label, value] : part["values"].items()) {
      while (cursor < block.size() && block[cursor].find(label) == std::string::npos) ++cursor;
      ASSERT_LT(cursor, block.size()) << "no line with " << label;
      const std::string rest = block[cursor].substr(block[cursor].find(label) + label.size());
      std::istringstream in(rest);
      std::string word;
      in >> word;
      if (word == ":") in >> word;
      if (word.size() > 1 && word.front() == ':') word.erase(0, 1);
      ASSERT_TRUE(value.is_number()) << label;
      const double printed = std::stod(word);
      const auto dot = word.find('.');
      const int decimals = dot == std::string::npos ? 0 : static_cast<int>(word.size() - dot - 1);
      EXPECT_NEAR(value.get<double>(), printed, 0.5 * std::pow(10.0, -decimals) + 1e-12)
          << label << ": " << block[cursor];
      used[cursor++] = true;
      ++values;
    }
  }

  std::vector<TPrinted> printed;
  for (std::size_t k = 0; k < block.size(); ++k) {
    if (used[k]) continue;
    bool hasReal = false;
    std::vector<TPrinted> numbers = PrintedNumbers(block[k], hasReal);
    if (hasReal) printed.insert(printed.end(), numbers.begin(), numbers.end());
  }
  std::vector<double> data;
  for (const json& part : parts) JsonNumbers(part, data);

  ASSERT_EQ(printed.size(), data.size()) << variable["name"];
  ASSERT_GT(printed.size(), 0u);
  for (std::size_t k = 0; k < printed.size(); ++k) {
    const TPrinted& p = printed[k];
    // Half a unit in the last printed digit; the JSON holds the 64-bit rounding of the
    // computed value, and a value on a tie rounds away from zero in the report.
    const double slack = p.resolution * (1 + 1e-9) + std::fabs(p.value) * 1e-15;
    ASSERT_LE(std::fabs(data[k] - p.value), slack)
        << "number " << k << ": printed " << p.text << ", JSON " << data[k];
  }
}

// The report's block of every variable: the lines after "Análise da variável <name>" up to the
// next variable.
std::vector<std::vector<std::string>> Blocks(const std::string& report) {
  std::vector<std::vector<std::string>> blocks;
  for (const std::string& line : testing::Lines(report)) {
    if (line.rfind("Análise da variável ", 0) == 0) {
      blocks.emplace_back();
    } else if (!blocks.empty()) {
      blocks.back().push_back(line);
    }
  }
  return blocks;
}

// Every method on a published trial (Onofri and Ciriciofolo 2007: 8 durum wheat varieties in 7
// years, r = 3, QME = 0.148804 with 98 df), whose figures all fit their printed fields: the
// report's numbers and the JSON's agree, variable by variable.
TEST_F(ResultsTest, EveryPrintedNumberAgreesWithTheJson) {
  const std::string table = std::string(QV_EXAMPLES_DIR) + "/onofri_winterwheat.db";
  for (const TAnalysisCommand& command : AnalysisCommands()) {
    SCOPED_TRACE(command.name);
    const TRun run = Analyze({"-m", command.name, table, "-g", "8", "-a", "7", "-r", "3", "--qme",
                              "0.148804", "--gle", "98"});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(run.results.is_object());
    EXPECT_EQ(run.results["method"], command.name);
    const json& variables = run.results["variables"];
    const auto blocks = Blocks(run.report);
    ASSERT_EQ(variables.size(), 1u);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(variables[0]["name"], "yield");
    EXPECT_EQ(variables[0]["status"], "analisada");
    EXPECT_EQ(variables[0]["parameters"]["g"], 8);
    EXPECT_EQ(variables[0]["parameters"]["a"], 7);
    ExpectAgreement(blocks[0], variables[0]);
    // The Toler command's simple linear model comes with the last variable.
    EXPECT_EQ(variables[0].contains("continuation"), command.name == "toler");
    // The fits say whether they converged, and how they ended; the closed-form methods have
    // nothing to say. A fit that did not converge was stopped by the pass limit (more passes
    // printed than the limit: the final one and the start's count) or where no step lowered the
    // sum (fewer). The notes under the count of iterations are the JSON's, line for line.
    const bool fitted = command.name == "toler" || command.name.rfind("silva", 0) == 0;
    EXPECT_EQ(variables[0].contains("converged"), fitted);
    EXPECT_EQ(variables[0].contains("fit"), fitted);
    if (!fitted) continue;
    const json& fit = variables[0]["fit"];
    EXPECT_EQ(fit["converged"], variables[0]["converged"]);
    const double passes = variables[0]["values"]["Número de iterações"].get<double>();
    if (!fit["converged"].get<bool>()) {
      EXPECT_EQ(fit["stop"], passes > kMaxFitPasses ? "limite de iterações" : "sem progresso");
    } else {
      EXPECT_EQ(fit["stop"], "convergiu");
    }
    const std::vector<std::string>& lines = blocks[0];
    const auto count = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.rfind("Número de iterações:", 0) == 0;
    });
    ASSERT_NE(count, lines.end());
    std::vector<std::string> printed(count + 1, count + 1 + static_cast<long>(fit["notes"].size()));
    EXPECT_EQ(printed, fit["notes"].get<std::vector<std::string>>());
    EXPECT_EQ(count[1 + static_cast<long>(fit["notes"].size())].substr(0, 6), "______");
  }
}

// Toler's fit of the Sharma trial stops at a local minimum (residual sum of squares 374.18); the
// profile scan finds 370.21 with the bend of the genotypes moved, and the report and the JSON
// say so. With --scan-start the fit starts from the scan's point and ends at the best fit of the
// independent search, 370.2106355065647 (tests/segmented/independent_fit.py), which the scan
// then does not beat.
TEST_F(ResultsTest, ScanStartFitsFromTheScansBestPlaces) {
  const std::vector<std::string> args = {
      "-m",    "toler",    std::string(QV_EXAMPLES_DIR) + "/sharma_met.db",
      "-g",    "7",        "-a",
      "6",     "-r",       "3",
      "--qme", "20.65079", "--gle",
      "72"};
  const TRun fixed = Analyze(args);
  ASSERT_EQ(fixed.status, 0) << fixed.err;
  const json& first = fixed.results["variables"][0]["fit"];
  EXPECT_NEAR(first["sse"].get<double>(), 374.18396, 1e-5);
  EXPECT_TRUE(first["scan"]["lower"].get<bool>());
  EXPECT_NEAR(first["scan"]["sse"].get<double>(), 370.21083, 1e-5);
  EXPECT_NE(fixed.report.find("Nota: a varredura das junções encontrou SQ do desvio menor, "
                              "1110.63248; estas estimativas são de um mínimo local.\r\n"),
            std::string::npos);

  std::vector<std::string> scanned = args;
  scanned.push_back("--scan-start");
  const TRun run = Analyze(scanned);
  ASSERT_EQ(run.status, 0) << run.err;
  const json& fit = run.results["variables"][0]["fit"];
  EXPECT_TRUE(fit["converged"].get<bool>());
  EXPECT_NEAR(fit["sse"].get<double>() / 370.2106355065647, 1, 1e-10);
  EXPECT_FALSE(fit["scan"]["lower"].get<bool>());
  EXPECT_TRUE(fit["notes"].empty());
}

// A refused variable and one whose records cannot be read carry their cause; the variables
// that were analysed still agree with the report.
TEST_F(ResultsTest, CausesOfRefusedAndUnreadVariables) {
  const std::string table = Table(
      "gen,env,flat,yield,broken\n"
      "1,1,5,10,1\n1,2,5,12,2\n1,3,5,9,3\n"
      "2,1,5,14,\n2,2,5,20,5\n2,3,5,13,6\n"
      "3,1,5,11,7\n3,2,5,15,8\n3,3,5,16,9\n");
  const TRun run = Analyze(
      {"-m", "finlay", table, "-g", "3", "-a", "3", "-r", "2", "--qme", "0.5", "--gle", "12"});
  EXPECT_EQ(run.status, 1);
  const json& v = run.results["variables"];
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0]["status"], "recusada");
  EXPECT_NE(v[0]["cause"].get<std::string>().find("índice ambiental é nulo"), std::string::npos);
  EXPECT_NE(run.report.find("Variável não analisada: " + v[0]["cause"].get<std::string>()),
            std::string::npos);
  EXPECT_FALSE(v[0].contains("tables"));
  EXPECT_EQ(v[1]["status"], "analisada");
  ExpectAgreement(Blocks(run.report)[1], v[1]);
  EXPECT_EQ(v[2]["status"], "erro");
  EXPECT_NE(v[2]["cause"].get<std::string>().find("Erro no Banco de Dados"), std::string::npos);
}

// A results file larger than the pieces it is written in (1 MB): Plaisted and Peterson's table
// of the 101,025 pairs of 450 genotypes, about 2.7 MB, whole and agreeing with the report.
TEST_F(ResultsTest, ALargeResultsFileIsWrittenWhole) {
  std::string csv = "gen,env,yield\n";
  for (int i = 1; i <= 450; ++i) {
    for (int j = 1; j <= 6; ++j) {
      csv += std::to_string(i) + "," + std::to_string(j) + "," +
             std::to_string(10 + (i * 37 % 101) * 0.013 + j * (1 + i % 7) * 0.21) + "\n";
    }
  }
  const TRun run = Analyze({"-m", "plaisted", Table(csv), "-g", "450", "-a", "6", "-r", "2",
                            "--qme", "0.5", "--gle", "40"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_GT(fs::file_size(dir_ / "results.json"), std::size_t{1} << 21);
  const json& variable = run.results["variables"][0];
  std::size_t largest = 0;
  for (const json& t : variable["tables"]) largest = std::max(largest, t["rows"].size());
  EXPECT_EQ(largest, 101025u);
  ExpectAgreement(Blocks(run.report)[0], variable);
}

// The tables keep the report's names: titles and column headers as printed.
TEST_F(ResultsTest, TablesCarryTheReportsNames) {
  const std::string table = std::string(QV_EXAMPLES_DIR) + "/lu_stability.db";
  const TRun run = Analyze({"-m", "eberhart", table, "-g", "5", "-a", "6", "-r", "4", "--qme",
                            "179336.8", "--gle", "72"});
  ASSERT_EQ(run.status, 0) << run.err;
  const json& tables = run.results["variables"][0]["tables"];
  std::vector<std::string> ids;
  for (const json& t : tables) ids.push_back(t["id"]);
  EXPECT_EQ(ids,
            (std::vector<std::string>{"slopes", "standard_errors", "joint_anova", "within_genotype",
                                      "deviation_variance", "environments"}));
  for (const json& t : tables) {
    for (const json& column : t["columns"]) {
      const std::string name = column;
      if (name.empty() || name == "i") continue;
      EXPECT_NE(run.report.find(name), std::string::npos) << t["id"] << ": " << name;
    }
    if (!t["title"].get<std::string>().empty() && t["id"] != "joint_anova" &&
        t["id"] != "within_genotype") {
      EXPECT_NE(run.report.find(t["title"].get<std::string>()), std::string::npos) << t["id"];
    }
  }
  // Unrounded: the slopes carry more digits than the six the report prints.
  const double b1 = tables[0]["rows"][0][2];
  EXPECT_NE(std::round(b1 * 1e6) / 1e6, b1);
}

}  // namespace
}  // namespace qv
