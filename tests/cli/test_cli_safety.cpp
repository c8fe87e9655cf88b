// The command line against a careless or hostile user: outputs that name the input table,
// failed writes, malformed or unknown --var, parameters outside a method's domain, text from the
// table on the terminal, fields of the same name, tables that cannot be opened.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <streambuf>

#include "cli_test_util.h"
#include "commands/commands.h"
#include "support/golden.h"
#include "tables/iofault.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliResult;
using testing::ReadFile;

class CliSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("qv_cli_safety_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override {
    detail::SetIoFaultHook({});
    fs::remove_all(dir);
  }
  std::string Table(const std::string& csv, const std::string& name = "t.csv") {
    std::ofstream(dir / name, std::ios::binary) << csv;
    return (dir / name).string();
  }
  fs::path dir;
};

const char* const kWricke2x2 = "gen,env,yield\n1,1,10\n1,2,12\n2,1,14\n2,2,20\n";
// 2 genotypes x 3 environments, two response variables of the same name.
const char* const kTwoNamedY =
    "gen,env,y,y\n1,1,10,1\n1,2,12,2\n1,3,11,2\n2,1,14,3\n2,2,20,5\n2,3,21,7\n";

// The user's table is never written over, however the output names it; and nothing is
// written at all.
TEST_F(CliSafetyTest, OutputThatIsTheInputTableIsRefused) {
  const std::string table = Table(kWricke2x2);
  fs::create_symlink(table, dir / "link.csv");
  fs::create_hard_link(table, dir / "hard.csv");
  const fs::path cwd = fs::current_path();
  fs::current_path(dir);
  for (const std::string& out :
       {table, std::string("t.csv"), std::string("./t.csv"), (dir / "link.csv").string(),
        std::string("hard.csv"), (dir / ".." / dir.filename() / "t.csv").string()}) {
    for (const char* option : {"-o", "--results"}) {
      const CliResult r =
          Cli({"analyze", "-m", "wricke", table, "-g", "2", "-a", "2", "-r", "1", option, out});
      EXPECT_EQ(r.status, 2) << option << " " << out;
      EXPECT_NE(r.err.find("é a própria tabela analisada"), std::string::npos) << r.err;
      EXPECT_EQ(ReadFile(table), kWricke2x2) << option << " " << out;
    }
  }
  fs::current_path(cwd);
  const CliResult same =
      Cli({"analyze", "-m", "wricke", table, "-g", "2", "-a", "2", "-r", "1", "-o",
           (dir / "r.txt").string(), "--results", (dir / "r.txt").string()});
  EXPECT_EQ(same.status, 2);
  EXPECT_FALSE(fs::exists(dir / "r.txt"));
}

// The report is written to a complete temporary file and only then renamed over the old one:
// a failure in the middle (here a full disk at the first write) leaves the old report whole.
TEST_F(CliSafetyTest, FailedWriteOfTheReportLeavesTheOldFile) {
  const std::string table = Table(kWricke2x2);
  const std::string report = (dir / "relatorio.txt").string();
  std::ofstream(report) << "old report";
  detail::SetIoFaultHook(
      [](detail::IoStep step) { return step == detail::IoStep::WriteTemp ? ENOSPC : 0; });
  const CliResult r =
      Cli({"analyze", "-m", "wricke", table, "-g", "2", "-a", "2", "-r", "1", "-o", report});
  detail::SetIoFaultHook({});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("o relatório não foi gravado"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(report), "old report");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 2u);  // the table and the old report; no temporary left behind
}

// Standard output that refuses the report (a full disk, a closed pipe): a message and a
// status of its own, never a silent success.
TEST_F(CliSafetyTest, FailedWriteToStandardOutputIsAnError) {
  struct TFullDisk : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
  } full;
  std::ostream out(&full);
  std::ostringstream err;
  const std::string table = Table(kWricke2x2);
  const std::vector<std::string> args = {
      "quorvandelia-cli", "analyze", "-m", "wricke", table, "-g", "2", "-a", "2", "-r", "1"};
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  EXPECT_EQ(RunCli(static_cast<int>(argv.size()), argv.data(), out, err), 3);
  EXPECT_NE(err.str().find("não foi possível escrever o relatório na saída padrão"),
            std::string::npos);
}

// --var that names no variable, or is malformed, is refused before anything is computed.
TEST_F(CliSafetyTest, MalformedOrUnknownVarIsRefused) {
  const std::string table = Table(kTwoNamedY);
  const struct {
    std::string var, message;
  } cases[] = {
      {"z:qme=1", "a tabela não tem a variável \"z\""},
      {"y:qme=", "qme sem valor"},
      {"y:qme=1:", "nada depois de \":\""},
      {"y:", "nada depois de \":\""},
      {":qme=1", "espera NOME:gle=N,qme=X,r=R"},
      {"y:gle=1.5", "o valor de gle, \"1.5\", não é um número inteiro"},
      {"y:qme=1,5", "\"5\" não é gle=N, qme=X nem r=R"},
      {"y:qme=1,qme=2", "qme aparece duas vezes"},
      {"y:foo=1", "\"foo=1\" não é gle=N, qme=X nem r=R"},
      {"y:qme=1", "a tabela tem 2 campos chamados \"y\""},  // ambiguous: name the field by number
      {"gen:qme=1", "o campo não é uma variável analisada"},
      {"9:qme=1", "a tabela não tem a variável \"9\""},
      {"03:qme=1", "\"03\" e \"3\" são o mesmo campo (3)"},  // the field of the other --var
  };
  for (const auto& c : cases) {
    const CliResult r = Cli({"analyze", "-m", "finlay", table, "-g", "2", "-a", "3", "--gle", "10",
                             "--qme", "1", "-r", "2", "--var", c.var, "--var", "3:r=2"});
    EXPECT_EQ(r.status, 2) << c.var;
    EXPECT_EQ(r.out, "") << c.var;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.var << ": " << r.err;
  }
  const CliResult noPhase2 =
      Cli({"analyze", "-m", "wricke", table, "-g", "2", "-a", "3", "-r", "1", "--var", "3:r=2"});
  EXPECT_EQ(noPhase2.status, 2);
  EXPECT_NE(noPhase2.err.find("não pede parâmetros por variável"), std::string::npos);
}

