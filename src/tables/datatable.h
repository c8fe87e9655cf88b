// TDataTable: the one way the program reads and writes data tables.
//
// A table is a file (Paradox .db, dBase .dbf or CSV) holding an ordered list of fields and
// records in table order; any value may be blank. The whole table is held in memory while it
// is open. Every change to the file is written so that a refused value, a full disk or a crash
// never leaves a half-written table behind: as a complete new file beside the old one, renamed
// over it only once complete (safefile.h), or, for an edited record of a Paradox or dBase table,
// over the record's old bytes through a small undo journal (recordpatch.h says what a crash at
// any moment leaves), which spares rewriting tens of megabytes for one record. Inserted and
// deleted records and every change of the fields rewrite the whole file.
//
// Errors of the file layer are thrown as TableError (tables/tableerror.h) with a message meant
// for the user: it names the file and the cause, in Portuguese like the rest of the program.
//
// The grid of the table manager reads the records by position (ValueAt, DisplayValue): the
// whole table is in memory, so showing a cell never walks the table.
//
// Editing goes through an edit buffer, as the table manager's grid edits a record: Append and
// Insert open a blank record in it, SetValue on a stored record opens that record for editing
// (on an empty table it inserts the first record), Post stores the buffer and Cancel drops it.
// Moving the cursor (First, Next, Last, GoTo), Append, Insert and the changes of fields first
// post a changed record and drop an unchanged one, so that leaving a record never loses what
// was typed into it; they too may therefore throw. A Post or DeleteRecord that fails leaves the
// file and the records in memory as they were (and the edit buffer open).
//
// The format modules (paradoxfile.cpp, dbasefile.cpp, csvfile.cpp) say how each format is
// read and written: code pages, the width of dBase numbers, how CSV columns get their types.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tables/tableerror.h"

namespace qv {

// Field types. The program creates only Float and String fields; the others are what a file
// written by another program may hold. The analyses only tell String from all the rest.
enum class FieldType { Float, String, Integer, Currency, Date, Time, Timestamp, Logical, Other };

struct FieldDef {
  std::string name;
  FieldType type = FieldType::Float;
  int size = 0;  // characters of a String field; 0 for the others

  bool operator==(const FieldDef&) const = default;
};

// The file format. Auto takes it from the extension (.db Paradox, .dbf dBase, .csv CSV).
enum class TableType { Auto, Paradox, DBase, Csv };
// The format a file name's extension says, in any letter case; Auto for any other extension.
TableType TypeFromExtension(const std::string& path);

// One cell: blank, a number, or text. Dates, times and logicals read from foreign files arrive
// as numbers (a date as its day number, a logical as 0 or 1) so that they still convert to reals.
class TValue {
 public:
  TValue() = default;  // blank
  static TValue Blank() { return TValue(); }
  static TValue Number(double v) {
    TValue t;
    t.kind_ = Kind::Number;
    t.number_ = v;
    return t;
  }
  static TValue Text(std::string s) {
    TValue t;
    t.kind_ = Kind::Text;
    t.text_ = std::move(s);
    return t;
  }

  bool IsBlank() const { return kind_ == Kind::Blank; }
  bool IsNumber() const { return kind_ == Kind::Number; }
  bool IsText() const { return kind_ == Kind::Text; }
  double AsNumber() const { return number_; }
  const std::string& AsText() const { return text_; }

  // The value as a real, as the analyses read it: a number as it is, a text only when the whole
  // text (blanks around it aside) is a number with "." as decimal point. False otherwise. (A
  // numeric field of a CSV file gives a cell that is not a number, such as "NA", as its text.)
  bool ToReal(double& out) const;

  bool operator==(const TValue&) const = default;

