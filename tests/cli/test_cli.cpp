// The command line end to end, in-process: options in, report and exit status out.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli_test_util.h"
#include "commands/commands.h"
#include "support/golden.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliResult;
using testing::ReadFile;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir =
        fs::temp_directory_path() /
        ("qv_cli_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Table(const std::string& csv, const std::string& name = "t.csv") {
    std::ofstream(dir / name, std::ios::binary) << csv;
    return (dir / name).string();
  }
  fs::path dir;
};

const char* const kWricke2x2 = "gen,env,yield\n1,1,10\n1,2,12\n2,1,14\n2,2,20\n";

TEST_F(CliTest, VersionAndHelp) {
  const CliResult v = Cli({"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_NE(v.out.find("quorvandelia-cli "), std::string::npos);

  const CliResult h = Cli({"analyze", "--help"});
  EXPECT_EQ(h.status, 0);
  for (const auto& m : AnalysisCommands())
    EXPECT_NE(h.out.find(m.name), std::string::npos) << m.name;
  for (const char* opt : {"--method", "-g", "-a", "--genotype-column", "--environment-column", "-r",
                          "--gle", "--qme", "--alpha", "--var", "--output", "--results"}) {
    EXPECT_NE(h.out.find(opt), std::string::npos) << opt;
  }
}

TEST_F(CliTest, WrickeReportToStdoutAndFile) {
  const std::string table = Table(kWricke2x2);
  const std::string golden = testing::Golden("wricke_2x2_r1.txt");
  const CliResult r =
      Cli({"analyze", "--method", "wricke", table, "-g", "2", "-a", "2", "-r", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, golden);

  const std::string file = (dir / "report.txt").string();
  const CliResult f =
      Cli({"analyze", "-m", "wricke", table, "-g", "2", "-a", "2", "-r", "1", "-o", file});
  EXPECT_EQ(f.status, 0);
  EXPECT_EQ(f.out, "");
  EXPECT_EQ(ReadFile(file), golden);
}

// The bundled durum wheat trial (Onofri & Ciriciofolo 2007; 8 genotypes, 7 years, 3 blocks).
// The golden numbers come from R 4.2.2, not from this program:
//   Y <- tapply(d$yield, list(d$gen, d$env), identity)
//   ga <- sweep(sweep(Y, 1, rowMeans(Y)), 2, colMeans(Y)) + mean(Y); W <- 3 * rowSums(ga^2)
//   cbind(rowMeans(Y), W, 100 * W / sum(W)); sum(W)
TEST_F(CliTest, WrickeOnTheExampleTrialMatchesR) {
  const CliResult r =
      Cli({"analyze", "--method", "wricke", std::string(QV_EXAMPLES_DIR) + "/onofri_winterwheat.db",
           "-g", "8", "-a", "7", "-r", "3"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, testing::Golden("wricke_onofri_r3.txt"));
}

TEST_F(CliTest, CodeColumnsByNameOrNumber) {
  const std::string table = Table("yield,env,gen\n10,1,1\n12,2,1\n14,1,2\n20,2,2\n");
  const std::string golden = testing::Golden("wricke_2x2_r1.txt");
  for (const auto& [genot, amb] : {std::pair{"gen", "env"}, {"3", "2"}}) {
    const CliResult r = Cli({"analyze", "-m", "wricke", table, "-g", "2", "-a", "2", "-r", "1",
                             "--genotype-column", genot, "--environment-column", amb});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, golden);
  }
  const CliResult bad = Cli({"analyze", "-m", "wricke", table, "-g", "2", "-a", "2", "-r", "1",
                             "--genotype-column", "genotype"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("genotype"), std::string::npos);
}

TEST_F(CliTest, FailedCheckPrintsItsMessageAndExits2) {
  const std::string table = Table(kWricke2x2);
  const CliResult r = Cli({"analyze", "-m", "wricke", table, "-g", "2.5", "-a", "2", "-r", "1"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "< g >: O valor de g deve ser inteiro: \nErros foram encontrados! Deseja Continuar\n");
}

TEST_F(CliTest, DataErrorKeepsTheReportAndExits1) {
  const std::string table = Table("gen,env,yield\n1,1,10\n1,2,12\n2,1,14\n");
  const CliResult r = Cli({"analyze", "-m", "wricke", table, "-g", "2", "-a", "2", "-r", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("ERRO: Erros foram encontrados! Análise desta variável foi abortada\r\n"),
            std::string::npos);
  EXPECT_NE(r.err.find("Falta no Banco de Dados o registro do genótipo 2 no ambiente 2.\n"),
            std::string::npos);
}

TEST_F(CliTest, UnknownMethodsAndMissingTables) {
  const std::string table = Table(kWricke2x2);
  const CliResult unknown = Cli({"analyze", "-m", "nope", table, "-g", "2", "-a", "2"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("método desconhecido \"nope\""), std::string::npos);
  const CliResult missing =
      Cli({"analyze", "-m", "wricke", (dir / "none.db").string(), "-g", "2", "-a", "2"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("Tente mudar o nome do diretório e arquivo para um nome sem acentos"),
            std::string::npos);
  EXPECT_EQ(Cli({"analyze", "-m", "wricke", table}).status, 2);  // -g and -a are required
}

}  // namespace
}  // namespace qv