// Two fields of the same name are two variables, each with its own dialog: valid answers for
// both are not taken for a refusal, and --var reaches either one by its number.
TEST_F(CliSafetyTest, FieldsOfTheSameNameAreToldApartByPosition) {
  const std::string table = Table(kTwoNamedY);
  const std::string results = (dir / "r.json").string();
  const CliResult r = Cli({"analyze", "-m", "finlay", table, "-g", "2", "-a", "3", "--gle", "10",
                           "--qme", "1", "-r", "2", "--var", "4:qme=2", "--results", results});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string json = ReadFile(results);
  const auto first = json.find("\"QME\":1.0"), second = json.find("\"QME\":2.0");
  EXPECT_NE(first, std::string::npos) << json;
  EXPECT_NE(second, std::string::npos) << json;
  EXPECT_LT(first, second);
}

// A parameter outside the method's domain is a bad parameter, whatever the method: status 2
// (with the method's message), not 0 or 1.
TEST_F(CliSafetyTest, ParametersOutsideTheDomainExit2) {
  const std::string table = Table(
      "gen,env,y\n1,1,10\n1,2,12\n1,3,9\n1,4,15\n2,1,14\n2,2,20\n2,3,13\n2,4,18\n3,1,11\n"
      "3,2,16\n3,3,12\n3,4,19\n");
  const std::vector<std::vector<std::string>> bad = {
      {"-g", "0", "-a", "4", "-r", "3", "--gle", "30", "--qme", "0.8"},
      {"-g", "3", "-a", "-1", "-r", "3", "--gle", "30", "--qme", "0.8"},
      {"-g", "3", "-a", "4", "-r", "0", "--gle", "30", "--qme", "0.8"},
      {"-g", "3", "-a", "4", "-r", "-2", "--gle", "30", "--qme", "0.8"},
      {"-g", "3", "-a", "4", "-r", "3", "--gle", "30", "--qme", "-1"},
  };
  for (const auto& command : AnalysisCommands()) {
    if (command.name == "annicchiarico") continue;  // takes neither r nor QME
    for (const auto& params : bad) {
      if (command.name == "wricke" && params[9] == "-1") continue;  // takes no QME
      std::vector<std::string> args = {"analyze", "-m", command.name, table};
      args.insert(args.end(), params.begin(), params.end());
      const CliResult r = Cli(args);
      EXPECT_EQ(r.status, 2) << command.name << " " << params[1] << " " << params[3] << " "
                             << params[5] << " " << params[9] << ": " << r.err;
    }
  }
  // Wricke with r of 0: the message of the other methods, not negative ecovalences.
  const CliResult wricke = Cli({"analyze", "-m", "wricke", table, "-g", "3", "-a", "4", "-r", "0"});
  EXPECT_NE(wricke.err.find("o número de repetições deve ser maior que zero (r = 0)"),
            std::string::npos)
      << wricke.err;
  EXPECT_EQ(wricke.out.find("Soma dos W(i) igual a zero"), std::string::npos);
  // The segmented models' size checks are the parameters' too.
  EXPECT_EQ(Cli({"analyze", "-m", "silva-toler", table, "-g", "3", "-a", "4", "-r", "3", "--gle",
                 "30", "--qme", "0.8"})
                .status,
            2);
}

// A table's text reaches the terminal without its control characters.
TEST_F(CliSafetyTest, TableTextOnTheTerminalHasNoControlCharacters) {
  const std::string table =
      Table("gen,env,y\n1,1,10\n1,2,12\n2,1,\"\x1b]0;owned\x07\x1b[2J\"\n2,2,20\n");
  const CliResult r = Cli({"analyze", "-m", "wricke", table, "-g", "2", "-a", "2", "-r", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("contém \"?]0;owned??[2J\""), std::string::npos) << r.err;
  for (const char c : r.err) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20);
}

// The dialog's text stays; the table layer's precise cause follows on the next line.
TEST_F(CliSafetyTest, TableThatCannotBeOpenedSaysWhy) {
  fs::create_directory(dir / "pasta.csv");
  std::ofstream(dir / "vazia.csv");
  std::ofstream(dir / "truncada.db") << "\x02\x00";
  std::ofstream(dir / "csv.db") << kWricke2x2;
  const struct {
    std::string file, cause;
  } cases[] = {
      {"pasta.csv", "não é um arquivo comum"},
      {"vazia.csv", "o arquivo está vazio"},
      {"truncada.db", "não é uma tabela Paradox válida"},
      {"csv.db", "não é uma tabela Paradox válida"},
      {"nenhuma.csv", "o arquivo não existe"},
      {"tabela.txt", "tipo de tabela desconhecido"},
  };
  for (const auto& c : cases) {
    const std::string path = (dir / c.file).string();
    const CliResult r = Cli({"analyze", "-m", "wricke", path, "-g", "2", "-a", "2", "-r", "1"});
    EXPECT_EQ(r.status, 2) << c.file;
    const std::string expected =
        "Tente mudar o nome do diretório e arquivo para um nome sem "
        "acentos\nTabela \"" +
        path + "\": ";
    EXPECT_EQ(r.err.rfind(expected, 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.cause), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace qv
