#include "tables/tablestore.h"

namespace qv::detail {

void Column::Reserve(std::size_t n) {
  if (text_) {
    texts_.reserve(n);
  } else {
    numbers_.reserve(n);
    blank_.reserve(n);
  }
}

TValue Column::Get(std::size_t row) const {
  if (text_) return texts_[row].empty() ? TValue() : TValue::Text(texts_[row]);
  return blank_[row] ? TValue() : TValue::Number(numbers_[row]);
}

void Column::Set(std::size_t row, const TValue& v) {
  if (text_) {
    texts_[row] = v.IsText() ? v.AsText() : std::string();
  } else {
    numbers_[row] = v.IsNumber() ? v.AsNumber() : 0.0;
    blank_[row] = !v.IsNumber();
  }
}

void Column::Insert(std::size_t row, const TValue& v) {
  if (text_) {
    texts_.insert(texts_.begin() + static_cast<std::ptrdiff_t>(row),
                  v.IsText() ? v.AsText() : std::string());
  } else {
    numbers_.insert(numbers_.begin() + static_cast<std::ptrdiff_t>(row),
                    v.IsNumber() ? v.AsNumber() : 0.0);
    blank_.insert(blank_.begin() + static_cast<std::ptrdiff_t>(row), !v.IsNumber());
  }
}

void Column::Erase(std::size_t row) {
  if (text_) {
    texts_.erase(texts_.begin() + static_cast<std::ptrdiff_t>(row));
  } else {
    numbers_.erase(numbers_.begin() + static_cast<std::ptrdiff_t>(row));
    blank_.erase(blank_.begin() + static_cast<std::ptrdiff_t>(row));
  }
}

void Column::AppendBlank() {
  if (text_) {
    texts_.emplace_back();
  } else {
    numbers_.push_back(0.0);
    blank_.push_back(true);
  }
}

TableData TableData::Empty(std::vector<FieldDef> fields) {
  TableData data;
  data.fields = std::move(fields);
  for (const FieldDef& f : data.fields) data.columns.emplace_back(HoldsText(f.type));
  return data;
}

}  // namespace qv::detail
