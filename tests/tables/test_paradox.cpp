// Paradox tables: the files we write against pxlib's own writer, field types we do not create
// but must read, the file's code page, companion files, and damaged files.
extern "C" {
#include <paradox.h>
}

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "table_test_util.h"
#include "tables/datatable.h"

namespace qv {
namespace {

using namespace testing;  // the helpers of table_test_util.h

constexpr std::size_t kUpdateTime = 0x60;  // four bytes of the header that hold the write time
constexpr long kSdnOfDay1 = 1721425;       // pxlib's offset between Paradox days and day numbers

struct PxField {
  const char* name;
  char type;
  int length;
  int decimals;
};

// Writes a table with pxlib alone, one PX_put_record per record, as another program would.
// fill(doc, record, r) sets the bytes of record r (all zero, that is blank, on entry).
void WriteWithPxlib(const std::string& path, const std::vector<PxField>& fields, int records,
                    const std::function<void(pxdoc_t*, char*, int)>& fill) {
  pxdoc_t* doc = PX_new();
  auto* defs = static_cast<pxfield_t*>(std::calloc(fields.size(), sizeof(pxfield_t)));
  int recordSize = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    defs[i].px_fname = strdup(fields[i].name);
    defs[i].px_ftype = fields[i].type;
    defs[i].px_flen = fields[i].length;
    defs[i].px_fdc = fields[i].decimals;
    recordSize += fields[i].length;
  }
  ASSERT_EQ(PX_create_file(doc, defs, static_cast<int>(fields.size()), path.c_str(),
                           pxfFileTypNonIndexDB),
            0);
  const std::string name = std::filesystem::path(path).filename().string();
  PX_set_tablename(doc, name.c_str());
  std::vector<char> record(static_cast<std::size_t>(recordSize));
  for (int r = 0; r < records; ++r) {
    std::fill(record.begin(), record.end(), '\0');
    fill(doc, record.data(), r);
    ASSERT_GT(PX_put_record(doc, record.data()), 0);
  }
  PX_close(doc);
  PX_delete(doc);
}

// Our data blocks and header counts are laid out by us (pxlib's record-by-record writer is
// too slow for large tables); pxlib's own writer is the reference for them.
TEST(Paradox, FileMatchesPxlibsOwnWriterByteForByte) {
  ScratchDir dir;
  const int rows = 300;  // several data blocks
  auto value = [](int r) { return r % 7 == 3 ? B() : N(r * 0.37 - 50.0); };
  auto text = [](int r) { return r % 5 == 0 ? B() : S("Genótipo " + std::to_string(r)); };
  {
    TDataTable t;
    CreateOpen(t, dir / "nosso.db",
               {{"gen", FieldType::Float, 0},
                {"yield", FieldType::Float, 0},
                {"nome", FieldType::String, 30}});
    t.BeginBatch();
    for (int r = 0; r < rows; ++r) AppendRow(t, {N(r + 1), value(r), text(r)});
    t.EndBatch();
  }
  WriteWithPxlib(dir / "pxlib.db",
                 {{"gen", pxfNumber, 8, 0}, {"yield", pxfNumber, 8, 0}, {"nome", pxfAlpha, 30, 0}},
                 rows, [&](pxdoc_t* doc, char* rec, int r) {
                   PX_put_data_double(doc, rec, 8, r + 1);
                   if (value(r).IsNumber())
                     PX_put_data_double(doc, rec + 8, 8, value(r).AsNumber());
                   if (text(r).IsText()) {
                     // "Genótipo" in code page 1252
                     std::string bytes = "Gen\xF3tipo " + std::to_string(r);
                     PX_put_data_alpha(doc, rec + 16, 30, bytes.data());
                   }
                 });
  std::string ours = ReadBytes(dir / "nosso.db");
  std::string theirs = ReadBytes(dir / "pxlib.db");
  ASSERT_EQ(ours.size(), theirs.size());
  // What differs from one write to the next: the time of the write, the "pointers" pxlib
  // fills in from the addresses of its own variables (the header's two work pointers, the
  // pointers to the table name and to the field info, and after the three field descriptions
  // the pointers to the table name and to the field names), and the referential integrity
  // byte, which pxlib leaves uninitialised (we write 0).
  const std::pair<std::size_t, std::size_t> varying[] = {
      {kUpdateTime, 4}, {0x16, 8}, {0x30, 8}, {0x55, 1}, {0x78 + 3 * 2, 4 + 3 * 4}};
  for (const auto& [at, n] : varying) {
    ours.replace(at, n, n, '\0');
    theirs.replace(at, n, n, '\0');
  }
  // The table name in the header differs ("nosso.db" against "pxlib.db").
  const std::size_t nameAt = ours.find("nosso.db");
  ASSERT_NE(nameAt, std::string::npos);
  ours.replace(nameAt, 8, "pxlib.db");
  for (std::size_t i = 0; i < ours.size(); ++i) {
    ASSERT_EQ(ours[i], theirs[i]) << "first difference at byte " << i;
  }
}

TEST(Paradox, ReadsTheFieldTypesOfOtherProgramsAndRewritesThem) {
  ScratchDir dir;
  const std::string path = dir / "tipos.db";
  const std::vector<PxField> fields = {
      {"texto", pxfAlpha, 10, 0},   {"curto", pxfShort, 2, 0},    {"longo", pxfLong, 4, 0},
      {"auto", pxfAutoInc, 4, 0},   {"moeda", pxfCurrency, 8, 0}, {"real", pxfNumber, 8, 0},
      {"data", pxfDate, 4, 0},      {"hora", pxfTime, 4, 0},      {"momento", pxfTimestamp, 8, 0},
      {"logico", pxfLogical, 1, 0}, {"bcd", pxfBCD, 17, 2},
  };
  const long day = PX_GregorianToSdn(2020, 1, 1) - kSdnOfDay1;
  const int noon30 = (12 * 60 + 30) * 60 * 1000;
  WriteWithPxlib(path, fields, 2, [&](pxdoc_t* doc, char* rec, int r) {
    if (r == 1) return;  // the second record is blank throughout
    char text[] =
        "A\xE7\xFA"
        "car";  // "Açúcar" in code page 1252
    PX_put_data_alpha(doc, rec, 10, text);
    PX_put_data_short(doc, rec + 10, 2, -123);
    PX_put_data_long(doc, rec + 12, 4, 123456);
    PX_put_data_long(doc, rec + 16, 4, 7);
    PX_put_data_double(doc, rec + 20, 8, 12.5);
    PX_put_data_double(doc, rec + 28, 8, -0.75);
    PX_put_data_long(doc, rec + 36, 4, static_cast<int>(day));
    PX_put_data_long(doc, rec + 40, 4, noon30);
    PX_put_data_double(doc, rec + 44, 8, day * 86400000.0 + 6 * 3600000.0);
    PX_put_data_byte(doc, rec + 52, 1, 1);
    char bcd[] = "12.34";
    PX_put_data_bcd(doc, rec + 53, 2, bcd);
  });

  const std::vector<FieldType> types = {
      FieldType::String,    FieldType::Integer, FieldType::Integer, FieldType::Integer,
      FieldType::Currency,  FieldType::Float,   FieldType::Date,    FieldType::Time,
      FieldType::Timestamp, FieldType::Logical, FieldType::Float};
  // Dates as day numbers from 30 December 1899: 1 January 2020 is day 43831.
  const std::vector<TValue> first = {S("Açúcar"), N(-123),  N(123456), N(7),
                                     N(12.5),     N(-0.75), N(43831),  N(0.5208333333333334),
                                     N(43831.25), N(1),     N(12.34)};
  const std::vector<TValue> blank(fields.size(), B());
  TDataTable t;
  t.SetName(path);
  t.Open();
  for (int i = 0; i < t.FieldCount(); ++i) EXPECT_EQ(t.GetFieldType(i), types[i]) << i;
  EXPECT_EQ(AllRows(t), (std::vector<std::vector<TValue>>{first, blank}));

  // Rewritten in our own field types, every value survives.
  t.First();
  t.SetValue(0, S("Mel"));
  t.Post();
  t.Close();
  t.Open();
  std::vector<TValue> changed = first;
  changed[0] = S("Mel");
  for (int i = 0; i < t.FieldCount(); ++i) EXPECT_EQ(t.GetFieldType(i), types[i]) << i;
  EXPECT_EQ(AllRows(t), (std::vector<std::vector<TValue>>{changed, blank}));
}

// The records of a table as pxlib's own reader gives them: each record's bytes.
std::vector<std::string> RecordsReadByPxlib(const std::string& path) {
  std::vector<std::string> records;
  pxdoc_t* doc = PX_new();
  if (PX_open_file(doc, path.c_str()) < 0) {
    PX_delete(doc);
    return records;
  }
  std::string record(static_cast<std::size_t>(PX_get_recordsize(doc)), '\0');
  for (int r = 0; r < PX_get_num_records(doc); ++r) {
    if (PX_get_record(doc, r, record.data())) records.push_back(record);
  }
  PX_close(doc);
  PX_delete(doc);
  return records;
}

// A field of a record as pxlib decodes it.
double PxDouble(const std::string& record, std::size_t at) {
  pxdoc_t* doc = PX_new();
  double v = 0.0;
  PX_get_data_double(doc, const_cast<char*>(record.data() + at), 8, &v);
  PX_delete(doc);
  return v;
}

long PxLong(const std::string& record, std::size_t at) {
  pxdoc_t* doc = PX_new();
  long v = 0;
  PX_get_data_long(doc, const_cast<char*>(record.data() + at), 4, &v);
  PX_delete(doc);
  return v;
}

// A field deleted from a table of another program: every other field keeps its own type (an
// integer stays an integer, a date a date), and pxlib reads the result.
TEST(Paradox, DeletingAFieldOfAPxlibTableKeepsTheOthersTypes) {
  ScratchDir dir;
  const std::string path = dir / "outro.db";
  const long day = PX_GregorianToSdn(2021, 3, 15) - kSdnOfDay1;
  WriteWithPxlib(path,
                 {{"nome", pxfAlpha, 10, 0},
                  {"curto", pxfShort, 2, 0},
                  {"real", pxfNumber, 8, 0},
                  {"data", pxfDate, 4, 0},
                  {"ok", pxfLogical, 1, 0}},
                 3, [&](pxdoc_t* doc, char* rec, int r) {
                   char text[] = "Jatob\xE1";
                   PX_put_data_alpha(doc, rec, 10, text);
                   PX_put_data_short(doc, rec + 10, 2, static_cast<short>(r - 1));
                   PX_put_data_double(doc, rec + 12, 8, r * 0.5);
                   PX_put_data_long(doc, rec + 20, 4, static_cast<int>(day + r));
                   PX_put_data_byte(doc, rec + 24, 1, r % 2);
                 });
  TDataTable t;
  t.SetName(path);
  t.Open();
  t.DeleteField(2);
  t.Close();
  t.Open();
  EXPECT_EQ(t.Fields(), (std::vector<FieldDef>{{"nome", FieldType::String, 10},
                                               {"curto", FieldType::Integer, 0},
                                               {"data", FieldType::Date, 0},
                                               {"ok", FieldType::Logical, 0}}));
  const double day0 = 44270;  // 15 March 2021 counted from 30 December 1899
  EXPECT_EQ(AllRows(t), (std::vector<std::vector<TValue>>{
                            {S("Jatobá"), N(-1), N(day0), N(0)},
                            {S("Jatobá"), N(0), N(day0 + 1), N(1)},
                            {S("Jatobá"), N(1), N(day0 + 2), N(0)},
                        }));
  const std::vector<std::string> records = RecordsReadByPxlib(path);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(PxLong(records[2], 10 + 4), day + 2);  // after the text and the (now long) integer
}

// An edited record of a table pxlib wrote, several data blocks long, goes in place; pxlib reads
// the result.
TEST(Paradox, AnEditOfAPxlibTableIsWrittenInPlaceAndPxlibReadsIt) {
  ScratchDir dir;
  const std::string path = dir / "blocos.db";
  WriteWithPxlib(path, {{"gen", pxfNumber, 8, 0}, {"nome", pxfAlpha, 20, 0}}, 300,
                 [](pxdoc_t* doc, char* rec, int r) {
                   PX_put_data_double(doc, rec, 8, r + 1);
                   std::string text = "g" + std::to_string(r + 1);
                   PX_put_data_alpha(doc, rec + 8, 20, text.data());
                 });
  struct stat before {};
  stat(path.c_str(), &before);
  TDataTable t;
  t.SetName(path);
  t.Open();
  t.GoTo(250);
  t.SetValue(0, N(-7.25));
  t.SetValue(1, S("Ipê"));
  t.Post();
  struct stat after {};
  stat(path.c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);  // the same file: written in place
  const std::vector<std::string> records = RecordsReadByPxlib(path);
  ASSERT_EQ(records.size(), 300u);
  EXPECT_EQ(PxDouble(records[250], 0), -7.25);
  EXPECT_EQ(records[250].substr(8, 4), std::string("Ip\xEA\0", 4));
  EXPECT_EQ(PxDouble(records[249], 0), 250.0);
  EXPECT_EQ(PxDouble(records[251], 0), 252.0);
}

TEST(Paradox, MemoHeldInTheRecordIsReadAndItsTableIsNotRewritten) {
  ScratchDir dir;
  const std::string path = dir / "memo.db";
  WriteWithPxlib(path, {{"nota", pxfMemoBLOb, 20, 0}, {"v", pxfNumber, 8, 0}}, 1,
                 [](pxdoc_t* doc, char* rec, int) {
                   char note[] = "curto";
                   PX_put_data_blob(doc, rec, 20, note, 5);
                   PX_put_data_double(doc, rec + 20, 8, 1.5);
                 });
  const std::string before = ReadBytes(path);
  TDataTable t;
  t.SetName(path);
  t.Open();
  EXPECT_EQ(t.GetFieldType(0), FieldType::Other);
  EXPECT_EQ(t.GetValue(0), S("curto"));
  t.SetValue(1, N(2.5));
  EXPECT_THROW(t.Post(), TableError);  // writing would lose the memo field
  EXPECT_EQ(ReadBytes(path), before);
}

TEST(Paradox, TextIsReadInTheCodePageTheFileDeclares) {
  ScratchDir dir;
  const std::string path = dir / "dos.db";
  // "Produção" and "Conceição" in DOS code page 850.
  WriteWithPxlib(path, {{"Produ\x87\xC6o", pxfAlpha, 20, 0}}, 1, [](pxdoc_t* doc, char* rec, int) {
    char text[] = "Concei\x87\xC6o";
    PX_put_data_alpha(doc, rec, 20, text);
  });
  std::string bytes = ReadBytes(path);
  bytes[0x6A] = static_cast<char>(850 & 0xFF);  // the header's code page
  bytes[0x6B] = static_cast<char>(850 >> 8);
  WriteBytes(path, bytes);
  TDataTable t;
  t.SetName(path);
  t.Open();
  EXPECT_EQ(t.FieldName(0), "Produção");
  EXPECT_EQ(t.GetValue(0), S("Conceição"));
}

TEST(Paradox, RewriteRemovesTheStaleIndexOfTheOldVersion) {
  ScratchDir dir;
  TDataTable t;
  CreateOpen(t, dir / "ensaio.db", {{"gen", FieldType::Float, 0}});
  WriteBytes(dir / "ensaio.PX", "old index");
  WriteBytes(dir / "ensaio.X01", "old secondary index");
  WriteBytes(dir / "outro.PX", "another table's");
  AppendRow(t, {N(1)});
  EXPECT_EQ(dir.Files(), (std::set<std::string>{"ensaio.db", "outro.PX"}));
}

// A small valid table to damage.
std::string ValidTable(const ScratchDir& dir) {
  return ValidTableBytes(dir / "valido.db", 120, 12);
}

TEST(Paradox, DamagedHeadersAreTableErrors) {
  ScratchDir dir;
  const std::string valid = ValidTable(dir);
  auto with = [&](std::size_t at, std::initializer_list<unsigned char> bytes) {
    return Patched(valid, at, bytes);
  };
  ExpectTableErrors(dir / "dano.db",
                    {
                        {"empty", "", "vazio"},
                        {"a few bytes", "PK\x03\x04", "danificado"},
                        {"zero record size", with(0x00, {0, 0}), "registro"},
                        {"record size unlike the fields", with(0x00, {0x15, 0}), "registro"},
                        {"header beyond the file", with(0x02, {0xFF, 0xFF}), "cabeçalho"},
                        {"no fields", with(0x21, {0, 0}), "campos"},
                        {"300 fields", with(0x21, {0x2C, 0x01}), "campos"},
                        {"huge record count", with(0x06, {0xFF, 0xFF, 0xFF, 0x7F}), "registros"},
                        {"more blocks than the file holds", with(0x0C, {0x00, 0x10}), "truncado"},
                        {"first block out of range", with(0x0E, {0x09, 0x00}), "blocos"},
                        {"block pointing to itself", with(0x800, {0x01, 0x00}), "blocos"},
                        {"unknown field type", with(0x78, {0x42}), "tipo"},
                        {"index file, not a table", with(0x04, {1}), "índice"},
                        {"password", with(0x5C, {0x12, 0x34, 0x56, 0x78}), "senha"},
                    });
}

TEST(Paradox, EveryTruncationIsATableError) {
  ScratchDir dir;
  const std::string valid = ValidTable(dir);
  for (std::size_t n = 0; n < valid.size(); ++n) {
    EXPECT_FALSE(OpensOrTableError(dir / "dano.db", valid.substr(0, n), nullptr)) << n << " bytes";
  }
}

TEST(Paradox, DamagedBytesAndGarbageNeverCrash) {
  ScratchDir dir;
  const std::string valid = ValidTable(dir);
  // Every byte of the header and of the first data block's head, set to a few values.
  for (std::size_t at = 0; at < 0x800 + 6; ++at) {
    if (at >= 0x120 && at < 0x800) continue;  // the header's zero padding
    for (const unsigned char c : {0x00, 0xFF, 0x80}) {
      std::string b = valid;
      b[at] = static_cast<char>(c);
      OpensOrTableError(dir / "dano.db", b, nullptr);
    }
  }
  std::mt19937 random(20240611);
  for (int k = 0; k < 200; ++k) {
    std::string b(random() % 6000, '\0');
    for (char& c : b) c = static_cast<char>(random());
    if (k % 2) b.replace(0, std::min<std::size_t>(b.size(), 0x58), valid, 0, 0x58);
    OpensOrTableError(dir / "dano.db", b, nullptr);
  }
}

TEST(Paradox, FilesWithTheWrongExtensionSayWhatTheyLookLike) {
  ScratchDir dir;
  TDataTable dbf;
  CreateOpen(dbf, dir / "x.dbf", {{"gen", FieldType::Float, 0}});
  dbf.Close();
  WriteBytes(dir / "x.db", ReadBytes(dir / "x.dbf"));
  WriteBytes(dir / "y.dbf", ValidTable(dir));
  const struct {
    const char* file;
    const char* looksLike;
  } cases[] = {{"x.db", "dBase"}, {"y.dbf", "Paradox"}};
  for (const auto& c : cases) {
    TDataTable t;
    t.SetName(dir / c.file);
    try {
      t.Open();
      FAIL() << c.file;
    } catch (const TableError& e) {
      EXPECT_NE(std::string(e.what()).find(c.looksLike), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace qv
