// The table manager's operations on an open table, in each format: adding, deleting and
// renaming fields, deleting records, the grid's random access, copies into other files, and the
// in-place write of an edited record.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cfloat>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "table_test_util.h"
#include "tables/datatable.h"
#include "tables/fieldnames.h"

namespace qv {
namespace {

using namespace testing;  // the helpers of table_test_util.h

using Rows = std::vector<std::vector<TValue>>;

ino_t InodeOf(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_ino;
}

// Every field type the program writes, with a value of each and blanks among them.
const std::vector<FieldDef> kTypedFields = {
    {"gen", FieldType::Float, 0},        {"nome", FieldType::String, 12},
    {"bloco", FieldType::Integer, 0},    {"plantio", FieldType::Date, 0},
    {"irrigado", FieldType::Logical, 0}, {"y", FieldType::Float, 0}};

Rows TypedRows(int n) {
  Rows rows;
  for (int i = 0; i < n; ++i) {
    rows.push_back({N(i + 1), i % 3 == 0 ? B() : S("Ipê " + std::to_string(i)), N(i % 4),
                    i % 5 == 1 ? B() : N(43831 + i), N(i % 2), N(i / 3.0 - 2.0)});
  }
  return rows;
}

class TableOps : public ::testing::TestWithParam<const char*> {
 protected:
  std::string File(const std::string& stem = "ensaio") const { return dir_ / (stem + GetParam()); }
  bool Csv() const { return std::string(GetParam()) == ".csv"; }

  // A table of kTypedFields holding TypedRows(n), reopened: the fields and records as the
  // format keeps them (a CSV file keeps no types but text and numbers).
  void Make(TDataTable& t, int n = 10) {
    CreateOpen(t, File(), kTypedFields);
    t.BeginBatch();
    for (const auto& row : TypedRows(n)) AppendRow(t, row);
    t.EndBatch();
    t.Close();
    t.Open();
    fields_ = t.Fields();
    rows_ = AllRows(t);
  }

  // What a fresh table object reads from the file now.
  void ExpectFile(const std::vector<FieldDef>& fields, const Rows& rows) const {
    TDataTable other;
    other.SetName(File());
    other.Open();
    EXPECT_EQ(other.Fields(), fields);
    EXPECT_EQ(AllRows(other), rows);
  }

