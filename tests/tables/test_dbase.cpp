// dBase tables: files written by other programs (Debian's shapelib tools, shapelib itself),
// code pages, dates and logicals, what other readers make of our numbers, and damaged files.
#include <gtest/gtest.h>
#include <shapefil.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "table_test_util.h"
#include "tables/datatable.h"

namespace qv {
namespace {

using namespace testing;  // the helpers of table_test_util.h

// The table of tests/data/tables/shapelib_tools.dbf, made by:
//   dbfcreate shapelib_tools -s nome 20 -n prod 10 3 -n bloco 4 0
//   dbfadd shapelib_tools "Conceição" 1.5 3     (the text in code page 1252)
//   dbfadd shapelib_tools "Ipê" "" ""
//   dbfadd shapelib_tools "" -2.25 7
void ExpectToolTable(const std::string& path) {
  TDataTable t;
  t.SetName(path);
  t.Open();
  EXPECT_EQ(t.Fields(), (std::vector<FieldDef>{{"nome", FieldType::String, 20},
                                               {"prod", FieldType::Float, 0},
                                               {"bloco", FieldType::Integer, 0}}));
  EXPECT_EQ(AllRows(t),
            (std::vector<std::vector<TValue>>{
                {S("Conceição"), N(1.5), N(3)}, {S("Ipê"), B(), B()}, {B(), N(-2.25), N(7)}}));
}

TEST(DBase, ReadsTheFixtureWrittenByShapelibTools) {
  ExpectToolTable(TestData("shapelib_tools.dbf"));
}

bool InPath(const char* program) {
  const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

TEST(DBase, ReadsWhatShapelibToolsWriteNow) {
  if (!InPath("dbfcreate") || !InPath("dbfadd")) GTEST_SKIP() << "shapelib tools not installed";
  ScratchDir dir;
  const std::string base = dir / "ferramenta";
  const std::string q = "'" + base + "'";
  // Texts in code page 1252, as the header's language driver byte (87) says.
  const std::string commands[] = {
      "dbfcreate " + q + " -s nome 20 -n prod 10 3 -n bloco 4 0",
      "dbfadd " + q + " 'Concei\xE7\xE3o' 1.5 3",
      "dbfadd " + q + " 'Ip\xEA' '' ''",
      "dbfadd " + q + " '' -2.25 7",
  };
  for (const std::string& c : commands) ASSERT_EQ(std::system(c.c_str()), 0) << c;
  ExpectToolTable(base + ".dbf");
}

// The output of a shapelib tool run on a file.
std::string ToolOutput(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  pclose(pipe);
  return out;
}

// The table manager's field and record operations on a table made by shapelib's tools: it stays
// a dBase table that shapelib reads, every other field keeps its type and every value its value.
TEST(DBase, FieldOperationsOnAToolsTableAreReadByShapelib) {
  ScratchDir dir;
  const std::string path = dir / "ferramenta.dbf";
  WriteBytes(path, ReadBytes(TestData("shapelib_tools.dbf")));
  {
    TDataTable t;
    t.SetName(path);
    t.Open();
    t.DeleteField(1);  // prod
    t.AddFields({{"obs", FieldType::String, 8}});
    t.RenameFields({{1, "BLK"}});
    t.DeleteRecords({1});
    t.GoTo(1);
    t.SetValue(2, S(" ok"));
    t.Post();
  }
  DBFHandle h = DBFOpen(path.c_str(), "rb");
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(DBFGetFieldCount(h), 3);
  ASSERT_EQ(DBFGetRecordCount(h), 2);
  char name[12] = {};
  int width = 0, decimals = 0;
  EXPECT_EQ(DBFGetFieldInfo(h, 0, name, &width, &decimals), FTString);
  EXPECT_STREQ(name, "nome");
  EXPECT_EQ(DBFGetFieldInfo(h, 1, name, &width, &decimals), FTDouble);  // N(20,0): width >= 10
  EXPECT_STREQ(name, "BLK");
  EXPECT_EQ(decimals, 0);
  EXPECT_EQ(DBFGetFieldInfo(h, 2, name, &width, &decimals), FTString);
  EXPECT_EQ(width, 8);
  EXPECT_STREQ(DBFReadStringAttribute(h, 0, 0), "Concei\xE7\xE3o");
  EXPECT_EQ(DBFReadIntegerAttribute(h, 0, 1), 3);
  EXPECT_TRUE(DBFIsAttributeNULL(h, 0, 2));
  EXPECT_TRUE(DBFIsAttributeNULL(h, 1, 0));
  EXPECT_EQ(DBFReadIntegerAttribute(h, 1, 1), 7);
  EXPECT_STREQ(DBFReadStringAttribute(h, 1, 2), "ok");  // shapelib trims what we keep
  DBFClose(h);
  if (InPath("dbfdump")) {
    const std::string dump = ToolOutput("dbfdump '" + path + "'");
    EXPECT_NE(dump.find("BLK"), std::string::npos) << dump;
    EXPECT_NE(dump.find("Concei\xE7\xE3o"), std::string::npos) << dump;
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 3) << dump;  // the titles, 2 records
  }
}

// A table written with shapelib's own calls: the raw text of each value as given.
void WriteWithShapelib(const std::string& path, const char* ldid,
                       const std::vector<std::tuple<const char*, char, int, int>>& fields,
                       const std::vector<std::vector<const char*>>& rows,
                       const std::vector<int>& deleted = {}) {
  DBFHandle h = DBFCreateEx(path.c_str(), ldid);
  ASSERT_NE(h, nullptr);
  for (const auto& [name, type, width, decimals] : fields) {
    ASSERT_GE(DBFAddNativeFieldType(h, name, type, width, decimals), 0);
  }
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t i = 0; i < rows[r].size(); ++i) {
      const int row = static_cast<int>(r), field = static_cast<int>(i);
      if (rows[r][i] == nullptr) {
        DBFWriteNULLAttribute(h, row, field);
      } else {
        DBFWriteAttributeDirectly(h, row, field, const_cast<char*>(rows[r][i]));
      }
    }
  }
  for (const int r : deleted) DBFMarkRecordDeleted(h, r, 1);
  DBFClose(h);
}

