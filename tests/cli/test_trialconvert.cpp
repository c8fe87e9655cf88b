// quorvandelia-cli table convert with --recode, --means and --block: trial files with names and
// plots made into tables of means, with the QME, gle and r of the individual analyses.
//
// Reference values: the residual mean squares and degrees of freedom were computed with R 4.2
// from the same plot values, by
//   d <- read.csv("examples/<trial>_plots.csv"); for (c in c("genotype","environment","rep"))
//     d[[c]] <- factor(d[[c]])
//   s <- summary(aov(yield ~ environment + environment:rep + genotype + genotype:environment,
//                    data = d))[[1]];  s[nrow(s), c("Mean Sq", "Df")]
// with the plots named in each case left out (or set to NA) for the unbalanced ones; the
// test RAgreesWithTheConversion runs R itself when it is installed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli_test_util.h"
#include "tables/datatable.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliResult;
using testing::ReadFile;

std::string Example(const std::string& name) {
  return std::string(QV_EXAMPLES_DIR) + "/" + name;
}

// The lines of a CSV file, split at commas (the example files have no quotes).
std::vector<std::vector<std::string>> CsvLines(const std::string& path) {
  std::vector<std::vector<std::string>> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> cells;
    std::stringstream s(line);
    for (std::string cell; std::getline(s, cell, ',');) cells.push_back(cell);
    if (!line.empty() && line.back() == ',') cells.emplace_back();
    lines.push_back(cells);
  }
  return lines;
}

void WriteLines(const std::string& path, const std::vector<std::vector<std::string>>& lines) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const auto& cells : lines) {
    for (std::size_t i = 0; i < cells.size(); ++i) out << (i ? "," : "") << cells[i];
    out << '\n';
  }
}

// The number after `key` in a text ("QME = " -> its value).
double NumberAfter(const std::string& text, const std::string& key) {
  const std::size_t at = text.find(key);
  if (at == std::string::npos) return NAN;
  return std::strtod(text.c_str() + at + key.size(), nullptr);
}

struct Residual {
  double qme;
  long gle;
};

Residual ResidualOf(const CliResult& r) {
  return {NumberAfter(r.out, "QME = "), static_cast<long>(NumberAfter(r.out, "gle = "))};
}

class TrialConvert : public testing::ScratchTest {
 protected:
  // The example's plots with the plots `drop` says left out and those `blank` says blank.
  std::string Plots(const std::string& trial,
                    const std::function<bool(const std::vector<std::string>&)>& drop,
                    const std::function<bool(const std::vector<std::string>&)>& blank = nullptr) {
    auto lines = CsvLines(Example(trial + "_plots.csv"));
    std::vector<std::vector<std::string>> kept = {lines[0]};
    for (std::size_t k = 1; k < lines.size(); ++k) {
      if (drop && drop(lines[k])) continue;
      if (blank && blank(lines[k])) lines[k][3].clear();
      kept.push_back(lines[k]);
    }
    const std::string path = Path(trial + "_" + std::to_string(++written_) + ".csv");
    WriteLines(path, kept);
    return path;
  }

  CliResult Convert(const std::string& in, const std::string& out) {
    return Cli({"table", "convert", in, out, "--recode", "genotype,environment", "--means",
                "--block", "rep"});
  }

  int written_ = 0;
};

// The three example trials, balanced: the figures of examples/README.md (rounded there) and
// the means of examples/<trial>.csv.
TEST_F(TrialConvert, ExampleTrialsGiveTheirMeansQmeGleAndR) {
  struct Trial {
    const char* name;
    int g, a, r;
    double readmeQme;  // as examples/README.md gives it
    long gle;
    const char* qmeText;  // R's 15 significant digits
  };
  const Trial trials[] = {
      {"onofri_winterwheat", 8, 7, 3, 0.148804, 98, "0.148803996598639"},
      {"sharma_met", 7, 6, 3, 20.65079, 72, "20.6507936507937"},
      {"lu_stability", 5, 6, 4, 179336.8, 72, "179336.751388889"},
  };
  for (const Trial& t : trials) {
    const std::string out = Path(std::string(t.name) + ".db");
    const CliResult r = Convert(Example(std::string(t.name) + "_plots.csv"), out);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << t.name;
    const std::string g = std::to_string(t.g), a = std::to_string(t.a);
    const std::string expected =
        out + ": " + std::to_string(t.g * t.a) + " registros e 3 campos gravados, as médias de " +
        std::to_string(t.g * t.a * t.r) + " parcelas.\nGenótipos (\"genotype\"): g = " + g +
        "\nAmbientes (\"environment\"): a = " + a +
        "\nLegenda dos códigos: " + Path(std::string(t.name) + ".legend.csv") +
        "\nyield: r = " + std::to_string(t.r) + "; QME = " + t.qmeText +
        " e gle = " + std::to_string(t.gle) +
        " (blocos \"rep\" dentro dos ambientes)\nParâmetros da análise: -g " + g + " -a " + a +
        " --var yield:gle=" + std::to_string(t.gle) + ",qme=" + t.qmeText +
        ",r=" + std::to_string(t.r) + "\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_NEAR(ResidualOf(r).qme, t.readmeQme, 5e-7 * t.readmeQme) << t.name;

    // The means, cell by cell, against the published means (6 decimals).
    TDataTable means, published;
    means.SetName(out);
    means.Open();
    published.SetName(Example(std::string(t.name) + ".csv"));
    published.Open();
    ASSERT_EQ(means.RecordCount(), published.RecordCount());
    for (std::size_t k = 0; k < means.RecordCount(); ++k) {
      for (int f = 0; f < 3; ++f) {
        EXPECT_NEAR(means.ValueAt(k, f).AsNumber(), published.ValueAt(k, f).AsNumber(), 6e-7)
            << t.name << " record " << k << " field " << f;
      }
    }
  }
}

