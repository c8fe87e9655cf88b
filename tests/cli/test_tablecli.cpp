// quorvandelia-cli table ...: the table manager's operations from the command line, end to end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
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

using Rows = std::vector<std::vector<TValue>>;

struct Table {
  std::vector<FieldDef> fields;
  Rows rows;
  bool operator==(const Table&) const = default;
};

Table Read(const std::string& path) {
  TDataTable t;
  t.SetName(path);
  t.Open();
  Table table{t.Fields(), {}};
  for (std::size_t r = 0; r < t.RecordCount(); ++r) {
    table.rows.emplace_back();
    for (int i = 0; i < t.FieldCount(); ++i) table.rows.back().push_back(t.ValueAt(r, i));
  }
  return table;
}

class TableCli : public testing::ScratchTest {
 protected:
  // A copy of an example table in the scratch directory.
  std::string Example(const std::string& name) {
    const fs::path to = dir_ / name;
    fs::copy_file(fs::path(QV_EXAMPLES_DIR) / name, to);
    return to.string();
  }
};

TEST_F(TableCli, InfoDescribesFormatCodePageFieldsAndRecords) {
  const std::string path = std::string(QV_EXAMPLES_DIR) + "/lu_stability.db";
  const CliResult r = Cli({"table", "info", path});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Tabela: " + path +
                       "\nFormato: Paradox\nCódigo de página: CP1252\nRegistros: 30\nCampos: 3\n"
                       "  1  gen    real\n  2  env    real\n  3  yield  real\n");

  TDataTable t;
  t.SetName(Path("tipos.dbf"));
  t.DefineFields({{"nome", FieldType::String, 12},
                  {"bloco", FieldType::Integer, 0},
                  {"data", FieldType::Date, 0},
                  {"ok", FieldType::Logical, 0}});
  t.CreateTable();
  const CliResult d = Cli({"table", "info", Path("tipos.dbf")});
  EXPECT_EQ(d.status, 0) << d.err;
  EXPECT_NE(d.out.find("Formato: dBase\n"), std::string::npos) << d.out;
  EXPECT_NE(d.out.find("Registros: 0\n"), std::string::npos) << d.out;
  EXPECT_NE(d.out.find("  1  nome   texto (12)\n  2  bloco  inteiro\n  3  data   data\n"
                       "  4  ok     lógico\n"),
            std::string::npos)
      << d.out;
}

// Through every format and back, with every value exact.
TEST_F(TableCli, ConvertThroughEveryFormatKeepsTheTable) {
  const std::string db = Example("onofri_winterwheat.db");
  const Table original = Read(db);
  std::string from = db;
  for (const char* to : {"trigo.dbf", "trigo.csv", "trigo.db"}) {
    const CliResult r = Cli({"table", "convert", from, Path(to)});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Path(to) + ": 56 registros e 3 campos gravados.\n");
    EXPECT_EQ(Read(Path(to)), original) << to;
    from = Path(to);
  }
}

// The output can never be the input, however its name is written: nothing is written and the
// input keeps every byte.
TEST_F(TableCli, ConvertRefusesItsOwnInputAsOutput) {
  const std::string db = Example("sharma_met.db");
  const std::string before = ReadFile(db);
  fs::create_symlink(db, dir_ / "ligacao.db");
  fs::create_hard_link(db, dir_ / "outra.csv");
  const std::string cwd = fs::current_path().string();
  fs::current_path(dir_);
  for (const std::string& out : {db, std::string("sharma_met.db"), std::string("./sharma_met.db"),
                                 Path("ligacao.db"), Path("outra.csv")}) {
    const CliResult r = Cli({"table", "convert", db, out});
    EXPECT_EQ(r.status, 2) << out;
    EXPECT_NE(r.err.find("é a própria tabela de entrada"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(db), before) << out;
  }
  fs::current_path(cwd);
  EXPECT_EQ(Cli({"table", "convert", db, Path("saida.txt")}).status, 2);
}

// A value the target format cannot hold leaves the target as it was, and says so.
TEST_F(TableCli, ConvertLeavesTheTargetWhenAValueIsRefused) {
  const std::string csv = Path("nomes.csv");
  { std::ofstream(csv) << "gen,nome\n1,Ipê\n2,漢字\n"; }
  const std::string target = Example("lu_stability.db");
  const std::string before = ReadFile(target);
  const CliResult r = Cli({"table", "convert", csv, target});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("registro 2, campo \"nome\""), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(target), before);
}

