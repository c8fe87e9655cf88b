// CSV files: separators, quoting, encodings, how columns get their types, and the errors a
// user gets for a malformed file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "table_test_util.h"
#include "tables/codepage.h"
#include "tables/datatable.h"

namespace qv {
namespace {

using namespace testing;  // the helpers of table_test_util.h

using Rows = std::vector<std::vector<TValue>>;

struct ReadCase {
  const char* what;
  std::string text;
  std::vector<FieldDef> fields;
  Rows rows;
};

TEST(Csv, ReadsFieldsTypesAndValues) {
  const FieldDef a{"a", FieldType::Float, 0}, b{"b", FieldType::Float, 0};
  const ReadCase cases[] = {
      {"semicolons",
       "gen;env;y\n1;2;3.5\n",
       {{"gen", FieldType::Float, 0}, {"env", FieldType::Float, 0}, {"y", FieldType::Float, 0}},
       {{N(1), N(2), N(3.5)}}},
      {"commas inside quotes do not make the separator",
       "\"x,y\";z\n1;2\n",
       {{"x,y", FieldType::Float, 0}, {"z", FieldType::Float, 0}},
       {{N(1), N(2)}}},
      {"quoted separators, quotes and line breaks",
       "nome,obs\n\"Silva, J.\",\"diz \"\"oi\"\"\nna linha\"\n",
       {{"nome", FieldType::String, 30}, {"obs", FieldType::String, 30}},
       {{S("Silva, J."), S("diz \"oi\"\nna linha")}}},
      {"doubled quotes in several cells of a record",
       "a,b,c\n\"x\"\"1\",\"y\"\"2\"\"\",\"\"\"3\"\n",
       {{"a", FieldType::String, 30}, {"b", FieldType::String, 30}, {"c", FieldType::String, 30}},
       {{S("x\"1"), S("y\"2\""), S("\"3")}}},
      {"CRLF, blank lines, no final line end",
       "a,b\r\n1,2\r\n\r\n3,4",
       {a, b},
       {{N(1), N(2)}, {N(3), N(4)}}},
      {"byte-order mark",
       "\xEF\xBB\xBF"
       "a,b\n1,2\n",
       {a, b},
       {{N(1), N(2)}}},
      {"code page 1252 when not UTF-8",
       "nome\nConcei\xE7\xE3o\n",
       {{"nome", FieldType::String, 30}},
       {{S("Conceição")}}},
      {"short records end in blanks; empty trailing cells are allowed",
       "a,b\n1\n,2,\n",
       {a, b},
       {{N(1), B()}, {B(), N(2)}}},
      {"one word makes a text column",
       "cod,nome\n1,abc\n2,\n,3\n",
       {{"cod", FieldType::Float, 0}, {"nome", FieldType::String, 30}},
       {{N(1), S("abc")}, {N(2), B()}, {B(), S("3")}}},
      {"a text longer than 30 sets the size",
       "nome\n" + std::string(40, 'x') + "\n",
       {{"nome", FieldType::String, 40}},
       {{S(std::string(40, 'x'))}}},
      {"a nameless column", ",b\n1,2\n", {{"Var1", FieldType::Float, 0}, b}, {{N(1), N(2)}}},
      {"blanks around numbers", "a\n  -1.5e2 \n", {a}, {{N(-150)}}},
      // Numbers gone wrong in a column of numbers: it stays a numeric field, and the bad cells
      // read as their text so that an analysis names them.
      {"numbers with a missing-value mark, a decimal comma, one beyond a double",
       "a;b\n1;NA\n2,5;3\n1e309;#N/D\n4;\n",
       {a, b},
       {{N(1), S("NA")}, {S("2,5"), N(3)}, {S("1e309"), S("#N/D")}, {N(4), B()}}},
      {"a word among more numbers", "a\n1\n2\nx\n", {a}, {{N(1)}, {N(2)}, {S("x")}}},
      {"decimal commas only: numbers gone wrong, not text",
       "a;b\n1,5;x\n2,5;y\n",
       {a, {"b", FieldType::String, 30}},
       {{S("1,5"), S("x")}, {S("2,5"), S("y")}}},
      {"as many words as numbers: text",
       "a\n1\nx\n",
       {{"a", FieldType::String, 30}},
       {{S("1")}, {S("x")}}},
      {"missing-value marks alone: text",
       "a\nNA\nNA\n",
       {{"a", FieldType::String, 30}},
       {{S("NA")}, {S("NA")}}},
  };
  ScratchDir dir;
  for (const ReadCase& c : cases) {
    const std::string path = dir / "caso.csv";
    WriteBytes(path, c.text);
    TDataTable t;
    t.SetName(path);
    t.Open();
    EXPECT_EQ(t.Fields(), c.fields) << c.what;
    EXPECT_EQ(AllRows(t), c.rows) << c.what;
  }
}

// Whether a file is UTF-8 decides how all its text reads: a multibyte character or a byte of
// another code page is found at any place after a run of ASCII, and so is a sequence cut short
// by the end of the file.
TEST(Csv, Utf8IsToldFromCodePage1252AnywhereInTheText) {
  for (std::size_t ascii = 0; ascii <= 20; ++ascii) {
    const std::string before(ascii, 'a');
    EXPECT_TRUE(detail::IsValidUtf8(before + "\xC3\xA9" + before)) << ascii;
    EXPECT_TRUE(detail::IsValidUtf8(before + "\xF0\x9F\x98\x80")) << ascii;
    EXPECT_FALSE(detail::IsValidUtf8(before + "\xE9" + before)) << ascii;
    EXPECT_FALSE(detail::IsValidUtf8(before + "\xC3")) << ascii;
    EXPECT_FALSE(detail::IsValidUtf8(before + "\xE0\x80\x80" + before)) << ascii;  // overlong
  }
}

TEST(Csv, MalformedFilesSayWhereAndWhy) {
  ScratchDir dir;
  ExpectTableErrors(dir / "ruim.csv",
                    {
                        {"empty", "", "vazio"},
                        {"only line breaks", "\r\n\n", "vazio"},
                        {"more values than fields", "a,b\n1,2\n1,2,3\n", "linha 3 tem 3 valores"},
                        {"quote never closed", "a\n1\n\"abc\n", "linha 3 abre aspas"},
                        {"text after a closing quote", "a,b\n\"x\"y,2\n", "linha 2"},
                        {"binary", std::string("a\n1\0\n", 5), "bytes nulos"},
                    });
}

// The bad cells of a numeric column: kept as written by a rewrite of the CSV file, refused by
// the binary formats (writing anything in their place would change the data), and named with
// the line of the file they are on.
TEST(Csv, BadCellsOfANumericColumn) {
  ScratchDir dir;
  const std::string path = dir / "ruins.csv";
  WriteBytes(path, "g;y\n1;1.5\n\n2;NA\n3;\"2,5\"\n");
  TDataTable t;
  t.SetName(path);
  t.Open();
  EXPECT_EQ(t.SourceLine(0), 2u);
  EXPECT_EQ(t.SourceLine(1), 4u);  // after the blank line
  EXPECT_EQ(t.SourceLine(2), 5u);
  EXPECT_EQ(t.SourceLine(3), 0u);  // no such record

  t.SaveCopy(dir / "copia.csv");
  EXPECT_EQ(ReadBytes(dir / "copia.csv"), "g,y\n1,1.5\n2,NA\n3,\"2,5\"\n");
  for (const char* binary : {"copia.db", "copia.dbf"}) {
    try {
      t.SaveCopy(dir / binary);
      ADD_FAILURE() << binary << " written with a cell that is not a number";
    } catch (const TableError& e) {
      EXPECT_NE(std::string(e.what()).find("registro 2, campo \"y\": \"NA\" não é um número"),
                std::string::npos)
          << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir / binary)) << binary;
  }