TEST_F(TrialConvert, LabelsBecomeCodesInOrderOfFirstAppearanceWithALegend) {
  // Names with blanks and accents, the plots in an order in which the last genotype and the
  // last environment appear first; only --recode: one record per plot.
  WriteLines(Path("ensaio.csv"), {{"cultivar", "local", "rep", "rend"},
                                  {"BRS 264", "Londrina 2019", "1", "3.5"},
                                  {"IAC Ipê", "Londrina 2019", "1", "4"},
                                  {"BRS 264", "Ponta Grossa", "1", "2.25"},
                                  {"IAC Ipê", "Ponta Grossa", "1", "3"},
                                  {"BRS 264", "Londrina 2019", "2", "3.7"}});
  const CliResult r = Cli(
      {"table", "convert", Path("ensaio.csv"), Path("ensaio.db"), "--recode", "cultivar,local"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Path("ensaio.db") +
                       ": 5 registros e 4 campos gravados.\nGenótipos (\"cultivar\"): g = 2\n"
                       "Ambientes (\"local\"): a = 2\nLegenda dos códigos: " +
                       Path("ensaio.legend.csv") + "\n");
  EXPECT_EQ(ReadFile(Path("ensaio.legend.csv")),
            "column,code,label\ncultivar,1,BRS 264\ncultivar,2,IAC Ipê\nlocal,1,Londrina 2019\n"
            "local,2,Ponta Grossa\n");
  TDataTable t;
  t.SetName(Path("ensaio.db"));
  t.Open();
  EXPECT_EQ(t.Field(0), (FieldDef{"cultivar", FieldType::Float, 0}));
  const std::vector<double> cultivar = {1, 2, 1, 2, 1}, local = {1, 1, 2, 2, 1};
  for (std::size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(t.ValueAt(k, 0), TValue::Number(cultivar[k]));
    EXPECT_EQ(t.ValueAt(k, 1), TValue::Number(local[k]));
  }
  EXPECT_EQ(t.ValueAt(4, 3), TValue::Number(3.7));
}

// Missing plots and a missing cell, each against R's aov on the same plots.
TEST_F(TrialConvert, UnbalancedTrialsAreFittedByLeastSquares) {
  struct Case {
    const char* what;
    std::string plots;
    double qme;
    long gle;
    std::size_t records;
    const char* warns;
  };
  const auto is = [](const char* g, const char* e, const char* rep) {
    return [=](const std::vector<std::string>& c) { return c[0] == g && c[1] == e && c[2] == rep; };
  };
  const std::vector<Case> cases = {
      {"one plot left out", Plots("onofri_winterwheat", is("Colosseo", "1996", "2")),
       0.146094759450172, 97, 56, "tem células com números diferentes de parcelas"},
      {"one plot blank", Plots("lu_stability", nullptr, is("G3", "E2", "4")), 179525.995539906, 71,
       30, "tem células com números diferentes de parcelas"},
      {"two plots of one environment left out",
       Plots("sharma_met",
             [&](const std::vector<std::string>& c) {
               return is("A", "Y1L3", "1")(c) || is("B", "Y1L3", "2")(c);
             }),
       21.0805194805195, 70, 42, "tem células com números diferentes de parcelas"},
      {"a cell without plots",
       Plots("onofri_winterwheat",
             [](const std::vector<std::string>& c) { return c[0] == "Creso" && c[1] == "1998"; }),
       0.150232006448413, 96, 55,
       "Atenção: falta 1 das 56 células (genótipo e ambiente sem nenhuma parcela), o genótipo "
       "\"Creso\" no ambiente \"1998\"; as análises pedem um registro de cada genótipo em cada "
       "ambiente.\n"},
  };
  for (const Case& c : cases) {
    const CliResult r = Convert(c.plots, Path("m.db"));
    ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
    const Residual residual = ResidualOf(r);
    EXPECT_NEAR(residual.qme, c.qme, 1e-12 * c.qme) << c.what;
    EXPECT_EQ(residual.gle, c.gle) << c.what;
    EXPECT_NE(r.err.find(c.warns), std::string::npos) << c.what << ": " << r.err;
    TDataTable t;
    t.SetName(Path("m.db"));
    t.Open();
    EXPECT_EQ(t.RecordCount(), c.records) << c.what;
  }
}

TEST_F(TrialConvert, DecimalCommasOfASpreadsheetAreRead) {
  std::ofstream(Path("planilha.csv"))
      << "gen;amb;bloco;prod\n1;1;1;6,5\n1;1;2;7\n2;1;1;5,25\n2;1;2;6\n";
  const CliResult without =
      Cli({"table", "convert", Path("planilha.csv"), Path("a.db"), "--means", "--block", "bloco"});
  // Without the option the column is one of numbers with cells that are not numbers: the
  // first of them is named, and no table is written.
  EXPECT_EQ(without.status, 1) << without.err;
  EXPECT_NE(without.err.find("o campo \"prod\" do registro 1 tem o texto \"6,5\""),
            std::string::npos)
      << without.err;
  EXPECT_FALSE(std::filesystem::exists(Path("a.db")));
  const CliResult with = Cli({"table", "convert", Path("planilha.csv"), Path("b.db"), "--means",
                              "--block", "bloco", "--decimal-comma"});
  ASSERT_EQ(with.status, 0) << with.err;
  TDataTable t;
  t.SetName(Path("b.db"));
  t.Open();
  EXPECT_EQ(t.ValueAt(0, 2), TValue::Number(6.75));
  EXPECT_EQ(t.ValueAt(1, 2), TValue::Number(5.625));
  // Two genotypes in two blocks: every residual is plus or minus a quarter of the interaction
  // contrast 6.5 - 7 - 5.25 + 6 = 0.25, so QME = 4 x 0.0625^2 on 1 degree of freedom.
  EXPECT_NE(with.out.find("prod: r = 2; QME = 0.015625 e gle = 1"), std::string::npos) << with.out;
}

TEST_F(TrialConvert, RefusedOptionsAndData) {
  const std::string plots = Example("sharma_met_plots.csv");
  const std::vector<std::vector<std::string>> usage = {
      {"--block", "rep"},
      {"--recode", "genotype"},
      {"--recode", "genotype,genotype"},
      {"--means", "--block", "genotype"},
      {"--recode", "genotype,environment", "--genotype-column", "rep"},
      {"--recode", "genotype,falta"},
      {"--genotype-column", "genotype"},
  };
  for (const auto& options : usage) {
    std::vector<std::string> args = {"table", "convert", plots, Path("x.db")};
    args.insert(args.end(), options.begin(), options.end());
    const CliResult r = Cli(args);
    EXPECT_EQ(r.status, 2) << options[0] << " " << options[1];
    EXPECT_FALSE(fs::exists(Path("x.db")));
  }
  WriteLines(Path("sem.csv"), {{"g", "e", "y"}, {"A", "E1", "1"}, {"", "E1", "2"}});
  const CliResult blank =
      Cli({"table", "convert", Path("sem.csv"), Path("x.db"), "--recode", "g,e"});
  EXPECT_EQ(blank.status, 1);
  EXPECT_EQ(blank.err, "quorvandelia-cli: " + Path("sem.csv") +
                           ": o registro 2 não tem valor no campo \"g\".\n");
  EXPECT_FALSE(fs::exists(Path("x.db")));
}

// R itself, when it is installed: the same plots, balanced and with a plot and a cell left out.
TEST_F(TrialConvert, RAgreesWithTheConversion) {
  if (std::system("Rscript --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "Rscript not found";
  const std::vector<std::string> files = {
      Example("onofri_winterwheat_plots.csv"), Example("sharma_met_plots.csv"),
      Example("lu_stability_plots.csv"),
      Plots("onofri_winterwheat", [](const std::vector<std::string>& c) {
        return (c[0] == "Iride" && c[1] == "2001" && c[2] == "3") ||
               (c[0] == "Simeto" && c[1] == "1997");
      })};
  for (const std::string& file : files) {
    const std::string script =
        "d <- read.csv('" + file +
        "'); for (c in c('genotype','environment','rep')) d[[c]] <- factor(d[[c]]); "
        "s <- summary(aov(yield ~ environment + environment:rep + genotype + "
        "genotype:environment, data = d))[[1]]; n <- nrow(s); "
        "cat(sprintf('%.17g %d', s[n, 'Mean Sq'], s[n, 'Df']))";
    FILE* p = popen(("Rscript -e \"" + script + "\"").c_str(), "r");
    ASSERT_NE(p, nullptr);
    double qme = 0;
    long gle = 0;
    ASSERT_EQ(std::fscanf(p, "%lf %ld", &qme, &gle), 2) << file;
    pclose(p);
    const CliResult r = Convert(file, Path("r.db"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(ResidualOf(r).qme, qme, 1e-12 * qme) << file;
    EXPECT_EQ(ResidualOf(r).gle, gle) << file;
  }
}

}  // namespace
}  // namespace qv
