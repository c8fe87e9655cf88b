// libFuzzer target for one table reader: any bytes, as a file of the format QV_FUZZ_EXTENSION
// names (".db", ".dbf" or ".csv"), opened as the program opens a table the user picked.
//
// Besides the sanitizers' findings it checks what the table layer promises: a file either opens
// or fails with a TableError (never another exception, never a crash); an open table's cursor,
// its random access and its grid view agree on every value; numbers are finite; and a Paradox
// or dBase table written back in its own format reads back with the same fields and values; a
// numeric field read whole holds the values random access gives.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "support/fuzz_workdir.h"
#include "tables/datatable.h"

#ifndef QV_FUZZ_EXTENSION
#error "QV_FUZZ_EXTENSION must name the table format: \".db\", \".dbf\" or \".csv\""
#endif

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "table fuzz (%s): %s\n", QV_FUZZ_EXTENSION, what);
    std::abort();
  }
}

void Clear(const std::filesystem::path& dir) {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    std::filesystem::remove(e.path(), ec);
  }
}

bool SameValue(const qv::TValue& x, const qv::TValue& y) {
  if (x.IsNumber() && y.IsNumber()) return x.AsNumber() == y.AsNumber();  // -0 is stored as 0
  return x == y;
}

void CheckOpenTable(const qv::TDataTable& t) {
  Check(t.FieldCount() >= 1, "an open table has fields");
  const std::size_t rows = t.RecordCount();
  Check(t.DisplayRowCount() == rows, "the grid shows the stored records");
  for (std::size_t r = 0; r < rows; ++r) {
    for (int f = 0; f < t.FieldCount(); ++f) {
      const qv::TValue v = t.ValueAt(r, f);
      Check(v == t.DisplayValue(r, f), "grid and random access agree");
      Check(v.IsBlank() == t.IsBlankAt(r, f), "blank test and value agree");
      if (v.IsNumber()) Check(std::isfinite(v.AsNumber()), "numbers are finite");
      if (v.IsText()) Check(!v.AsText().empty(), "an empty text is a blank");
    }
  }
  // A field read whole holds what random access gives, a blank as a NaN.
  for (int f = 0; f < t.FieldCount(); ++f) {
    const std::span<const double> numbers = t.NumberColumn(f);
    if (numbers.empty()) continue;
    Check(numbers.size() == rows, "a field read whole has every record");
    for (std::size_t r = 0; r < rows; ++r) {
      const qv::TValue v = t.ValueAt(r, f);
      Check(v.IsNumber() || v.IsBlank(), "a field read whole holds numbers and blanks only");
      Check(std::isnan(numbers[r]) == v.IsBlank(), "a blank read whole is a NaN");
      if (v.IsNumber()) Check(numbers[r] == v.AsNumber(), "a number read whole is the number");
    }
  }
}

void CheckCursor(qv::TDataTable& t) {
  std::size_t seen = 0;
  for (t.First(); !t.AtEnd(); t.Next()) {
    Check(t.RecNo() == seen, "the cursor visits the records in order");
    for (int f = 0; f < t.FieldCount(); ++f) {
      Check(t.GetValue(f) == t.ValueAt(seen, f), "cursor and random access agree");
    }
    ++seen;
  }
  Check(seen == t.RecordCount(), "the cursor visits every record once");
}

// A Paradox or dBase table keeps its fields and every value when written in its own format.
void CheckRewrite(const qv::TDataTable& t, const std::filesystem::path& dir) {
  if (std::string(QV_FUZZ_EXTENSION) == ".csv") return;  // CSV infers its types anew
  const std::string copy = (dir / ("copy" QV_FUZZ_EXTENSION)).string();
  try {
    t.SaveCopy(copy);
  } catch (const qv::TableError&) {
    return;  // a value or a field the format cannot write back (a memo, a foreign layout)
  }
  qv::TDataTable back;
  back.SetName(copy);
  try {
    back.Open();
  } catch (const qv::TableError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    Check(false, "a table we wrote opens again");
  }
  Check(back.Fields() == t.Fields(), "a rewritten table keeps its fields");
  Check(back.RecordCount() == t.RecordCount(), "a rewritten table keeps its records");
  for (std::size_t r = 0; r < t.RecordCount(); ++r) {
    for (int f = 0; f < t.FieldCount(); ++f) {
      Check(SameValue(back.ValueAt(r, f), t.ValueAt(r, f)), "a rewritten table keeps its values");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path& dir = qv::testing::FuzzWorkDir("fuzz-table");
  Clear(dir);
  const std::string path = (dir / ("table" QV_FUZZ_EXTENSION)).string();
  {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  qv::TDataTable table;
  table.SetName(path);
  try {
    table.Open();
  } catch (const qv::TableError& e) {
    Check(std::string(e.what()).size() > 0, "a failure says why");
    return 0;
  }
  CheckOpenTable(table);
  CheckCursor(table);
  CheckRewrite(table, dir);
  return 0;
}
