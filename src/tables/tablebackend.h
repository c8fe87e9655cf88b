// One file format behind TDataTable, in the manner of PSPP's readers: a small interface that
// recognises, reads and writes one format, so that TDataTable itself knows nothing of any.
//
// A backend reads a whole file into a TableData and writes a whole TableData into a
// SafeFile; TDataTable decides when. A backend object lives as long as its table is open, so
// it may keep what it learned while reading that the file's next version should keep too
// (the separator of a CSV file), and where the records of the file lie (RecordPlaces), so that
// one edited record can be written in place (recordpatch.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tables/codepage.h"
#include "tables/datatable.h"
#include "tables/safefile.h"
#include "tables/tablestore.h"

namespace qv::detail {

// Where the fixed-size records of a table file lie, as the backend last read or wrote it.
struct RecordPlaces {
  FileIdentity file;  // the file as it was then
  std::size_t recordSize = 0;
  // Runs of records that follow one another in the file, in table order: the offset of the
  // run's first record, and the table position of that record.
  struct Run {
    std::uint64_t offset;
    std::size_t firstRow;
  };
  std::vector<Run> runs;
  std::size_t rows = 0;

  std::uint64_t OffsetOf(std::size_t row) const;
};

class TableBackend {
 public:
  virtual ~TableBackend() = default;

  virtual const char* FormatName() const = 0;  // "Paradox", "dBase", "CSV"

  // Whether the first bytes of a file look like this format. Only used to tell the user that a
  // file that failed to open under its extension's format looks like another one.
  virtual bool Detect(std::string_view head) const = 0;

  // Reads the whole table. Throws TableError naming the file and the fault. expected holds the
  // fields the table object last knew for this file (created or read); only a format that
  // stores no types (CSV) looks at it.
  virtual TableData Read(const std::string& path, const std::vector<FieldDef>& expected) = 0;

  // Throws TableError when this format cannot hold these fields (names, types, sizes).
  virtual void CheckFields(const std::string& path, const std::vector<FieldDef>& fields) const = 0;

  // Writes the whole table into out. Throws TableError (a value the format refuses, a failed
  // write); the caller then drops out, which removes the temporary file.
  virtual void Write(const TableData& data, SafeFile& out) = 0;

  // After the new version has replaced the file: removes companion files that described the
  // old version and would now contradict the new one (a stale index, a stale code page), and
  // learns where the records of the new version lie. path is the file written (a symbolic
  // link resolved).
  virtual void AfterReplace(const std::string& /*path*/) {}

  // The code page of the file's text, as an iconv name: as read, or as the last write left it.
  virtual std::string CodePage() const = 0;

  // Whether a text keeps blanks at its end; dBase pads texts with blanks and cannot tell them
  // from the padding.
  virtual bool KeepsTrailingBlanks() const { return true; }

  // For a format of fixed-size records: where the records lie, when the file as last read or
  // written holds them exactly as EncodeRecord writes them (so that one record may be written
  // in place); nullptr otherwise, and the table is then always rewritten whole.
  virtual RecordPlaces* Places() { return nullptr; }
  // The bytes of record `row` of data as the file holds them (only called when Places() gives
  // places). Throws TableError for a value the format refuses, as Write does.
  virtual void EncodeRecord(const TableData& /*data*/, std::size_t /*row*/,
                            const std::string& /*path*/, std::string& /*bytes*/) {}

  // Files that belong to the table besides the table file itself, deleted with it.
  virtual std::vector<std::string> CompanionFiles(const std::string& /*path*/) const { return {}; }
};

// --- pieces the binary formats share ------------------------------------------------------

// Little-endian unsigned integers in a file's bytes; the caller has checked that they lie
// inside b.
inline unsigned U8(const std::string& b, std::size_t off) {
  return static_cast<unsigned char>(b[off]);
}
inline unsigned U16(const std::string& b, std::size_t off) {
  return U8(b, off) | (U8(b, off + 1) << 8);
}
inline std::uint32_t U32(const std::string& b, std::size_t off) {
  return static_cast<std::uint32_t>(U16(b, off)) |
         (static_cast<std::uint32_t>(U16(b, off + 2)) << 16);
}

// Field names and extensions are compared without regard to the case of ASCII letters, as
// the database engines compare them; other characters are left as they are.
std::string LowerAscii(std::string s);

// New Paradox and dBase tables are written in Windows code page 1252: `codec` below is that
// code page's, and the messages name it.

// Checks one field name of a table about to be written in `format` ("Paradox", "dBase"),
// whose names are stored in at most maxBytes bytes, and adds it to `seen` (the lower-case
// names checked so far). Throws TableError for an empty name, one the code page cannot hold,
// one that is too long, or one already seen.
void CheckFieldName(const std::string& path, const char* format, const TextCodec& codec,
                    const std::string& name, std::size_t maxBytes, std::vector<std::string>& seen);

// The bytes of a text value for a text field of `width` bytes in a table of `format`, put in
// `encoded`. Refuses (ThrowRefusedValue) a text the code page cannot hold or one longer than
// the field.
void EncodeFieldText(const std::string& path, const char* format, const TextCodec& codec,
                     std::size_t row, const std::string& field, const std::string& text, int width,
                     std::string& encoded);

// The number of a cell of a numeric column, for a binary format. Refuses (ThrowRefusedValue) a
// cell read from a CSV file that is not a number (Column::BadText): writing anything in its
// place would change the data.
double NumberToWrite(const std::string& path, std::size_t row, const std::string& field,
                     const Column& column);

std::unique_ptr<TableBackend> MakeParadoxBackend();
std::unique_ptr<TableBackend> MakeDBaseBackend();
std::unique_ptr<TableBackend> MakeCsvBackend();

}  // namespace qv::detail
