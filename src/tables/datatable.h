// TDataTable: the one way the program reads and writes data tables.
//
// A table is a file (Paradox .db, dBase .dbf or CSV) holding an ordered list of fields and
// records in table order; any value may be blank. The whole table is held in memory while it
// is open; every change to the file is written to a complete new file beside it and renamed
// over the old one only once that new file is complete, so a refused value, a full disk or a
// crash never leaves a half-written table behind.
//
// Errors of the file layer are thrown as TableError (tables/tableerror.h) with a message meant
// for the user: it names the file and the cause, in Portuguese like the rest of the program.
//
// Editing goes through an edit buffer, as the table manager's grid edits a record: Append and
// Insert open a blank record in it, SetValue on a stored record opens that record for editing
// (on an empty table it inserts the first record), Post stores the buffer and Cancel drops it.
// Moving the cursor (First, Next, Last), Append, Insert and RenameField first post a changed
// record and drop an unchanged one, so that leaving a record never loses what was typed into
// it; they too may therefore throw. A Post or DeleteRecord that fails leaves the file and the
// records in memory as they were (and the edit buffer open).
//
// The format modules (paradoxfile.cpp, dbasefile.cpp, csvfile.cpp) say how each format is
// read and written: code pages, the width of dBase numbers, how CSV columns get their types.
#pragma once

#include <cstddef>
#include <memory>
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
  // text (blanks around it aside) is a number with "." as decimal point. False otherwise.
  bool ToReal(double& out) const;

  bool operator==(const TValue&) const = default;

 private:
  enum class Kind : unsigned char { Blank, Number, Text };
  Kind kind_ = Kind::Blank;
  double number_ = 0.0;
  std::string text_;
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
  void Open();  // throws TableError (missing, unreadable, corrupt, unknown type); no-op if open
  // Discards an unposted edit, and the changes of a batch not ended; never throws.
  void Close();

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
  void Post();          // store the record being edited; writes the file (see BeginBatch)
  void Cancel();        // drop the record being edited
  void DeleteRecord();  // delete the current record; writes the file
  bool IsEditing() const;

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
  void DeleteTable();  // deletes the file and its companion files; the table must be closed
  // Renames field i of the open table and rewrites the file.
  void RenameField(int i, const std::string& newName);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace qv
