// The records of an open table, held in memory column by column.
//
// A table of genotype means can reach 600 × 600 = 360,000 records. Held as one TValue per
// cell (a std::string inside each) it would take over 60 bytes a cell; held by column, a
// numeric field costs one double and one bit a record and only text fields hold strings.
#pragma once

#include <cstddef>
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

  bool IsBlank(std::size_t row) const { return text_ ? texts_[row].empty() : blank_[row]; }
  double Number(std::size_t row) const { return numbers_[row]; }
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

  void AppendNumber(double v) {
    numbers_.push_back(v);
    blank_.push_back(false);
  }
  void AppendText(std::string s) { texts_.push_back(std::move(s)); }
  void AppendBlank();
  // Takes a whole numeric column at once (numbers and blank marks of equal length).
  void Adopt(std::vector<double> numbers, std::vector<bool> blank) {
    numbers_ = std::move(numbers);
    blank_ = std::move(blank);
  }
  // Marks a cell of a numeric column, rows in ascending order, as not a number (BadText).
  void AppendBad(std::size_t row, std::string text) { bad_.emplace_back(row, std::move(text)); }

 private:
  bool text_;
  std::vector<double> numbers_;
  std::vector<bool> blank_;                               // one bit a record
  std::vector<std::string> texts_;                        // an empty text is a blank
  std::vector<std::pair<std::size_t, std::string>> bad_;  // by row, ascending; rarely any
};

struct TableData {
  std::vector<FieldDef> fields;
  std::vector<Column> columns;  // one per field
  // For a text file as it was read: the line each record starts on (1-based), for the messages
  // that name a cell. Empty for the binary formats, and once the records have changed.
  std::vector<std::size_t> sourceLines;

  std::size_t RowCount() const { return columns.empty() ? 0 : columns.front().Size(); }
  // Empty columns for the fields.
  static TableData Empty(std::vector<FieldDef> fields);
};

}  // namespace qv::detail
