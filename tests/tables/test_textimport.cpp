// Text import and export: the line cleaner, the token count, the reading of the numbers, and
// the two menu commands through a scripted host (their boxes, dialogs and files).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "table_test_util.h"
#include "tables/comma.h"
#include "tables/datatable.h"
#include "tables/iofault.h"
#include "tables/realtext.h"
#include "tables/textimport.h"

namespace qv {
namespace {

using namespace testing;  // the helpers of table_test_util.h

using Rows = std::vector<std::vector<TValue>>;

// --- the cleaner and the token count -------------------------------------------------------------

TEST(CleanImportLine, CasesOfTheImport) {
  struct Case {
    const char* what;
    std::string line, cleaned;
    std::size_t tokens;
  };
  const std::vector<Case> cases = {
      {"commas, a semicolon, two blanks", "1, 2;3  4", "1 2 3 4", 4},
      {"a word and a decimal comma", "  Rend 12,5 -3.2E2", "e 12 5 -3.2e2", 4},
      {"tabs stay, and do not separate tokens", "1\t2\t3", "1\t2\t3", 1},
      {"a tab between blanks", "1 \t 2", "1 \t 2", 3},
      {"one blank may stay at the end", "7 8   ", "7 8 ", 2},
      {"only letters without e", "abc XYZ", "", 0},
      {"a plus sign and a slash", "+5 1/2", "5 1 2", 3},
      {"the other characters of 33 to 44, 47 and 58 to 126", "!\"#$%&'()*+,/:;<=>?@[\\]^_`{|}~x",
       "", 0},
      {"UTF-8 accents (bytes above 127)", "Peso líquido 3.5", "e 3.5", 2},
      {"DEL and Latin-1 bytes",
       "\x7f"
       "1\xe9"
       "2",
       "1 2", 2},
      {"other control characters stay",
       std::string("1\x01"
                   "2\0"
                   "3",
                   5),
       std::string("1\x01"
                   "2\0"
                   "3",
                   5),
       1},
      {"a blank line", "", "", 0},
      {"only blanks", "    ", "", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CleanImportLine(c.line), c.cleaned) << c.what;
    EXPECT_EQ(CountTokens(c.cleaned), c.tokens) << c.what;
  }
}

TEST(ReadImportNumber, NumbersAndRefusals) {
  struct Case {
    const char* token;
    TImportNumber result;
    double value;
  };
  const double tiny = std::numeric_limits<double>::denorm_min();
  const std::vector<Case> cases = {
      {"12", TImportNumber::Ok, 12},
      {"-3.2e2", TImportNumber::Ok, -320},
      {".5", TImportNumber::Ok, 0.5},
      {"7.", TImportNumber::Ok, 7},
      {"1e-5", TImportNumber::Ok, 1e-5},
      {"4.9e-324", TImportNumber::Ok, tiny},
      {"1e-400", TImportNumber::Ok, 0},
      {"0e999999", TImportNumber::Ok, 0},
      {"1.7976931348623157e308", TImportNumber::Ok, std::numeric_limits<double>::max()},
      {"e", TImportNumber::NotANumber, 0},
      {"1-2", TImportNumber::NotANumber, 0},
      {"-", TImportNumber::NotANumber, 0},
      {".", TImportNumber::NotANumber, 0},
      {"1e", TImportNumber::NotANumber, 0},
      {"--1", TImportNumber::NotANumber, 0},
      {"1.2.3", TImportNumber::NotANumber, 0},
      {"e5", TImportNumber::NotANumber, 0},
      {"inf", TImportNumber::NotANumber, 0},
      {"1e400", TImportNumber::Overflow, 0},
      {"-1.8e308", TImportNumber::Overflow, 0},
      {"123456789e99999999999999", TImportNumber::Overflow, 0},
      {"0.0001e309", TImportNumber::Ok, 1e305},
  };
  for (const Case& c : cases) {
    double v = -1;
    EXPECT_EQ(ReadImportNumber(c.token, v), c.result) << c.token;
    if (c.result == TImportNumber::Ok) {
      EXPECT_EQ(v, c.value) << c.token;
    }
  }
}

// --- the reading of the cleaned text -------------------------------------------------------------

struct ReadCase {
  const char* what;
  std::string text;  // a cleaned text, lines ended by "\n"
  std::size_t columns;
  Rows rows;  // blank where the text ended inside a record
  TImportRecords::TStop stop = TImportRecords::TStop::End;
  std::size_t stopLine = 0;
  std::string stopToken = {};
};

Rows RowsOf(const TImportRecords& r) {
  Rows rows(r.records);
  for (std::size_t k = 0; k < r.records; ++k) {
    for (std::size_t j = 0; j < r.columns; ++j) {
      rows[k].push_back(r.blank[j][k] ? B() : N(r.numbers[j][k]));
    }
  }
  return rows;
}

TEST(ReadImportRecords, RecordsOfTheCleanedText) {
  const std::vector<ReadCase> cases = {
      {"rows of 3, 5 and 4 numbers: row 2 completes record 1 and its rest is skipped",
       "1 2 3\n4 5 6 7 8\n9 10 11 12\n",
       5,
       {{N(1), N(2), N(3), N(4), N(5)}, {N(9), N(10), N(11), N(12), B()}}},
      {"a last line that is complete is kept", "1 2\n3 4\n", 2, {{N(1), N(2)}, {N(3), N(4)}}},
      {"blank lines at the end make no record",
       "1 2\n3 4\n\n\n\n",
       2,
       {{N(1), N(2)}, {N(3), N(4)}}},
      {"a line of tabs at the end makes no record either", "1 2\n\t\t\n", 2, {{N(1), N(2)}}},
      {"blank lines between rows are skipped", "1 2\n\n\n3 4", 2, {{N(1), N(2)}, {N(3), N(4)}}},
      {"tab-separated rows are one token each: the first number of every row",
       "1\t2\t3\n4\t5\t6\n",
       1,
       {{N(1)}, {N(4)}}},
      {"a bad token keeps the records before it, not the one it is in",
       "1 2 3\n4 1-2 6\n7 8 9\n",
       3,
       {{N(1), N(2), N(3)}},
       TImportRecords::TStop::NotANumber,
       2,
       "1-2"},
      {"the word of a heading stops the import on its first line",
       "e 12 5 -3.2e2\n1 2 3 4\n",
       4,
       {},
       TImportRecords::TStop::NotANumber,
       1,
       "e"},
      {"a token is named by its own line, not the record's first",
       "1\n\n2 e\n",
       3,
       {},
       TImportRecords::TStop::NotANumber,
       3,
       "e"},
      {"a number too large stops it too",
       "1 2\n3 1e999\n",
       2,
       {{N(1), N(2)}},
       TImportRecords::TStop::Overflow,
       2,
       "1e999"},
      {"no columns, no records", "\n\n", 0, {}},
  };
  for (const ReadCase& c : cases) {
    const TImportRecords r = ReadImportRecords(c.text, c.columns);
    EXPECT_EQ(RowsOf(r), c.rows) << c.what;
    EXPECT_EQ(r.stop, c.stop) << c.what;
    EXPECT_EQ(r.stopLine, c.stopLine) << c.what;
    EXPECT_EQ(r.stopToken, c.stopToken) << c.what;
  }
  EXPECT_EQ(ReadImportRecords("1 2 3\n4 5 6 7 8\n9 10 11 12\n", 5).missingAtEnd, 1u);
  EXPECT_EQ(ReadImportRecords("1 2\n3 4\n\n", 2).missingAtEnd, 0u);
}

// --- the commands through a scripted host --------------------------------------------------------

// Plays the window: answers from its members, and writes down every box, dialog and display
// change in order.
class ScriptedTransferHost : public TTextTransferHost {
 public:
  bool okCancel = true, yesNo = true;
  std::optional<std::string> source, table, exportFile;
  std::string openOnDialog;  // the table OpenTableDialog opens ("" none)
  std::vector<std::string> log;