TEST_F(TableCli, FieldAndRecordCommandsChangeTheTable) {
  const std::string path = Path("lu.dbf");
  ASSERT_EQ(
      Cli({"table", "convert", std::string(QV_EXAMPLES_DIR) + "/lu_stability.db", path}).status, 0);
  const Table original = Read(path);

  EXPECT_EQ(
      Cli({"table", "add-field", path, "altura", "local:texto", "obs:texto:8", "x:real"}).status,
      0);
  Table expected = original;
  expected.fields.insert(expected.fields.end(), {{"altura", FieldType::Float, 0},
                                                 {"local", FieldType::String, 30},
                                                 {"obs", FieldType::String, 8},
                                                 {"x", FieldType::Float, 0}});
  for (auto& row : expected.rows) row.insert(row.end(), 4, TValue());
  EXPECT_EQ(Read(path), expected);

  EXPECT_EQ(Cli({"table", "delete-field", path, "altura", "7"}).status, 0);  // by name, number
  expected.fields.erase(expected.fields.begin() + 6);
  expected.fields.erase(expected.fields.begin() + 3);
  for (auto& row : expected.rows) row.resize(5);
  EXPECT_EQ(Read(path), expected);

  EXPECT_EQ(Cli({"table", "rename-field", path, "yield", "prod", "GEN", "genotipo"}).status, 0);
  expected.fields[2].name = "prod";
  expected.fields[0].name = "genotipo";
  EXPECT_EQ(Read(path), expected);

  const CliResult d = Cli({"table", "delete-records", path, "1-3,10", "30", "2"});
  EXPECT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(d.out, "5 registros apagados; a tabela tem agora 25.\n");
  for (const int r : {29, 9, 2, 1, 0}) expected.rows.erase(expected.rows.begin() + r);
  EXPECT_EQ(Read(path), expected);
  EXPECT_EQ(ReadFile(path)[0], '\x03');  // still a dBase table
}

// Bad arguments are usage errors (2) that leave the table as it was; a table that cannot be read
// is a file error (1).
TEST_F(TableCli, BadArgumentsAndBadTables) {
  const std::string path = Example("lu_stability.db");
  const std::string before = ReadFile(path);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string says;
  } cases[] = {
      {{"table", "delete-field", path, "peso"}, 2, "a tabela não tem o campo \"peso\""},
      {{"table", "delete-field", path, "1", "env", "yield"}, 2, "a tabela ficaria sem campos"},
      {{"table", "rename-field", path, "gen", "env"},
       2,
       "Já existe um campo chamado \"env\" nesta tabela."},
      {{"table", "rename-field", path, "gen", "g(1)"},
       2,
       "Voce está tentando usar caracteres não permitidos, \npelo programa, quais sejam, \"*\", "
       "\"(\" ou \")\""},
      {{"table", "rename-field", path, "gen"}, 2, "ficou sem par"},
      {{"table", "rename-field", path, "gen", std::string(26, 'g')}, 2, "no máximo 25"},
      {{"table", "add-field", path, "ENV"}, 2, "Já existe um campo chamado \"env\""},
      {{"table", "add-field", path, "obs:texto:0"}, 2, "de 1 a 255"},
      {{"table", "delete-records", path, "31"}, 2, "o registro 31 não existe (a tabela tem 30"},
      {{"table", "delete-records", path, "5-3"}, 2, "\"5-3\" não é um número de registro"},
      {{"table", "delete-records", path, "0"}, 2, "não é um número de registro"},
      {{"table", "info"}, 2, "TABLE"},
      {{"table", "info", Path("falta.db")}, 1, "o arquivo não existe"},
      {{"table", "info", Path("tabela.txt")}, 2, "deve terminar em .db"},
      {{"table", "delete-records", Path("falta.dbf"), "1"}, 1, "o arquivo não existe"},
  };
  for (const auto& c : cases) {
    const CliResult r = Cli(c.args);
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << line << "\n" << r.err;
    EXPECT_EQ(ReadFile(path), before) << line;
  }
  std::ofstream(Path("dano.db")) << "not a table";
  EXPECT_EQ(Cli({"table", "info", Path("dano.db")}).status, 1);
}

}  // namespace
}  // namespace qv
