// TDataTable: the one way the program reads and writes data tables.
//
// A table is a file (Paradox .db, dBase .dbf or CSV) holding an ordered list of fields and
// records in table order; any value may be blank. The whole table is held in memory while it
// is open; every change to the file is written to a complete new file beside it and renamed
// over the old one only once that new file is complete, so a refused value, a full disk or a
// crash never leaves a half-written table behind.
//
// Errors of the file layer are thrown as TableError with a message meant for the user.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qv {

class TableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

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
  TableType Type() const;         // as set (Auto unless set)
  TableType ResolvedType() const;  // Auto resolved from the extension; throws for an unknown one
  bool IsOpen() const;
  void Open();   // throws TableError (missing, unreadable, corrupt, unknown type)
  void Close();  // discards an unposted edit; never throws

  // --- fields (0-based positions) ---------------------------------------------------------
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
  bool IsBlank(int field) const;
  TValue GetValue(int field) const;
  void SetValue(int field, const TValue& v);  // starts editing the current record if needed

  // --- editing ----------------------------------------------------------------------------
  void Append();        // a new blank record at the end, to be filled and posted
  void Insert();        // a new blank record before the cursor
  void Post();          // store the record being edited; writes the file (see BeginBatch)
  void Cancel();        // drop the record being edited
  void DeleteRecord();  // delete the current record; writes the file
  bool IsEditing() const;

  // Between BeginBatch and EndBatch, Post and DeleteRecord change the table in memory only and
  // EndBatch writes the file once (an import of n records then costs one write, not n).
  void BeginBatch();
  void EndBatch();

  // --- definitions and files --------------------------------------------------------------
  void DefineFields(const std::vector<FieldDef>& defs);
  const std::vector<FieldDef>& FieldDefs() const;
  void CopyFieldDefinitions(const TDataTable& other);
  void CreateTable();  // creates an empty file from the definitions (replacing an existing one)
  void DeleteTable();  // deletes the file and its companion files; the table must be closed
  // Renames field i of the open table and rewrites the file.
  void RenameField(int i, const std::string& newName);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace qv