  // A number typed over a bad cell is a number; deleting a record moves the later bad cells up.
  t.GoTo(2);
  t.SetValue(1, N(2.5));
  t.Post();
  t.DeleteRecords({0});
  EXPECT_EQ(AllRows(t), (Rows{{N(2), S("NA")}, {N(3), N(2.5)}}));
  EXPECT_EQ(t.SourceLine(0), 0u);  // the file was written anew: its lines have moved
}

TEST(Csv, RewriteKeepsTheSeparatorAndQuotesWhatNeedsIt) {
  ScratchDir dir;
  const std::string path = dir / "ponto_e_virgula.csv";
  WriteBytes(path, "nome;valor\nA;1.5\n");
  const std::vector<std::string> texts = {"com; separador", "com \"aspas\"", "duas\nlinhas",
                                          " espaço à volta ", "vírgula, aqui"};
  TDataTable t;
  t.SetName(path);
  t.Open();
  for (const std::string& text : texts) AppendRow(t, {S(text), N(0.1)});
  EXPECT_EQ(ReadBytes(path).substr(0, 21), "nome;valor\nA;1.5\n\"com");
  t.Close();
  t.Open();
  Rows expected = {{S("A"), N(1.5)}};
  for (const std::string& text : texts) expected.push_back({S(text), N(0.1)});
  EXPECT_EQ(AllRows(t), expected);
}

}  // namespace
}  // namespace qv
