#include "tables/tablestore.h"

#include <algorithm>

namespace qv::detail {

void Column::Reserve(std::size_t n) {
  if (text_) {
    texts_.reserve(n);
  } else {
    numbers_.reserve(n);
  }
}

namespace {

// The first bad cell at or after row.
template <typename Bad>
auto FirstBadFrom(Bad& bad, std::size_t row) {
  return std::lower_bound(bad.begin(), bad.end(), row,
                          [](const auto& cell, std::size_t r) { return cell.first < r; });
}

}  // namespace

const std::string* Column::BadText(std::size_t row) const {
  if (bad_.empty()) return nullptr;
  const auto it = FirstBadFrom(bad_, row);
  return it != bad_.end() && it->first == row ? &it->second : nullptr;
}

TValue Column::Get(std::size_t row) const {
  if (text_) return texts_[row].empty() ? TValue() : TValue::Text(texts_[row]);
  if (const std::string* bad = BadText(row)) return TValue::Text(*bad);
  return std::isnan(numbers_[row]) ? TValue() : TValue::Number(numbers_[row]);
}

void Column::Set(std::size_t row, const TValue& v) {
  if (text_) {
    texts_[row] = v.IsText() ? v.AsText() : std::string();
  } else {
    if (const auto it = FirstBadFrom(bad_, row); it != bad_.end() && it->first == row) {
      bad_.erase(it);
    }
    numbers_[row] = v.IsNumber() ? v.AsNumber() : kBlank;
  }
}

void Column::Insert(std::size_t row, const TValue& v) {
  if (text_) {
    texts_.insert(texts_.begin() + static_cast<std::ptrdiff_t>(row),
                  v.IsText() ? v.AsText() : std::string());
  } else {
    for (auto it = FirstBadFrom(bad_, row); it != bad_.end(); ++it) ++it->first;
    numbers_.insert(numbers_.begin() + static_cast<std::ptrdiff_t>(row),
                    v.IsNumber() ? v.AsNumber() : kBlank);
  }
}

void Column::Erase(std::size_t row) {
  if (text_) {
    texts_.erase(texts_.begin() + static_cast<std::ptrdiff_t>(row));
  } else {
    auto it = FirstBadFrom(bad_, row);
    if (it != bad_.end() && it->first == row) it = bad_.erase(it);
    for (; it != bad_.end(); ++it) --it->first;
    numbers_.erase(numbers_.begin() + static_cast<std::ptrdiff_t>(row));
  }
}

Column Column::Blanks(bool text, std::size_t n) {
  Column c(text);
  if (text) {
    c.texts_.resize(n);
  } else {
    c.numbers_.assign(n, kBlank);
  }
  return c;
}

Column Column::Without(const std::vector<std::size_t>& rows) const {
  Column c(text_);
  const std::size_t n = Size();
  c.Reserve(n - rows.size());
  std::size_t next = 0;  // the next row of `rows` to leave out
  std::size_t nextBad = 0;
  for (std::size_t r = 0; r < n; ++r) {
    if (next < rows.size() && rows[next] == r) {
      ++next;
      continue;
    }
    while (nextBad < bad_.size() && bad_[nextBad].first < r) ++nextBad;
    if (nextBad < bad_.size() && bad_[nextBad].first == r) {
      c.bad_.emplace_back(r - next, bad_[nextBad].second);
    }
    if (text_) {
      c.texts_.push_back(texts_[r]);
    } else {
      c.numbers_.push_back(numbers_[r]);
    }
  }
  return c;
}

void Column::AppendBlank() {
  if (text_) {
    texts_.emplace_back();
  } else {
    numbers_.push_back(kBlank);
  }
}

std::size_t SourceLines::Of(std::size_t record) const {
  if (record >= count_) return 0;
  const auto after =
      std::upper_bound(runs_.begin(), runs_.end(), record,
                       [](std::size_t r, const Run& run) { return r < run.firstRecord; });
  const Run& run = *(after - 1);
  return run.firstLine + (record - run.firstRecord);
}

TableData TableData::Empty(std::vector<FieldDef> fields) {
  TableData data;
  data.fields = std::move(fields);
  for (const FieldDef& f : data.fields) data.columns.emplace_back(HoldsText(f.type));
  return data;
}

}  // namespace qv::detail
