// The records of an open table, held in memory column by column.
//
// A table of genotype means can reach 600 × 600 = 360,000 records. Held as one TValue per
// cell (a std::string inside each) it would take over 60 bytes a cell; held by column, a
// numeric field costs one double a record and only text fields hold strings. A blank of a
// numeric field is a NaN: every number a table holds is finite (the readers and SetValue
// refuse the others), so a NaN can mean nothing else, and a whole numeric field can be
// handed to a reader as one block of doubles.
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tables/datatable.h"

namespace qv::detail {

// String fields hold text, and so do Other fields (a memo's text, or blank for binary data);
// every other type is a number.
inline bool HoldsText(FieldType type) {
  return type == FieldType::String || type == FieldType::Other;
}

class Column {
 public:
  explicit Column(bool text) : text_(text) {}
  // A column of n blank values.
  static Column Blanks(bool text, std::size_t n);

  bool IsText() const { return text_; }
  std::size_t Size() const { return text_ ? texts_.size() : numbers_.size(); }
  void Reserve(std::size_t n);

  bool IsBlank(std::size_t row) const {
    return text_ ? texts_[row].empty() : std::isnan(numbers_[row]);
  }
  // The number of a cell that is not blank.
  double Number(std::size_t row) const { return numbers_[row]; }
  // Every cell of a numeric column whose cells are all numbers or blanks (a blank is a NaN);
  // empty for a text column and for one holding cells that are not numbers (BadText).
  std::span<const double> Numbers() const {
    if (text_ || !bad_.empty()) return {};
    return numbers_;
  }
  const std::string& Text(std::size_t row) const { return texts_[row]; }
  // A numeric column read from a text file may hold cells that are not numbers ("NA", "1,5"):
  // each keeps its text, which Get returns as a text value, so that whoever reads it can say
  // which cell is wrong; the writers of the binary formats refuse it. nullptr for any other
  // cell.
  const std::string* BadText(std::size_t row) const;
  TValue Get(std::size_t row) const;

  // The value must already be of the column's kind (a number or blank for a numeric column,
  // a text or blank for a text one); an empty text is a blank.
  void Set(std::size_t row, const TValue& v);
  void Insert(std::size_t row, const TValue& v);
  void Erase(std::size_t row);
  // The column without the rows of `rows` (ascending, no repeats, all inside the column).
  Column Without(const std::vector<std::size_t>& rows) const;

  // A blank of a numeric column, as it is stored.
  static constexpr double kBlank = std::numeric_limits<double>::quiet_NaN();

  // A finite number.
  void AppendNumber(double v) { numbers_.push_back(v); }
  void AppendText(std::string s) { texts_.push_back(std::move(s)); }
  void AppendBlank();
  // Takes a whole numeric column at once: finite numbers, kBlank for a blank.
  void Adopt(std::vector<double> numbers) { numbers_ = std::move(numbers); }
  // Marks a cell of a numeric column, rows in ascending order, as not a number (BadText).
  void AppendBad(std::size_t row, std::string text) { bad_.emplace_back(row, std::move(text)); }

 private:
  bool text_;
  std::vector<double> numbers_;                           // kBlank for a blank
  std::vector<std::string> texts_;                        // an empty text is a blank
  std::vector<std::pair<std::size_t, std::string>> bad_;  // by row, ascending; rarely any
};

// The line of a text file each record starts on (1-based), for the messages that name a cell.
// Kept as runs of records on consecutive lines: a file without blank lines or line breaks
// inside quotes is one run, however many records it has.
class SourceLines {
 public:
  // The line of the next record.
  void Add(std::size_t line) {
    if (runs_.empty() || line != last_ + 1) runs_.push_back({count_, line});
    last_ = line;
    ++count_;
  }
  std::size_t Size() const { return count_; }
  // The line of a record; 0 for one beyond Size().
  std::size_t Of(std::size_t record) const;
  void Clear() { *this = SourceLines(); }

 private:
  struct Run {
    std::size_t firstRecord, firstLine;
  };
  std::vector<Run> runs_;
  std::size_t count_ = 0, last_ = 0;
};

struct TableData {
  std::vector<FieldDef> fields;
  std::vector<Column> columns;  // one per field
  // For a text file as it was read: where its records start. Empty for the binary formats,
  // and once the records have changed.
  SourceLines sourceLines;

  std::size_t RowCount() const { return columns.empty() ? 0 : columns.front().Size(); }
  // Empty columns for the fields.
  static TableData Empty(std::vector<FieldDef> fields);
};

}  // namespace qv::detail
