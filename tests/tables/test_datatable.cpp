// TDataTable as the analyses and the table manager drive it: the cursor, the edit buffer
// (append, insert, edit, post, cancel), conversions of values by field type, batches, and the file
// commands (type from the extension, creation checks, deletion with companion files).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "table_test_util.h"
#include "tables/datatable.h"

namespace qv {
namespace {

using namespace testing;  // the helpers of table_test_util.h

const std::vector<FieldDef> kFields = {{"gen", FieldType::Float, 0},
                                       {"nome", FieldType::String, 30}};

class DataTableTest : public ::testing::Test {
 protected:
  // A CSV table holding genotypes 1..n named "g1".."gn", left open.
  void Make(TDataTable& t, int n, const std::string& name = "t.csv") {
    CreateOpen(t, dir_ / name, kFields);
    t.BeginBatch();
    for (int i = 1; i <= n; ++i) AppendRow(t, {N(i), S("g" + std::to_string(i))});
    t.EndBatch();
  }
  ScratchDir dir_;
};

TEST_F(DataTableTest, LastAndNextPastTheEndStayOnTheLastRecord) {
  TDataTable t;
  Make(t, 3);
  t.Last();
  EXPECT_TRUE(t.AtEnd());
  EXPECT_EQ(t.RecNo(), 2u);
  EXPECT_EQ(t.GetValue(0), N(3));
  t.First();
  EXPECT_FALSE(t.AtEnd());
  EXPECT_EQ(t.GetValue(0), N(1));
  t.Next();
  t.Next();
  EXPECT_FALSE(t.AtEnd());
  EXPECT_EQ(t.GetValue(1), S("g3"));
  t.Next();
  EXPECT_TRUE(t.AtEnd());
  EXPECT_EQ(t.GetValue(1), S("g3"));
  t.Next();
  EXPECT_TRUE(t.AtEnd());
}

TEST_F(DataTableTest, MovingPostsAChangedRecordAndDropsAnUnchangedOne) {
  TDataTable t;
  Make(t, 2);
  t.Append();
  t.First();  // nothing typed: dropped
  EXPECT_EQ(t.RecordCount(), 2u);
  EXPECT_FALSE(t.IsEditing());

  t.Append();
  t.SetValue(0, N(3));
  t.First();  // typed: posted, and written
  EXPECT_EQ(t.RecordCount(), 3u);
  TDataTable other;
  other.SetName(t.Name());
  other.Open();
  EXPECT_EQ(other.RecordCount(), 3u);

  t.Next();
  t.SetValue(1, S("mudado"));
  t.Last();
  t.First();
  t.Next();
  EXPECT_EQ(t.GetValue(1), S("mudado"));
}

TEST_F(DataTableTest, SetValueOnAnEmptyTableInsertsTheFirstRecord) {
  TDataTable t;
  Make(t, 0);
  EXPECT_TRUE(t.AtEnd());
  t.SetValue(0, N(5));
  EXPECT_TRUE(t.IsEditing());
  t.Post();
  EXPECT_EQ(AllRows(t), (std::vector<std::vector<TValue>>{{N(5), B()}}));
}

// A numeric field read whole: its numbers in record order with a NaN for a blank, in every
// format; nothing for a text field, a field that does not exist, a CSV column with a cell that
// is not a number, or while a record is being edited (then the cursor has the last word).
TEST_F(DataTableTest, NumberColumnHoldsTheNumbersOfAFieldInRecordOrder) {
  for (const char* name : {"t.csv", "t.db", "t.dbf"}) {
    TDataTable t;
    CreateOpen(t, dir_ / name,
               {{"gen", FieldType::Float, 0},
                {"nome", FieldType::String, 30},
                {"y", FieldType::Float, 0}});
    t.BeginBatch();
    AppendRow(t, {N(1), S("a"), N(2.5)});
    AppendRow(t, {N(2), S("b"), B()});
    AppendRow(t, {N(3), B(), N(-1e-300)});
    t.EndBatch();
    t.Close();
    t.Open();
    const std::span<const double> gen = t.NumberColumn(0), y = t.NumberColumn(2);
    ASSERT_EQ(gen.size(), 3u) << name;
    ASSERT_EQ(y.size(), 3u) << name;
    EXPECT_EQ(std::vector<double>(gen.begin(), gen.end()), (std::vector<double>{1, 2, 3})) << name;
    EXPECT_EQ(y[0], 2.5) << name;
    EXPECT_TRUE(std::isnan(y[1])) << name;
    EXPECT_EQ(y[2], -1e-300) << name;
    EXPECT_TRUE(t.NumberColumn(1).empty()) << name;
    EXPECT_TRUE(t.NumberColumn(3).empty()) << name;
    EXPECT_TRUE(t.NumberColumn(-1).empty()) << name;
    t.GoTo(1);
    t.SetValue(2, N(7));
    EXPECT_TRUE(t.NumberColumn(2).empty()) << name;
    t.Post();
    EXPECT_EQ(t.NumberColumn(2)[1], 7) << name;
  }
  WriteBytes(dir_ / "na.csv", "gen,y\n1,2\n2,NA\n");
  TDataTable t;
  t.SetName(dir_ / "na.csv");
  t.Open();
  EXPECT_EQ(t.NumberColumn(0).size(), 2u);
  EXPECT_TRUE(t.NumberColumn(1).empty());
}

TEST_F(DataTableTest, CancelAndCloseDropTheEditBuffer) {
  TDataTable t;
  Make(t, 1);
  t.First();
  t.SetValue(1, S("outro"));
  EXPECT_EQ(t.GetValue(1), S("outro"));  // the buffer is what the record shows
  t.Cancel();
  EXPECT_EQ(t.GetValue(1), S("g1"));

  t.Append();
  t.SetValue(0, N(2));
  t.Close();
  t.Open();
  EXPECT_EQ(t.RecordCount(), 1u);
}

TEST_F(DataTableTest, BatchWritesTheFileOnceAtItsEnd) {
  TDataTable t;
  Make(t, 3);
  const std::string before = ReadBytes(t.Name());
  t.BeginBatch();
  t.BeginBatch();  // nested: only the outer end writes
  AppendRow(t, {N(4), S("g4")});
  t.First();
  t.DeleteRecord();
  t.EndBatch();
  EXPECT_EQ(ReadBytes(t.Name()), before);
  t.EndBatch();
  TDataTable other;
  other.SetName(t.Name());
  other.Open();
  EXPECT_EQ(AllRows(other),
            (std::vector<std::vector<TValue>>{{N(2), S("g2")}, {N(3), S("g3")}, {N(4), S("g4")}}));
}

TEST_F(DataTableTest, DeleteRecordKeepsTheCursorInsideTheTable) {
  TDataTable t;
  Make(t, 2);
  t.Last();
  t.DeleteRecord();
  EXPECT_FALSE(t.AtEnd());
  EXPECT_EQ(t.GetValue(0), N(1));
  t.DeleteRecord();
  EXPECT_TRUE(t.AtEnd());
  EXPECT_THROW(t.DeleteRecord(), TableError);
}

// What each field type makes of what SetValue is given.
TEST_F(DataTableTest, ValuesAreConvertedOrRefusedByFieldType) {
  struct Case {
    int field;
    TValue given;
    bool refused;
    TValue kept;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {0, S(" 2.5 "), false, N(2.5)}, {0, S("2,5"), true, B()},     {0, S("G1"), true, B()},
      {0, S(""), false, B()},         {0, N(inf), true, B()},       {1, N(0.1), false, S("0.1")},
      {1, S(""), false, B()},         {1, S("  "), false, S("  ")}, {2, N(3), false, N(3)},
      {2, N(2.5), true, B()},         {2, S("7"), false, N(7)},     {3, N(5), false, N(1)},
      {3, N(0), false, N(0)},
  };
  TDataTable t;
  CreateOpen(t, dir_ / "tipos.db",
             {{"x", FieldType::Float, 0},
              {"nome", FieldType::String, 30},
              {"n", FieldType::Integer, 0},
              {"ok", FieldType::Logical, 0}});
  for (const Case& c : cases) {
    t.Append();
    if (c.refused) {
      EXPECT_THROW(t.SetValue(c.field, c.given), TableError) << ::testing::PrintToString(c.given);
    } else {
      t.SetValue(c.field, c.given);
      EXPECT_EQ(t.GetValue(c.field), c.kept) << ::testing::PrintToString(c.given);
    }
    t.Cancel();
  }
}

TEST_F(DataTableTest, TypeComesFromTheExtensionInAnyCase) {
  const struct {
    const char* file;
    TableType type;
  } cases[] = {
      {"a.DB", TableType::Paradox}, {"b.Dbf", TableType::DBase}, {"c.CSV", TableType::Csv}};
  for (const auto& c : cases) {
    TDataTable t;
    CreateOpen(t, dir_ / c.file, kFields);
    EXPECT_EQ(t.ResolvedType(), c.type) << c.file;
    AppendRow(t, {N(1), S("um")});
    t.Close();
    t.Open();  // shapelib alone would look for "b.dbf" or "b.DBF"
    EXPECT_EQ(t.RecordCount(), 1u) << c.file;
  }
  TDataTable unknown;
  unknown.SetName(dir_ / "d.txt");
  EXPECT_THROW(unknown.ResolvedType(), TableError);
  unknown.SetType(TableType::Csv);
  unknown.DefineFields(kFields);
  unknown.CreateTable();
  unknown.Open();
  EXPECT_EQ(unknown.FieldCount(), 2);
}

TEST_F(DataTableTest, WrongStateAndMissingFileAreTableErrors) {
  TDataTable t;
  t.SetName(dir_ / "falta.db");
  try {
    t.Open();
    FAIL();
  } catch (const TableError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(dir_ / "falta.db"), std::string::npos) << message;
    EXPECT_NE(message.find("não existe"), std::string::npos) << message;
  }
  EXPECT_FALSE(t.IsOpen());
  EXPECT_THROW(t.First(), TableError);