TEST(DBase, CodePageFileWinsOverTheHeaderAndGoesWithARewrite) {
  ScratchDir dir;
  const std::string path = dir / "dos.dbf";
  // "Conceição" in DOS code page 850, in a file whose header says 1252.
  WriteWithShapelib(path, "LDID/87", {{"nome", 'C', 20, 0}}, {{"Concei\x87\xC6o"}});
  WriteBytes(dir / "dos.cpg", "850\n");
  TDataTable t;
  t.SetName(path);
  t.Open();
  EXPECT_EQ(t.GetValue(0), S("Conceição"));
  AppendRow(t, {S("Ipê")});
  EXPECT_FALSE(std::filesystem::exists(dir / "dos.cpg"));  // it would contradict the new file
  t.Close();
  t.Open();
  EXPECT_EQ(AllRows(t), (std::vector<std::vector<TValue>>{{S("Conceição")}, {S("Ipê")}}));
}

TEST(DBase, DatesLogicalsAndDeletedRecords) {
  ScratchDir dir;
  const std::string path = dir / "datas.dbf";
  WriteWithShapelib(path, "LDID/87", {{"data", 'D', 8, 0}, {"ok", 'L', 1, 0}, {"n", 'N', 5, 0}},
                    {{"20200101", "T", "1"}, {nullptr, "?", "2"}, {"19991231", "F", "3"}},
                    /*deleted=*/{2});
  TDataTable t;
  t.SetName(path);
  t.Open();
  EXPECT_EQ(t.GetFieldType(0), FieldType::Date);
  EXPECT_EQ(t.GetFieldType(1), FieldType::Logical);
  // 1 January 2020 is day 43831 counted from 30 December 1899.
  const std::vector<std::vector<TValue>> expected = {{N(43831), N(1), N(1)}, {B(), B(), N(2)}};
  EXPECT_EQ(AllRows(t), expected);
  t.First();
  t.SetValue(2, N(10));
  t.Post();
  t.Close();
  t.Open();
  EXPECT_EQ(t.GetFieldType(0), FieldType::Date);
  EXPECT_EQ(AllRows(t),
            (std::vector<std::vector<TValue>>{{N(43831), N(1), N(10)}, {B(), B(), N(2)}}));
}