  bool WarnOkCancel(const std::string& text) override {
    log.push_back("okcancel: " + text);
    return okCancel;
  }
  bool WarnYesNo(const std::string& text) override {
    log.push_back("yesno: " + text);
    return yesNo;
  }
  void ShowMessage(const std::string& text) override { log.push_back("message: " + text); }
  void ShowError(const std::string& text) override { log.push_back("error: " + text); }
  std::optional<std::string> ChooseImportSource() override {
    log.push_back("source");
    return source;
  }
  std::optional<std::string> ChooseImportTable() override {
    log.push_back("table");
    return table;
  }
  std::optional<std::string> ChooseExportFile() override {
    log.push_back("export file");
    return exportFile;
  }
  void OpenTableDialog(TDataTable& t) override {
    log.push_back("open table");
    if (openOnDialog.empty()) return;
    t.SetName(openOnDialog);
    t.Open();
  }
  void SuspendDisplay() override { log.push_back("suspend"); }
  void ResumeDisplay() override { log.push_back("resume"); }

  // The entries of the log that start with prefix.
  std::vector<std::string> Entries(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& e : log) {
      if (e.rfind(prefix, 0) == 0) found.push_back(e.substr(prefix.size()));
    }
    return found;
  }
};

class TextImport : public ::testing::Test {
 protected:
  std::string Source(const std::string& bytes, const std::string& name = "dados.txt") {
    WriteBytes(dir_ / name, bytes);
    host_.source = dir_ / name;
    host_.table = dir_ / "nova.db";
    return dir_ / name;
  }
  std::string Temp() const { return dir_ / kImportTempName; }
  bool TempExists() const { return IdentityOf(Temp()); }
  static bool IdentityOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
  }
  Rows Records(TDataTable& t) { return AllRows(t); }

