// quorvandelia-cli import and export, end to end: the window's commands answered from the
// arguments, reals written in the General layout with ".".
#include <gtest/gtest.h>

#include <algorithm>
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

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << bytes;
}

Rows RowsOf(const std::string& path) {
  TDataTable t;
  t.SetName(path);
  t.Open();
  Rows rows;
  for (std::size_t r = 0; r < t.RecordCount(); ++r) {
    rows.emplace_back();
    for (int i = 0; i < t.FieldCount(); ++i) rows.back().push_back(t.ValueAt(r, i));
  }
  return rows;
}

TValue N(double v) {
  return TValue::Number(v);
}

class TransferCli : public testing::ScratchTest {
 protected:
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(TransferCli, ImportReadsTheColumnsOfATextFile) {
  Write(Path("dados.txt"), "gen;env yield\r\n1 1 6,5\r\n1 2 5.25\r\n\r\n");
  // The heading's "e"s are tokens; the first line is cleaned to "e e e e": n = 4, and the
  // import stops at once. Without the heading the decimal comma splits 6,5 in two.
  Write(Path("limpo.txt"), "1 1 6,5\r\n1 2 5.25\r\n");
  const CliResult r = Cli({"import", Path("limpo.txt"), Path("t.db")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            Path("t.db") + ": 2 registros e 4 campos importados de " + Path("limpo.txt") + ".\n");
  EXPECT_EQ(RowsOf(Path("t.db")),
            (Rows{{N(1), N(1), N(6), N(5)}, {N(1), N(2), N(5.25), TValue()}}));
  EXPECT_EQ(r.err,
            "quorvandelia-cli: O arquivo \"" + Path("limpo.txt") +
                "\" terminou antes de completar o último registro (o 2º): o seu último campo "
                "ficou em branco.\n");

  const CliResult bad = Cli({"import", Path("dados.txt"), Path("h.db")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("Valor não numérico na linha 1 do arquivo \"" + Path("dados.txt") +
                         "\": \"e\".\nA linha foi lida como \"e e e \""),
            std::string::npos)
      << bad.err;
  EXPECT_EQ(RowsOf(Path("h.db")), Rows{});
  EXPECT_EQ(Files(), (std::vector<std::string>{"dados.txt", "h.db", "limpo.txt", "t.db"}));
}

TEST_F(TransferCli, ExportWritesTheGeneralLayoutWithAPoint) {
  TDataTable t;
  t.SetName(Path("t.db"));
  t.DefineFields(
      {{"gen", FieldType::Float, 0}, {"nome", FieldType::String, 30}, {"y", FieldType::Float, 0}});
  t.CreateTable();
  t.Open();
  const Rows rows = {{N(1), TValue::Text("BRS 264"), N(1.0 / 3.0)},
                     {N(600), TValue(), N(1e300)},
                     {N(-0.5), TValue::Text("Ipê"), TValue()},
                     {N(2), TValue::Text("x"), N(-2.5e-7)}};
  t.BeginBatch();
  for (const auto& row : rows) {
    t.Append();
    for (int i = 0; i < 3; ++i) t.SetValue(i, row[static_cast<std::size_t>(i)]);
    t.Post();
  }
  t.EndBatch();
  t.Close();
  const CliResult r = Cli({"export", Path("t.db"), Path("t.txt")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(Path("t.txt")),
            "gen nome y \r\n"
            "1  BRS 264  0.333333333333333  \r\n"
            "600  . 1E300  \r\n"
            "-0.5  Ipê  . \r\n"
            "2  x  -2.5E-7  \r\n");
}

TEST_F(TransferCli, NumbersComeBackFromAnExportWithoutItsNamesLine) {
  const Rows rows = {{N(1), N(0.1), N(-2.5e-7)},
                     {N(600), N(3288.75), N(1.23456789012345e17)},
                     {N(-0.0001), N(1e300), N(42)}};
  TDataTable t;
  t.SetName(Path("t.db"));
  t.DefineFields(
      {{"a", FieldType::Float, 0}, {"b", FieldType::Float, 0}, {"c", FieldType::Float, 0}});
  t.CreateTable();
  t.Open();
  for (const auto& row : rows) {
    t.Append();
    for (int i = 0; i < 3; ++i) t.SetValue(i, row[static_cast<std::size_t>(i)]);
    t.Post();
  }
  t.Close();
  ASSERT_EQ(Cli({"export", Path("t.db"), Path("t.txt")}).status, 0);
  const std::string text = ReadFile(Path("t.txt"));
  Write(Path("t.txt"), text.substr(text.find('\n') + 1));
  const CliResult r = Cli({"import", Path("t.txt"), Path("volta.db")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(RowsOf(Path("volta.db")), rows);
}

TEST_F(TransferCli, AFileIsOnlyReplacedWithForce) {
  Write(Path("d.txt"), "1 2\r\n");
  Write(Path("t.db"), "not a table");
  const CliResult i = Cli({"import", Path("d.txt"), Path("t.db")});
  EXPECT_EQ(i.status, 2);
  EXPECT_EQ(i.err, "quorvandelia-cli: \"" + Path("t.db") +
                       "\" já existe (use --force para substituí-lo)\n");
  EXPECT_EQ(ReadFile(Path("t.db")), "not a table");
  EXPECT_EQ(Files(), (std::vector<std::string>{"d.txt", "t.db"}));
  EXPECT_EQ(Cli({"import", "--force", Path("d.txt"), Path("t.db")}).status, 0);
  EXPECT_EQ(RowsOf(Path("t.db")), (Rows{{N(1), N(2)}}));

  const CliResult e = Cli({"export", Path("t.db"), Path("d.txt")});
  EXPECT_EQ(e.status, 2);
  EXPECT_EQ(e.err,
            "quorvandelia-cli: Arquivo já existe. Deseja reescrevê-lo? (use --force para "
            "substituí-lo)\n");
  EXPECT_EQ(ReadFile(Path("d.txt")), "1 2\r\n");
  EXPECT_EQ(Cli({"export", "-f", Path("t.db"), Path("d.txt")}).status, 0);
  EXPECT_EQ(ReadFile(Path("d.txt")), "Var. 1 Var. 2 \r\n1  2  \r\n");
}

TEST_F(TransferCli, UsageAndFileErrors) {
  Write(Path("d.txt"), "1 2\r\n");
  EXPECT_EQ(Cli({"import", Path("d.txt"), Path("t.txt")}).status, 2);
  const CliResult missing = Cli({"import", Path("falta.txt"), Path("t.db")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err,
            "quorvandelia-cli: Arquivo \"" + Path("falta.txt") + "\": o arquivo não existe.\n");
  EXPECT_EQ(Cli({"export", Path("falta.db"), Path("x.txt")}).status, 1);
  EXPECT_FALSE(fs::exists(Path("x.txt")));
}

}  // namespace
}  // namespace qv