 private:
  enum class Kind : unsigned char { Blank, Number, Text };
  Kind kind_ = Kind::Blank;
  double number_ = 0.0;
  std::string text_;
};

// A new name for a field, as the rename dialog stages it.
struct TFieldRename {
  int field = 0;  // 0-based position
  std::string newName;
};

// The values of one field in every record, for CreateTable: numbers (blank where `blank` is
// set; an empty `blank` means none is) for a numeric field, texts ("" for a blank) for a text
// field.
struct TColumnValues {
  std::vector<double> numbers;
  std::vector<bool> blank;
  std::vector<std::string> texts;
};

class TableBackend;  // one per file format, in the .cpp files

class TDataTable {
 public:
  TDataTable();
  ~TDataTable();
  TDataTable(const TDataTable&) = delete;
  TDataTable& operator=(const TDataTable&) = delete;

  // --- name, type, open and close ---------------------------------------------------------
  void SetName(const std::string& path);
  const std::string& Name() const;
  void SetType(TableType type);
  TableType Type() const;          // as set (Auto unless set)
  TableType ResolvedType() const;  // Auto resolved from the extension; throws for an unknown one
  bool IsOpen() const;
  // Throws TableError (missing, unreadable, corrupt, unknown type); no-op if open. A record
  // write that a crash interrupted is finished first (recordpatch.h).
  void Open();
  // Discards an unposted edit, and the changes of a batch not ended; never throws.
  void Close();
  // Of the open table: "Paradox", "dBase" or "CSV", and the code page of its text as an iconv
  // name ("CP1252", "CP850", "UTF-8"). A rewrite writes CP1252 (Paradox, dBase) or UTF-8 (CSV).
  const char* FormatName() const;
  std::string CodePage() const;

  // --- fields (0-based positions) ---------------------------------------------------------
  // Of the open table; none while closed. A position out of range throws TableError.
  int FieldCount() const;
  const std::string& FieldName(int i) const;
  FieldType GetFieldType(int i) const;
  const FieldDef& Field(int i) const;
  const std::vector<FieldDef>& Fields() const;

  // --- cursor -----------------------------------------------------------------------------
  std::size_t RecordCount() const;
  std::size_t RecNo() const;  // 0-based position of the cursor
  void First();
  void Next();
  void Last();  // moves past the last record, so AtEnd() is true afterwards
  bool AtEnd() const;
  // Moves the cursor to a record (0-based), after posting a changed record and dropping an
  // unchanged one as every move does; so `record` counts the records as they are after that.
  // Throws TableError for a record that does not exist.
  void GoTo(std::size_t record);
  // Posts the record being edited if it was changed, drops it if not; what every move does
  // first. May throw, as Post.
  void CheckBrowseMode();

  // --- random access, for a grid ------------------------------------------------------------
  // The value stored in a record (0-based), wherever the cursor is; the record being edited
  // shows its stored value here. Throws TableError for a record or field that does not exist.
  TValue ValueAt(std::size_t record, int field) const;
  bool IsBlankAt(std::size_t record, int field) const;
  // The line of the file on which a record (0-based) starts, counted from 1, for a CSV table as
  // it was read; 0 for the other formats, a record that does not exist, or once records have
  // been inserted, deleted or written since.
  std::size_t SourceLine(std::size_t record) const;
  // A numeric field's cells in record order, as one block of 64-bit reals with a blank as a
  // NaN (a number a table holds is always finite), for reading a whole field at once. Empty
  // for a text field, for a numeric field holding cells that are not numbers (a CSV column
  // with an "NA" in it), for an empty table, a field that does not exist, and while a record
  // is being edited: such a field is read value by value. Valid until the table changes.
  std::span<const double> NumberColumn(int field) const;
  // The rows as a grid shows them while a record is edited: the stored records, with the
  // record being edited showing its edit buffer and a record being inserted (Append, Insert,
  // or SetValue on an empty table) as one more row at RecNo().
  std::size_t DisplayRowCount() const;
  TValue DisplayValue(std::size_t row, int field) const;

  // --- values of the current record (or of the record being edited) ----------------------
  // On an empty table every value is blank. After Last, or Next on the last record, the current
  // record is still the last one.
  bool IsBlank(int field) const;
  TValue GetValue(int field) const;
  // Starts editing the current record if needed. A numeric field takes a number or a text that
  // reads as one (ParseReal); a text field takes a text, or a number as its shortest text; an
  // empty text is a blank. Throws TableError for a value the field cannot take (a word in a
  // numeric field, a fraction in an integer field, an infinite or NaN number).
  void SetValue(int field, const TValue& v);

