// CSV files: separators, quoting, encodings, how columns get their types, and the errors a
// user gets for a malformed file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "table_test_util.h"
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