  Make(t, 1);
  EXPECT_THROW(t.SetName(dir_ / "x.db"), TableError);
  EXPECT_THROW(t.DefineFields(kFields), TableError);
  EXPECT_THROW(t.CreateTable(), TableError);
  EXPECT_THROW(t.DeleteTable(), TableError);
  EXPECT_THROW(t.GetValue(2), TableError);
  EXPECT_THROW(t.FieldName(-1), TableError);
}

TEST_F(DataTableTest, CreateTableRefusesDefinitionsTheFormatCannotHold) {
  const struct {
    const char* file;
    std::vector<FieldDef> defs;
  } cases[] = {
      {"a.csv", {}},
      {"b.csv", {{"gen", FieldType::Float, 0}, {"GEN", FieldType::Float, 0}}},
      {"c.csv", {{"", FieldType::Float, 0}}},
      {"d.db", {{"nome", FieldType::String, 0}}},
      {"e.db", {{"nome", FieldType::String, 256}}},
      {"f.db", {{"um nome de campo comprido demais", FieldType::Float, 0}}},
      {"g.dbf", {{"Produtividade", FieldType::Float, 0}}},
      {"h.db", {{"memo", FieldType::Other, 0}}},
  };
  for (const auto& c : cases) {
    TDataTable t;
    t.SetName(dir_ / c.file);
    t.DefineFields(c.defs);
    EXPECT_THROW(t.CreateTable(), TableError) << c.file;
  }
  EXPECT_TRUE(dir_.Files().empty());
  // Ten characters in code page 1252 fit a dBase name, accents and all.
  TDataTable t;
  CreateOpen(t, dir_ / "ok.dbf", {{"Produção", FieldType::Float, 0}});
  EXPECT_EQ(t.FieldName(0), "Produção");
}

TEST_F(DataTableTest, DeleteTableRemovesTheFileAndItsCompanionsOnly) {
  const struct {
    const char* file;
    std::vector<std::string> companions;
  } cases[] = {
      {"ensaio.db", {"ensaio.PX", "ensaio.mb", "ENSAIO.X02", "ensaio.Y02", "ensaio.VAL"}},
      {"ensaio.dbf", {"ensaio.cpg", "ensaio.DBT"}},
      {"ensaio.csv", {}},
  };
  for (const auto& c : cases) {
    TDataTable t;
    CreateOpen(t, dir_ / c.file, kFields);
    t.Close();
    for (const std::string& f : c.companions) WriteBytes(dir_ / f, "x");
    WriteBytes(dir_ / "ensaio2.px", "x");  // another table's
    WriteBytes(dir_ / "outro.mb", "x");
    t.DeleteTable();
    EXPECT_EQ(dir_.Files(), (std::set<std::string>{"ensaio2.px", "outro.mb"})) << c.file;
    EXPECT_THROW(t.DeleteTable(), TableError);  // nothing left to delete
  }
}

}  // namespace
}  // namespace qv