TEST(DBase, OtherReadersGetOurNumbersExactly) {
  ScratchDir dir;
  const std::string path = dir / "numeros.dbf";
  const double values[] = {0.1,     1.0 / 3.0, 1e-300,   123456789.123456789,
                           -2.5e17, DBL_MAX,   -DBL_MIN, std::numeric_limits<double>::denorm_min()};
  {
    TDataTable t;
    CreateOpen(t, path, {{"y", FieldType::Float, 0}});
    for (const double v : values) AppendRow(t, {N(v)});
  }
  DBFHandle h = DBFOpen(path.c_str(), "rb");
  ASSERT_NE(h, nullptr);
  int width = 0, decimals = 0;
  char name[12] = {};
  EXPECT_EQ(DBFGetFieldInfo(h, 0, name, &width, &decimals), FTDouble);
  EXPECT_EQ(width, 24);
  for (int r = 0; r < static_cast<int>(std::size(values)); ++r) {
    const double read = DBFReadDoubleAttribute(h, r, 0);  // strtod in the C locale
    EXPECT_EQ(std::memcmp(&read, &values[r], sizeof read), 0) << DBFReadStringAttribute(h, r, 0);
  }
  DBFClose(h);
}

TEST(DBase, TextInANumericFieldIsAnErrorNamingIt) {
  ScratchDir dir;
  const std::string path = dir / "texto.dbf";
  WriteWithShapelib(path, "LDID/87", {{"y", 'N', 8, 2}}, {{"1.50"}, {"abc"}});
  TDataTable t;
  t.SetName(path);
  try {
    t.Open();
    FAIL();
  } catch (const TableError& e) {
    EXPECT_NE(std::string(e.what()).find("registro 2, campo \"y\""), std::string::npos) << e.what();
  }
}

// A small valid table to damage.
std::string ValidTable(const ScratchDir& dir) {
  return ValidTableBytes(dir / "valido.dbf", 5, 8);
}

TEST(DBase, DamagedHeadersAreTableErrors) {
  ScratchDir dir;
  const std::string valid = ValidTable(dir);
  auto with = [&](std::size_t at, std::initializer_list<unsigned char> bytes) {
    return Patched(valid, at, bytes);
  };
  ExpectTableErrors(dir / "dano.dbf",
                    {
                        {"empty", "", "vazio"},
                        {"dBase 7", with(0, {0x04}), "dBase 7"},
                        {"unknown signature", with(0, {0x99}), "danificado"},
                        {"huge record count", with(4, {0xFF, 0xFF, 0xFF, 0x7F}), "truncado"},
                        {"header beyond the file", with(8, {0xFF, 0x7F}), "cabeçalho"},
                        {"record length unlike the fields", with(10, {0x30, 0}), "registro"},
                        {"field of width zero", with(32 + 16, {0}), "campo 1"},
                        {"no end of the field list", with(32 + 2 * 32, {'x'}), "campos"},
                    });
}

TEST(DBase, EveryTruncationIsATableError) {
  ScratchDir dir;
  const std::string valid = ValidTable(dir);
  // The last byte is the end-of-file mark, which readers do without.
  for (std::size_t n = 0; n + 1 < valid.size(); ++n) {
    EXPECT_FALSE(OpensOrTableError(dir / "dano.dbf", valid.substr(0, n), nullptr)) << n << " bytes";
  }
}

TEST(DBase, DamagedBytesAndGarbageNeverCrash) {
  ScratchDir dir;
  const std::string valid = ValidTable(dir);
  for (std::size_t at = 0; at < valid.size(); ++at) {
    for (const unsigned char c : {0x00, 0xFF, 0x0D, 0x2A}) {  // 0x2A: "*", a blank number
      std::string b = valid;
      b[at] = static_cast<char>(c);
      OpensOrTableError(dir / "dano.dbf", b, nullptr);
    }
  }
  std::mt19937 random(20240612);
  for (int k = 0; k < 200; ++k) {
    std::string b(random() % 3000, '\0');
    for (char& c : b) c = static_cast<char>(random());
    if (k % 2) b.replace(0, std::min<std::size_t>(b.size(), 32), valid, 0, 32);
    OpensOrTableError(dir / "dano.dbf", b, nullptr);
  }
}

}  // namespace
}  // namespace qv