  ScratchDir dir_;
  std::vector<FieldDef> fields_;
  Rows rows_;
};

TEST_P(TableOps, AddedFieldsAreBlankAfterTheOthersWhichKeepTypesAndValues) {
  TDataTable t;
  Make(t);
  t.AddFields({{"altura", FieldType::Float, 0}, {"obs", FieldType::String, 20}});
  std::vector<FieldDef> fields = fields_;
  fields.push_back({"altura", FieldType::Float, 0});
  // A CSV file says nothing of the type of a column without values.
  fields.push_back(Csv() ? FieldDef{"obs", FieldType::Float, 0}
                         : FieldDef{"obs", FieldType::String, 20});
  Rows rows = rows_;
  for (auto& row : rows) row.insert(row.end(), {B(), B()});
  EXPECT_EQ(AllRows(t), rows);
  ExpectFile(fields, rows);
  // The new fields take values like any other.
  t.GoTo(2);
  t.SetValue(7, S("ok"));
  t.Post();
  rows[2][7] = S("ok");
  if (Csv()) fields.back() = {"obs", FieldType::String, 30};
  ExpectFile(fields, rows);
}

// Deleting a field keeps the format of the file and every other field's own type: an integer
// stays an integer and a date a date.
TEST_P(TableOps, DeletingAFieldLeavesTheOthersAndTheFormatAsTheyWere) {
  for (int removed = 0; removed < static_cast<int>(kTypedFields.size()); ++removed) {
    TDataTable t;
    Make(t);
    t.DeleteField(removed);
    std::vector<FieldDef> fields = fields_;
    fields.erase(fields.begin() + removed);
    Rows rows = rows_;
    for (auto& row : rows) row.erase(row.begin() + removed);
    EXPECT_EQ(t.Fields(), fields) << removed;
    ExpectFile(fields, rows);
    const std::string bytes = ReadBytes(File());
    const char expected = std::string(GetParam()) == ".dbf" ? '\x03' : '\x02';
    const std::size_t at = std::string(GetParam()) == ".dbf" ? 0 : 4;
    if (!Csv()) {
      EXPECT_EQ(bytes[at], expected) << "still dBase III, or still a Paradox table";
    }
    t.Close();
    std::filesystem::remove(File());
  }
}

TEST_P(TableOps, DeletingSeveralFieldsAtOnceButNeverAll) {
  TDataTable t;
  Make(t);
  t.DeleteFields({4, 1, 4});
  std::vector<FieldDef> fields = fields_;
  fields.erase(fields.begin() + 4);
  fields.erase(fields.begin() + 1);
  Rows rows = rows_;
  for (auto& row : rows) {
    row.erase(row.begin() + 4);
    row.erase(row.begin() + 1);
  }
  ExpectFile(fields, rows);
  const std::string before = ReadBytes(File());
  EXPECT_THROW(t.DeleteFields({0, 1, 2, 3}), TableError);
  EXPECT_THROW(t.DeleteField(4), TableError);
  EXPECT_TRUE(SameBytes(ReadBytes(File()), before));
  EXPECT_EQ(t.Fields(), fields);
}

// The renames of the dialog go in together: two fields can swap names through a third.
TEST_P(TableOps, StagedRenamesAreAppliedInOneRewrite) {
  TDataTable t;
  Make(t);
  t.RenameFields({{0, "tmp"}, {5, "gen"}, {0, "y"}, {2, "Bloco"}});
  std::vector<FieldDef> fields = fields_;
  fields[0].name = "y";
  fields[5].name = "gen";
  fields[2].name = "Bloco";
  ExpectFile(fields, rows_);
}

TEST_P(TableOps, RefusedRenameLeavesTheFileAsItWas) {
  TDataTable t;
  Make(t);
  // Field 1 gives up "nome" first, so field 0 may take it; "bloco" stays taken.
  t.RenameFields({{1, "livre"}, {0, "nome"}});
  t.RenameFields({{0, "gen"}, {1, "nome"}});
  const std::string before = ReadBytes(File());
  for (const std::string& name : {std::string("bloco"), std::string("BLOCO"), std::string("a(b)"),
                                  std::string(""), std::string(" x")}) {
    EXPECT_THROW(t.RenameFields({{1, "livre"}, {0, name}}), TableError) << name;
    EXPECT_TRUE(SameBytes(ReadBytes(File()), before)) << name;
    EXPECT_EQ(t.Fields(), fields_) << name;
  }
}

TEST_P(TableOps, DeletingRecordsBySetKeepsTheOthersInOrder) {
  TDataTable t;
  Make(t);
  t.GoTo(5);
  t.SetValue(0, N(60));  // an edit of a record that stays is posted first
  t.DeleteRecords({9, 0, 3, 3});
  Rows rows = rows_;
  rows[5][0] = N(60);
  for (const int r : {9, 3, 0}) rows.erase(rows.begin() + r);
  EXPECT_EQ(AllRows(t), rows);
  ExpectFile(fields_, rows);
  t.DeleteRecords({1});
  EXPECT_EQ(t.RecNo(), 1u);  // on the record after the deleted one
  EXPECT_EQ(t.GetValue(0), rows[2][0]);

  const std::string before = ReadBytes(File());
  EXPECT_THROW(t.DeleteRecords({2, 6}), TableError);  // only 6 records are left
  EXPECT_TRUE(SameBytes(ReadBytes(File()), before));
  t.GoTo(0);
  t.SetValue(0, N(-1));
  t.DeleteRecords({0});  // the edited record itself: its edit is dropped with it
  EXPECT_FALSE(t.IsEditing());
  EXPECT_EQ(t.RecordCount(), 5u);
}

TEST_P(TableOps, RandomAccessAndTheRowsAGridShowsWhileEditing) {
  TDataTable t;
  Make(t, 4);
  for (std::size_t r = 0; r < 4; ++r) {
    for (int f = 0; f < t.FieldCount(); ++f) {
      EXPECT_EQ(t.ValueAt(r, f), rows_[r][static_cast<std::size_t>(f)]);
      EXPECT_EQ(t.IsBlankAt(r, f), rows_[r][static_cast<std::size_t>(f)].IsBlank());
    }
  }
  EXPECT_THROW(t.ValueAt(4, 0), TableError);
  EXPECT_THROW(t.ValueAt(0, 6), TableError);

  t.GoTo(2);
  t.SetValue(0, N(30));
  EXPECT_EQ(t.ValueAt(2, 0), rows_[2][0]);  // stored value
  EXPECT_EQ(t.DisplayValue(2, 0), N(30));   // what the grid shows
  t.Cancel();

  t.GoTo(1);
  t.Insert();
  EXPECT_TRUE(t.IsInserting());
  EXPECT_EQ(t.DisplayRowCount(), 5u);
  t.SetValue(0, N(1.5));
  EXPECT_EQ(t.DisplayValue(0, 0), rows_[0][0]);
  EXPECT_EQ(t.DisplayValue(1, 0), N(1.5));
  EXPECT_EQ(t.DisplayValue(2, 0), rows_[1][0]);
  EXPECT_EQ(t.DisplayValue(4, 0), rows_[3][0]);
  t.GoTo(4);  // posts the new record: the old last one is record 4 now
  EXPECT_EQ(t.RecNo(), 4u);
  EXPECT_EQ(t.GetValue(0), rows_[3][0]);
  EXPECT_EQ(t.ValueAt(1, 0), N(1.5));
  EXPECT_THROW(t.GoTo(5), TableError);
}

// The formats of fixed-size records (a CSV table is always rewritten whole).
class InPlace : public TableOps {};

// An edited record of Paradox and dBase tables is written over its old bytes (the file is the
// same file afterwards), and those bytes are what a whole rewrite would write.
TEST_P(InPlace, AnEditedRecordIsWrittenInPlaceAsTheWholeRewriteWouldWriteIt) {
  TDataTable t;
  Make(t, 300);
  const ino_t inode = InodeOf(File());
  t.GoTo(150);
  t.SetValue(1, S("  Jaú"));
  t.SetValue(3, B());
  t.SetValue(5, N(-DBL_MIN));
  t.Post();
  t.GoTo(299);
  t.SetValue(0, N(1e300));
  t.Post();
  EXPECT_EQ(InodeOf(File()), inode);
  Rows rows = rows_;
  rows[150][1] = S("  Jaú");
  rows[150][3] = B();
  rows[150][5] = N(-DBL_MIN);
  rows[299][0] = N(1e300);
  ExpectFile(fields_, rows);

  t.SaveCopy(File("inteira"));
  std::string inPlace = ReadBytes(File()), whole = ReadBytes(File("inteira"));
  // A Paradox header holds the time of the write and the table's name; the records follow it.
  const std::size_t header =
      std::string(GetParam()) == ".db"
          ? static_cast<unsigned char>(inPlace[2]) + 256u * static_cast<unsigned char>(inPlace[3])
          : 0;
  EXPECT_TRUE(SameBytes(inPlace.substr(header), whole.substr(header)));
}

// A file changed by someone else since it was read is never written into in place.
TEST_P(TableOps, AFileChangedSinceItWasReadIsRewrittenWhole) {
  TDataTable t;
  Make(t);
  {
    TDataTable other;
    other.SetName(File());
    other.Open();
    other.DeleteRecords({0, 1, 2});
  }
  t.GoTo(8);
  t.SetValue(0, N(80));
  t.Post();
  Rows rows = rows_;
  rows[8][0] = N(80);
  ExpectFile(fields_, rows);  // the table as this object holds it, whole
}

// Copies into every format keep every value to the last bit, and never go over the table
// itself, whatever the spelling of its name.
TEST_P(TableOps, SaveCopyIntoEachFormatKeepsTheValuesExactly) {
  const std::vector<TValue> numbers = {N(0.1),     N(1.0 / 3.0), N(1e-300), N(-2.5e17),
                                       N(DBL_MAX), N(-DBL_MIN),  B(),       N(9007199254740993.0)};
  TDataTable t;
  CreateOpen(t, File(), {{"y", FieldType::Float, 0}, {"nome", FieldType::String, 30}});
  t.BeginBatch();
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    AppendRow(t, {numbers[i], i % 2 ? S("São Tomé " + std::to_string(i)) : B()});
  }
  t.EndBatch();
  const Rows rows = AllRows(t);
  for (const char* ext : {".db", ".dbf", ".csv"}) {
    const std::string copy = dir_ / (std::string("copia") + ext);
    t.SaveCopy(copy);
    TDataTable c;
    c.SetName(copy);
    c.Open();
    const Rows read = AllRows(c);
    ASSERT_EQ(read.size(), rows.size()) << ext;
    for (std::size_t r = 0; r < rows.size(); ++r) {
      EXPECT_EQ(read[r][1], rows[r][1]) << ext;
      if (rows[r][0].IsNumber()) {
        const double a = read[r][0].AsNumber(), e = rows[r][0].AsNumber();
        EXPECT_EQ(std::memcmp(&a, &e, sizeof a), 0) << ext << " record " << r;
      } else {
        EXPECT_TRUE(read[r][0].IsBlank()) << ext;
      }
    }
  }
}

TEST_P(TableOps, SaveCopyRefusesTheTableItselfAndItsFiles) {
  TDataTable t;
  Make(t);
  const std::string before = ReadBytes(File());
  std::filesystem::create_symlink(File(), dir_ / "ligacao.db");
  std::filesystem::create_hard_link(File(), dir_ / "outro.dbf");
  const std::string name = std::filesystem::path(File()).filename().string();
  std::vector<std::string> spellings = {File(), dir_ / ("./" + name), dir_ / "ligacao.db",
                                        dir_ / "outro.dbf"};
  if (!Csv()) {
    const std::string companion =
        dir_ / (std::string("ensaio") + (std::string(GetParam()) == ".db" ? ".PX" : ".cpg"));
    WriteBytes(companion, "x");
    spellings.push_back(companion);
  }
  for (const std::string& path : spellings) {
    EXPECT_TRUE(t.IsFileOfTable(path)) << path;
    EXPECT_THROW(t.SaveCopy(path, TableType::Csv), TableError) << path;
    EXPECT_TRUE(SameBytes(ReadBytes(File()), before)) << path;
  }
  EXPECT_FALSE(t.IsFileOfTable(dir_ / "nada.db"));
}

std::string FormatName(const ::testing::TestParamInfo<const char*>& info) {
  return std::string(info.param + 1);
}

// A table created with its records, as the import and the trial conversion write one: the
// records as appending them one by one would give, or, for columns that do not fit the fields,
// no file at all.
TEST_P(TableOps, CreateTableWithItsRecordsInOneWrite) {
  TDataTable t;
  t.SetName(File());
  t.DefineFields({{"gen", FieldType::Float, 0}, {"nome", FieldType::String, 12}});
  TColumnValues numbers, texts;
  numbers.numbers = {1, 2.5, 0};
  numbers.blank = {false, false, true};
  texts.texts = {"BRS 264", "", "Ipê"};
  t.CreateTable({numbers, texts});
  t.Open();
  EXPECT_EQ(AllRows(t), (Rows{{N(1), S("BRS 264")}, {N(2.5), B()}, {B(), S("Ipê")}}));
  t.Close();

  const std::string before = ReadBytes(File());
  TColumnValues shorter = texts, infinite = numbers;
  shorter.texts.pop_back();
  infinite.numbers[1] = std::numeric_limits<double>::infinity();
  EXPECT_THROW(t.CreateTable({numbers, shorter}), TableError);
  EXPECT_THROW(t.CreateTable({infinite, texts}), TableError);
  EXPECT_THROW(t.CreateTable({numbers}), TableError);
  EXPECT_TRUE(SameBytes(ReadBytes(File()), before));
}

INSTANTIATE_TEST_SUITE_P(Formats, TableOps, ::testing::Values(".db", ".dbf", ".csv"), FormatName);
INSTANTIATE_TEST_SUITE_P(Formats, InPlace, ::testing::Values(".db", ".dbf"), FormatName);

// A value the target cannot hold (a text outside code page 1252 in a dBase or Paradox file)
// leaves the target as it was, whole: it is never first created empty.
TEST(SaveCopy, ARefusedValueLeavesTheTargetAsItWas) {
  ScratchDir dir;
  TDataTable t;
  CreateOpen(t, dir / "origem.csv", {{"nome", FieldType::String, 30}});
  AppendRow(t, {S("漢字")});
  for (const char* ext : {".db", ".dbf"}) {
    const std::string target = dir / (std::string("alvo") + ext);
    {
      TDataTable old;
      CreateOpen(old, target, {{"antigo", FieldType::Float, 0}});
      AppendRow(old, {N(1)});
    }
    const std::string before = ReadBytes(target);
    EXPECT_THROW(t.SaveCopy(target), TableError) << ext;
    EXPECT_TRUE(SameBytes(ReadBytes(target), before)) << ext;
  }
}

// dBase keeps a text's leading blanks; its trailing blanks are the field's padding, so a text of
// blanks only is a blank, and the table says so as soon as the value is set.
TEST(DBaseText, LeadingBlanksAreKeptAndTrailingOnesDroppedAtOnce) {
  ScratchDir dir;
  TDataTable t;
  CreateOpen(t, dir / "texto.dbf", {{"nome", FieldType::String, 10}});
  for (const char* text : {"  recuado", " ", "fim  ", "a b"}) {
    t.Append();
    t.SetValue(0, S(text));
    t.Post();
  }
  const Rows expected = {{S("  recuado")}, {B()}, {S("fim")}, {S("a b")}};
  EXPECT_EQ(AllRows(t), expected);
  t.Close();
  t.Open();
  EXPECT_EQ(AllRows(t), expected);
}

// A table its owner made read-only is never replaced, though the folder would let a rename do
// it. Run as an ordinary user (root may write anything).
TEST(SpecialFiles, AReadOnlyTableIsNeverReplaced) {
  ScratchDir dir;
  const std::string path = dir / "protegida.dbf";
  {
    TDataTable t;
    CreateOpen(t, path, {{"y", FieldType::Float, 0}});
    AppendRow(t, {N(1)});
  }
  const std::string before = ReadBytes(path);
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
  std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(4);
    int refused = 0;
    TDataTable t;
    t.SetName(path);
    t.Open();
    const std::vector<std::function<void()>> changes = {
        [&] {
          t.First();
          t.SetValue(0, N(2));
          t.Post();
        },
        [&] {
          t.AddFields({{"x", FieldType::Float, 0}});
        },
        [&] { t.DeleteRecords({0}); },
    };
    for (const auto& change : changes) {
      try {
        change();
      } catch (const TableError& e) {
        if (std::string(e.what()).find("somente leitura") != std::string::npos) ++refused;
      }
      t.Cancel();
    }
    _exit(refused == 3 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(SameBytes(ReadBytes(path), before));
}

// A FIFO (or any file that is not a regular file) given as a table is refused at once: opening
// a FIFO for reading would wait for a writer forever.
TEST(SpecialFiles, AFifoIsRefusedWithoutBlocking) {
  ScratchDir dir;
  for (const char* name : {"fila.db", "fila.dbf", "fila.csv"}) {
    const std::string fifo = dir / name;
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      alarm(10);  // a regression blocks: the alarm ends the child instead
      TDataTable t;
      t.SetName(fifo);
      try {
        t.Open();
      } catch (const TableError& e) {
        _exit(std::string(e.what()).find("não é um arquivo comum") != std::string::npos ? 0 : 2);
      }
      _exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name << " " << status;
  }
  TDataTable t;
  t.SetName(dir / "pasta.db");
  std::filesystem::create_directory(dir / "pasta.db");
  EXPECT_THROW(t.Open(), TableError);
  t.DefineFields({{"y", FieldType::Float, 0}});
  EXPECT_THROW(t.CreateTable(), TableError);  // never renamed over a directory
  EXPECT_TRUE(std::filesystem::is_directory(dir / "pasta.db"));
}

}  // namespace
}  // namespace qv