  ScratchDir dir_;
  ScriptedTransferHost host_;
  TDataTable table_;
};

TEST_F(TextImport, PrepareImportWritesTheCleanedLinesBesideTheSource) {
  // CR LF, LF and lone CR line ends; a blank line stays an empty line; a last line without end.
  const std::string source = Source("Rend;12,5\r\n\r\n1 2 3\n4\t5\r6  7,8");
  const TPreparedImport p = PrepareImportFile(source);
  EXPECT_FALSE(p.cancelled);
  EXPECT_EQ(p.tempPath, Temp());
  EXPECT_EQ(ReadBytes(Temp()), "e 12 5\n\n1 2 3\n4\t5\n6 7 8\n");
  EXPECT_EQ(p.columns, 3u);

  host_.source.reset();
  EXPECT_TRUE(PrepareImport(host_).cancelled);
}

TEST_F(TextImport, ImportBuildsTheVarTableAndRemovesTheTemporaryFile) {
  Source("1 2 3\r\n4 5 6 7 8\r\n9 10 11 12\r\n");
  table_.SetName(dir_ / "aberta.db");  // an open table is closed first
  table_.DefineFields({{"x", FieldType::Float, 0}});
  table_.CreateTable();
  table_.Open();
  const TImportOutcome o = ImportTextCommand(table_, host_);
  EXPECT_EQ(o.status, TTransferStatus::Done);
  EXPECT_EQ(host_.log,
            (std::vector<std::string>{
                "okcancel: " + std::string(kImportWarning), "suspend", "source", "table", "resume",
                "message: O arquivo \"" + (dir_ / "dados.txt") +
                    "\" terminou antes de completar o último registro (o 2º): o seu último campo "
                    "ficou em branco."}));
  ASSERT_TRUE(table_.IsOpen());
  EXPECT_EQ(table_.RecNo(), 0u);
  EXPECT_EQ(table_.Name(), dir_ / "nova.db");
  EXPECT_EQ(table_.Type(), TableType::Paradox);
  ASSERT_EQ(table_.FieldCount(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(table_.Field(i), (FieldDef{"Var. " + std::to_string(i + 1), FieldType::Float, 0}));
  }
  // The short last row is kept; the value the file does not have is blank, not 0.
  EXPECT_EQ(Records(table_),
            (Rows{{N(1), N(2), N(3), N(4), N(5)}, {N(9), N(10), N(11), N(12), B()}}));
  EXPECT_FALSE(TempExists());
}

TEST_F(TextImport, TheLastRecordIsKeptWithOrWithoutBlankLinesAtTheEnd) {
  for (const std::string ending : {"", "\r\n", "\r\n\r\n\r\n"}) {
    Source("1.5 2\r\n3 -4e1" + ending);
    table_.Close();
    EXPECT_EQ(ImportTextCommand(table_, host_).status, TTransferStatus::Done);
    EXPECT_EQ(Records(table_), (Rows{{N(1.5), N(2)}, {N(3), N(-40)}})) << ending.size();
    EXPECT_TRUE(host_.Entries("message: ").empty());
  }
}

TEST_F(TextImport, ABadTokenKeepsTheRecordsBeforeItAndSaysSo) {
  Source("1 2\r\n3 4\r\n5 1-2\r\n7 8\r\n");
  const TImportOutcome o = ImportTextCommand(table_, host_);
  EXPECT_EQ(o.status, TTransferStatus::Stopped);
  EXPECT_EQ(o.records, 2u);
  EXPECT_EQ(Records(table_), (Rows{{N(1), N(2)}, {N(3), N(4)}}));
  EXPECT_EQ(host_.Entries("error: "),
            std::vector<std::string>{
                "Valor não numérico na linha 3 do arquivo \"" + (dir_ / "dados.txt") +
                "\": \"1-2\".\rA linha foi lida como \"5 1-2\": letras, vírgulas e outros sinais "
                "que não fazem parte de números são lidos como espaços.\rA importação parou "
                "nesse valor; os 2 registros lidos antes dele ficaram na tabela \"" +
                (dir_ / "nova.db") + "\"."});
  EXPECT_EQ(host_.log.back(), "error: " + host_.Entries("error: ").back());
  EXPECT_FALSE(TempExists());
  // The display is back before the message is shown.
  EXPECT_EQ(host_.log[host_.log.size() - 2], "resume");
}

TEST_F(TextImport, ANumberTooLargeIsRefusedNotStoredAsInfinity) {
  Source("1e308 2\r\n1e309 3\r\n");
  EXPECT_EQ(ImportTextCommand(table_, host_).status, TTransferStatus::Stopped);
  EXPECT_EQ(Records(table_), (Rows{{N(1e308), N(2)}}));
  const std::vector<std::string> errors = host_.Entries("error: ");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Número grande demais na linha 2 do arquivo", 0), 0u) << errors[0];
  EXPECT_NE(errors[0].find("\"1e309\" passa do maior valor de um campo real"), std::string::npos);
  EXPECT_NE(errors[0].find("o registro lido antes dele ficou na tabela"), std::string::npos);
}

TEST_F(TextImport, EveryWayOutLeavesNoTemporaryFile) {
  Source("1 2\r\n");
  // Cancel at the first box: nothing is asked further, nothing is closed.
  host_.okCancel = false;
  EXPECT_EQ(ImportTextCommand(table_, host_).status, TTransferStatus::Cancelled);
  EXPECT_EQ(host_.log, std::vector<std::string>{"okcancel: " + std::string(kImportWarning)});
  host_.okCancel = true;

  // No source.
  host_.log.clear();
  host_.source.reset();
  EXPECT_EQ(ImportTextCommand(table_, host_).status, TTransferStatus::Cancelled);
  EXPECT_EQ(host_.Entries("message: "), std::vector<std::string>{kNoFileSelected});
  EXPECT_EQ(host_.log.back(), "resume");

  // No target.
  Source("1 2\r\n");
  host_.table.reset();
  EXPECT_EQ(ImportTextCommand(table_, host_).status, TTransferStatus::Cancelled);
  EXPECT_FALSE(TempExists());
  EXPECT_EQ(dir_.Files(), (std::set<std::string>{"dados.txt"}));

  // A target the table layer refuses (its folder does not exist).
  Source("1 2\r\n");
  host_.table = (dir_.Path() / "falta" / "t.db").string();
  host_.log.clear();
  EXPECT_EQ(ImportTextCommand(table_, host_).status, TTransferStatus::Failed);
  EXPECT_EQ(host_.Entries("error: ").size(), 1u);
  EXPECT_FALSE(table_.IsOpen());
  EXPECT_FALSE(TempExists());

  // A source without a single number: nothing is asked for the table.
  Source("Quantia; Bloco\r\n\r\n");
  host_.log.clear();
  EXPECT_EQ(ImportTextCommand(table_, host_).status, TTransferStatus::Failed);
  EXPECT_TRUE(host_.Entries("table").empty());
  EXPECT_FALSE(TempExists());

  // Too many columns for a Paradox table.
  std::string wide;
  for (int i = 0; i < 300; ++i) wide += "1 ";
  Source(wide + "\r\n");
  EXPECT_EQ(ImportTextCommand(table_, host_).status, TTransferStatus::Failed);
  EXPECT_NE(host_.Entries("error: ").back().find("de 1 a 255 campos"), std::string::npos);
  EXPECT_FALSE(TempExists());
  EXPECT_FALSE(IdentityOf(dir_ / "nova.db"));
  // Every suspend had its resume.
  EXPECT_EQ(host_.Entries("suspend").size(), host_.Entries("resume").size());
}

TEST_F(TextImport, TheTableIsNeverWrittenOverTheSource) {
  const std::string source = Source("1 2\r\n", "dados.db");
  host_.table = source;
  EXPECT_EQ(ImportTextCommand(table_, host_).status, TTransferStatus::Failed);
  EXPECT_EQ(ReadBytes(source), "1 2\r\n");
  EXPECT_FALSE(TempExists());
}

TEST_F(TextImport, AFailedWriteLeavesTheOldTableAsItWas) {
  TDataTable old;
  CreateOpen(old, dir_ / "nova.db", {{"a", FieldType::Float, 0}});
  AppendRow(old, {N(42)});
  old.Close();
  const std::string before = ReadBytes(dir_ / "nova.db");
  std::string text;
  for (int i = 0; i < 2000; ++i) text += std::to_string(i) + " " + std::to_string(i * 2) + "\r\n";
  Source(text);
  detail::SetIoFaultHook(
      [](detail::IoStep s) { return s == detail::IoStep::WriteTemp ? ENOSPC : 0; });
  EXPECT_EQ(ImportTextCommand(table_, host_).status, TTransferStatus::Failed);
  detail::SetIoFaultHook(nullptr);
  EXPECT_TRUE(SameBytes(ReadBytes(dir_ / "nova.db"), before));
  EXPECT_FALSE(TempExists());
}

// --- export --------------------------------------------------------------------------------------

std::string PointLayout(double v) {
  return FormatReal(v);
}

TEST_F(TextImport, ExportWritesNamesThenValuesWithTwoBlanksAndBlanksAsPoints) {
  CreateOpen(table_, dir_ / "t.db",
             {{"gen", FieldType::Float, 0},
              {"nome", FieldType::String, 30},
              {"Rend. (kg/ha)", FieldType::Float, 0}});
  AppendRow(table_, {N(1), S("BRS 264"), N(3288.75)});
  AppendRow(table_, {N(2), B(), B()});
  AppendRow(table_, {N(-0.5), S("Ipê"), N(1e-5)});
  host_.exportFile = dir_ / "t.txt";
  const auto commaLayout = [](double v) {
    std::string s = FormatReal(v);
    for (char& c : s) {
      if (c == '.') c = ',';
    }
    return s;
  };
  const TExportOutcome o = ExportTextCommand(table_, host_, commaLayout);
  EXPECT_EQ(o.status, TTransferStatus::Done);
  EXPECT_EQ(o.records, 3u);
  EXPECT_EQ(ReadBytes(dir_ / "t.txt"),
            "gen nome Rend. (kg/ha) \r\n"
            "1  BRS 264  3288,75  \r\n"
            "2  . . \r\n"
            "-0,5  Ipê  1e-05  \r\n");
  EXPECT_EQ(host_.log, (std::vector<std::string>{"export file", "suspend", "resume"}));
}

TEST_F(TextImport, ExportAsksBeforeReplacingAFileAndNeverWritesOverItsTable) {
  CreateOpen(table_, dir_ / "t.db", {{"x", FieldType::Float, 0}});
  AppendRow(table_, {N(1)});
  WriteBytes(dir_ / "t.txt", "antigo");
  host_.exportFile = dir_ / "t.txt";
  host_.yesNo = false;
  EXPECT_EQ(ExportTextCommand(table_, host_, PointLayout).status, TTransferStatus::Cancelled);
  EXPECT_EQ(host_.Entries("yesno: "), std::vector<std::string>{kFileExistsQuestion});
  EXPECT_EQ(ReadBytes(dir_ / "t.txt"), "antigo");

  host_.yesNo = true;
  EXPECT_EQ(ExportTextCommand(table_, host_, PointLayout).status, TTransferStatus::Done);
  EXPECT_EQ(ReadBytes(dir_ / "t.txt"), "x \r\n1  \r\n");

  const std::string tableBytes = ReadBytes(dir_ / "t.db");
  host_.exportFile = dir_ / "t.db";
  EXPECT_EQ(ExportTextCommand(table_, host_, PointLayout).status, TTransferStatus::Failed);
  EXPECT_TRUE(SameBytes(ReadBytes(dir_ / "t.db"), tableBytes));
}

TEST_F(TextImport, ExportOpensATableWhenNoneIsOpen) {
  TDataTable made;
  CreateOpen(made, dir_ / "m.db", {{"x", FieldType::Float, 0}});
  made.Close();
  host_.exportFile = dir_ / "m.txt";
  EXPECT_EQ(ExportTextCommand(table_, host_, PointLayout).status, TTransferStatus::Cancelled);
  EXPECT_EQ(host_.log, std::vector<std::string>{"open table"});
  host_.openOnDialog = dir_ / "m.db";
  EXPECT_EQ(ExportTextCommand(table_, host_, PointLayout).status, TTransferStatus::Done);
  EXPECT_EQ(ReadBytes(dir_ / "m.txt"), "x \r\n");
}

TEST_F(TextImport, ImportOfAnExportWithItsNamesLineStopsOnTheNames) {
  CreateOpen(table_, dir_ / "t.db", {{"gen", FieldType::Float, 0}, {"yield", FieldType::Float, 0}});
  AppendRow(table_, {N(1), N(6.35)});
  host_.exportFile = dir_ / "t.txt";
  ASSERT_EQ(ExportTextCommand(table_, host_, PointLayout).status, TTransferStatus::Done);
  host_.source = dir_ / "t.txt";
  host_.table = dir_ / "volta.db";
  const TImportOutcome o = ImportTextCommand(table_, host_);
  EXPECT_EQ(o.status, TTransferStatus::Stopped);
  EXPECT_EQ(o.records, 0u);
  EXPECT_EQ(table_.RecordCount(), 0u);
  const std::string error = host_.Entries("error: ").back();
  EXPECT_EQ(error.rfind("Valor não numérico na linha 1 do arquivo \"" + (dir_ / "t.txt") +
                            "\": \"e\".\rA linha foi lida como \"e e \"",
                        0),
            0u)
      << error;
  EXPECT_NE(error.find("nenhum registro foi lido antes dele"), std::string::npos);
}

}  // namespace
}  // namespace qv