  // --- editing ----------------------------------------------------------------------------
  void Append();        // a new blank record at the end, to be filled and posted
  void Insert();        // a new blank record before the cursor
  void Post();          // store the record being edited; writes it to the file (see BeginBatch)
  void Cancel();        // drop the record being edited
  void DeleteRecord();  // delete the current record; writes the file
  bool IsEditing() const;
  bool IsInserting() const;  // editing a new record (Append, Insert), not a stored one

  // Between BeginBatch and EndBatch, Post and DeleteRecord change the table in memory only and
  // EndBatch writes the file once (an import of n records then costs one write, not n). If that
  // write fails the changes stay in memory and the next write of the table includes them.
  void BeginBatch();
  void EndBatch();

  // --- definitions and files --------------------------------------------------------------
  // Definitions are set while the table is closed; opening a table sets them to its fields.
  void DefineFields(const std::vector<FieldDef>& defs);
  const std::vector<FieldDef>& FieldDefs() const;
  void CopyFieldDefinitions(const TDataTable& other);
  // Creates an empty file from the definitions (replacing an existing one); the table must be
  // closed and stays closed. String fields need a size (the program uses 30).
  void CreateTable();
  // Creates the file from the definitions with its records already in it, in one write: the
  // file is either as it was or the complete new table, never an empty table a failure left
  // half-way (an import). One column per field, all of one length: numbers for a numeric
  // field, texts for a text field. Throws TableError for columns that do not fit the
  // definitions, a number that is not finite, or a value the format refuses.
  void CreateTable(std::vector<TColumnValues> columns);
  // Throws TableError when the format cannot hold the definitions (as CreateTable would),
  // without writing anything.
  void CheckFieldDefinitions() const;
  void DeleteTable();  // deletes the file and its companion files; the table must be closed

  // --- changes of the open table's fields and records, each one whole rewrite of the file ---
  // Each first posts or drops the record being edited (CheckBrowseMode). The file is written
  // through the safe rewrite (safefile.h): on any failure it is left as it was, and so is the
  // table in memory. Every other field keeps its type and every value its exact value; the
  // format stays the file's own.
  //
  // New fields after the existing ones, blank in every record.
  void AddFields(const std::vector<FieldDef>& defs);
  // Removes fields (0-based positions). A table keeps at least one field: removing them all
  // throws TableError (the table manager deletes the file instead).
  void DeleteFields(const std::vector<int>& fields);
  void DeleteField(int i);
  // Gives fields new names, all in one rewrite; each is checked by FieldRenameProblem
  // (fieldnames.h) against the names with the earlier renames of the list applied, and the
  // first refused name throws TableError with that message.
  void RenameFields(const std::vector<TFieldRename>& renames);
  void RenameField(int i, const std::string& newName);
  // Deletes records by position (0-based, any order, repeats ignored), in one rewrite. A record
  // being inserted is dropped, an edited one posted first unless it is among those deleted.
  // The cursor goes to the record that followed the first deleted one (or the new last one).
  // Between BeginBatch and EndBatch only the memory changes, as for DeleteRecord.
  void DeleteRecords(const std::vector<std::size_t>& records);

  // Writes the open table's fields and stored records into another file, of the format its
  // extension says (or `type`), through the safe rewrite: the file at path is replaced only
  // by a complete copy. Refuses (TableError) a path that is this table's file or one of its
  // companion files, however it is spelled (relative, symbolic or hard link), and values the
  // target format cannot hold (then nothing is written). Text values lose their trailing
  // blanks in a dBase file, which cannot keep them.
  void SaveCopy(const std::string& path, TableType type = TableType::Auto) const;
  // Whether path names this table's file or one of its companion files (same file on disk).
  bool IsFileOfTable(const std::string& path) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace qv
