// What goes into a table file comes back out of it, in each of the three formats: fields,
// types, values to the last bit, blanks, record order and accented text; and a write that
// fails (a value the format refuses, a full disk) leaves the old file as it was.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "table_test_util.h"
#include "tables/datatable.h"

namespace qv {
namespace {

using namespace testing;  // the helpers of table_test_util.h

struct Format {
  const char* name;
  const char* extension;
};

const Format kFormats[] = {{"Paradox", ".db"}, {"dBase", ".dbf"}, {"CSV", ".csv"}};
// The formats that keep text in a single-byte code page, in fields of a fixed size.
const Format kSizedTextFormats[] = {{"Paradox", ".db"}, {"dBase", ".dbf"}};

class RoundTrip : public ::testing::TestWithParam<Format> {
 protected:
  std::string File(const std::string& stem = "ensaio") const {
    return dir_ / (stem + GetParam().extension);
  }
  const std::vector<FieldDef> fields_ = {
      {"gen", FieldType::Float, 0},
      {"Produção", FieldType::Float, 0},
      {"nome", FieldType::String, 30},
  };
  ScratchDir dir_;
};

// Doubles that need all 17 significant digits, extremes of the range, and a blank among them.
const std::vector<TValue> kNumbers = {N(0.1),
                                      N(1.0 / 3.0),
                                      N(1e-300),
                                      N(123456789.123456789),
                                      N(-2.5e17),
                                      N(DBL_MAX),
                                      N(-DBL_MIN),
                                      B(),
                                      N(std::numeric_limits<double>::denorm_min()),
                                      N(0.0),
                                      N(-1.2345678901234567e-5),
                                      N(9007199254740993.0),
                                      N(42.0)};
const std::vector<std::string> kTexts = {"Conceição", "Ipê-amarelo",  "", "Açaí à beira",
                                         "São Tomé",  "ÁÉÍÓÚ âêô ãõ", "x"};

void ExpectSameValue(const TValue& actual, const TValue& expected, std::size_t row, int field) {
  ASSERT_EQ(actual.IsBlank(), expected.IsBlank()) << "record " << row << " field " << field;
  if (expected.IsNumber()) {
    ASSERT_TRUE(actual.IsNumber()) << "record " << row << " field " << field;
    const double a = actual.AsNumber(), e = expected.AsNumber();
    EXPECT_EQ(std::memcmp(&a, &e, sizeof a), 0)
        << "record " << row << " field " << field << ": " << a << " != " << e;
  } else if (expected.IsText()) {
    EXPECT_EQ(actual, expected) << "record " << row << " field " << field;
  }
}

TEST_P(RoundTrip, FieldsTypesValuesBlanksOrderAndAccents) {
  std::vector<std::vector<TValue>> rows;
  for (std::size_t i = 0; i < kNumbers.size(); ++i) {
    const std::string& text = kTexts[i % kTexts.size()];
    rows.push_back({N(static_cast<double>(i + 1)), kNumbers[i], text.empty() ? B() : S(text)});
  }
  rows.push_back({B(), B(), B()});  // a record blank throughout
  {
    TDataTable t;
    CreateOpen(t, File(), fields_);
    t.BeginBatch();
    for (const auto& row : rows) AppendRow(t, row);
    t.EndBatch();
  }
  TDataTable t;
  t.SetName(File());
  t.Open();
  EXPECT_EQ(t.Fields(), fields_);
  ASSERT_EQ(t.RecordCount(), rows.size());
  const auto read = AllRows(t);
  ASSERT_EQ(read.size(), rows.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (int i = 0; i < 3; ++i) ExpectSameValue(read[r][i], rows[r][i], r, i);
  }
}

TEST_P(RoundTrip, EveryPostAndDeleteReachesTheFile) {
  TDataTable t;
  CreateOpen(t, File(), fields_);
  AppendRow(t, {N(1), N(10.5), S("um")});
  AppendRow(t, {N(2), N(20.5), S("dois")});
  AppendRow(t, {N(3), N(30.5), S("três")});

  t.First();
  t.Next();  // on "dois"
  t.Insert();
  t.SetValue(0, N(9));
  t.SetValue(2, S("nove"));
  t.Post();  // before "dois"
  t.First();
  t.SetValue(1, N(-1.25));  // editing the browsed record
  t.Post();
  t.Last();
  t.DeleteRecord();  // "três"
  t.Append();
  t.SetValue(0, N(7));
  t.Cancel();  // never stored

  // Another table object sees the file as the last change left it.
  TDataTable other;
  other.SetName(File());
  other.Open();
  const std::vector<std::vector<TValue>> expected = {
      {N(1), N(-1.25), S("um")}, {N(9), B(), S("nove")}, {N(2), N(20.5), S("dois")}};
  EXPECT_EQ(AllRows(other), expected);
  EXPECT_EQ(AllRows(t), expected);
}

TEST_P(RoundTrip, RenameFieldRewritesTheFile) {
  TDataTable t;
  CreateOpen(t, File(), fields_);
  AppendRow(t, {N(1), N(2.5), S("Jaú")});
  t.RenameField(2, "Cultivar");
  t.Close();
  t.Open();
  EXPECT_EQ(t.FieldName(2), "Cultivar");
  EXPECT_EQ(AllRows(t), (std::vector<std::vector<TValue>>{{N(1), N(2.5), S("Jaú")}}));
}

TEST_P(RoundTrip, EmptyTableKeepsItsFieldsAndIsAtEnd) {
  TDataTable t;
  CreateOpen(t, File(), fields_);
  t.Close();
  t.Open();
  EXPECT_EQ(t.Fields(), fields_);
  EXPECT_EQ(t.RecordCount(), 0u);
  EXPECT_TRUE(t.AtEnd());
  t.First();
  EXPECT_TRUE(t.AtEnd());
  EXPECT_TRUE(t.IsBlank(0));
}

class SizedText : public RoundTrip {};

// A table of 50 records with one the format cannot store put in the middle: the new file
// fails halfway through, and nothing of it may show.
TEST_P(SizedText, RefusedValueLeavesFileAndRecordsAsTheyWere) {
  TDataTable t;
  CreateOpen(t, File(), fields_);
  t.BeginBatch();
  for (int i = 0; i < 50; ++i) AppendRow(t, {N(i), N(i * 0.5), S("linha " + std::to_string(i))});
  t.EndBatch();
  const std::string before = ReadBytes(File());
  const auto filesBefore = dir_.Files();
  const auto rowsBefore = AllRows(t);

  const std::string format = GetParam().name;
  const struct {
    std::string text, cause;
  } refused[] = {
      {"漢字 não cabe em 1252",
       "tem caracteres que não existem no código de página 1252 das tabelas " + format + "."},
      {std::string(31, 'a'), "tem 31 caracteres e o campo aceita no máximo 30."},
      // "Ê" and a no-break space are, in 1252, the bytes of the UTF-8 "ʠ": the file would be
      // read back as that.
      {"Ê\u00a0", "seria lido como \"ʠ\" no código de página da tabela " + format + "."},
  };
  for (const auto& [text, cause] : refused) {
    t.First();
    for (int i = 0; i < 25; ++i) t.Next();
    t.Insert();
    t.SetValue(0, N(99));
    t.SetValue(2, S(text));
    try {
      t.Post();
      FAIL() << "stored \"" << text << "\"";
    } catch (const TableError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(File()), std::string::npos) << message;
      EXPECT_NE(message.find("registro 26"), std::string::npos) << message;
      EXPECT_NE(message.find("\"nome\""), std::string::npos) << message;
      EXPECT_NE(message.find(cause), std::string::npos) << message;
    }
    EXPECT_TRUE(t.IsEditing());
    EXPECT_EQ(ReadBytes(File()), before);
    EXPECT_EQ(dir_.Files(), filesBefore);  // no temporary left behind
    t.Cancel();
    EXPECT_EQ(AllRows(t), rowsBefore);
  }
}

// Field names are stored in code page 1252, in at most 25 bytes (Paradox) or 10 (dBase).
TEST_P(SizedText, FieldNamesTheFormatCannotHoldAreRefused) {
  const std::string format = GetParam().name;
  const std::string longest = format == "Paradox" ? std::string(25, 'p') : std::string(10, 'p');
  const struct {
    std::string name, cause;
  } cases[] = {
      {"漢字", "não pode ser gravado numa tabela " + format +
                   " (vazio ou com caracteres fora do código de página 1252)."},
      {longest + "x", "é longo demais para uma tabela " + format + " (no máximo " +
                          std::to_string(longest.size()) + " caracteres)."},
      {"pÊ\u00a0", "não pode ser gravado numa tabela " + format +
                        ": no código de página da tabela ele seria lido como \"pʠ\"."},
  };
  for (const auto& [name, cause] : cases) {
    TDataTable t;
    t.SetName(File());
    t.DefineFields({{"gen", FieldType::Float, 0}, {name, FieldType::Float, 0}});
    try {
      t.CreateTable();
      FAIL() << "created a field \"" << name << "\"";
    } catch (const TableError& e) {
      EXPECT_NE(std::string(e.what()).find(cause), std::string::npos) << e.what();
    }
    EXPECT_TRUE(dir_.Files().empty());
  }
  TDataTable t;
  CreateOpen(t, File(), {{"gen", FieldType::Float, 0}, {longest, FieldType::Float, 0}});
  EXPECT_EQ(t.FieldName(1), longest);  // the longest name the format holds is kept whole
}

TEST_P(RoundTrip, FullDiskLeavesOldFileByteIdentical) {
  TDataTable t;
  CreateOpen(t, File(), fields_);
  t.BeginBatch();
  for (int i = 0; i < 3000; ++i) AppendRow(t, {N(i), N(i / 7.0), S("Conceição")});
  t.EndBatch();
  const std::string before = ReadBytes(File());
  const auto filesBefore = dir_.Files();

  t.Append();
  t.SetValue(0, N(3000));
  {
    // The new file, which is larger, cannot reach the old one's size.
    const FileSizeLimit limit(before.size() - 1);
    EXPECT_THROW(t.Post(), TableError);
  }
  EXPECT_EQ(ReadBytes(File()), before);
  EXPECT_EQ(dir_.Files(), filesBefore);
  EXPECT_EQ(t.RecordCount(), 3000u);

  t.Post();  // the record is still in the edit buffer; with room it goes in
  TDataTable other;
  other.SetName(File());
  other.Open();
  EXPECT_EQ(other.RecordCount(), 3001u);
}

std::string FormatName(const ::testing::TestParamInfo<Format>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, ::testing::ValuesIn(kFormats), FormatName);
INSTANTIATE_TEST_SUITE_P(Formats, SizedText, ::testing::ValuesIn(kSizedTextFormats), FormatName);

}  // namespace
}  // namespace qv
