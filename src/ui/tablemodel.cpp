#include "ui/tablemodel.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "tables/datatable.h"

namespace qv::ui {
namespace {

QString Utf8(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

TTableModel::TTableModel(TDataTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {
  setObjectName("DataSource1");
  rows_ = TargetRows();
  columns_ = TargetColumns();
}

QString TTableModel::CellText(const TValue& value) {
  if (value.IsText()) return Utf8(value.AsText());
  if (!value.IsNumber()) return {};
  const double v = value.AsNumber();
  char buffer[64];
  // The shortest text that reads back as the same double: what is stored is what is shown.
  const auto result = std::abs(v) < 1e15 && v == std::trunc(v)
                          ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(v))
                          : std::to_chars(buffer, buffer + sizeof buffer, v);
  return QString::fromLatin1(buffer, static_cast<qsizetype>(result.ptr - buffer));
}

// An open table always shows at least one row: on an empty table a blank one, where typing
// inserts the first record (as TDataTable::SetValue does on an empty table).
int TTableModel::TargetRows() const {
  if (!table_.IsOpen() || table_.FieldCount() == 0) return 0;
  return static_cast<int>(std::max<std::size_t>(table_.DisplayRowCount(), 1));
}

int TTableModel::TargetColumns() const {
  return table_.IsOpen() ? table_.FieldCount() : 0;
}

int TTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int TTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columns_;
}

QVariant TTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_ || index.column() >= columns_) return {};
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
  }
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  // While a command rewrites the table the counts above may be ahead of it: such a cell is
  // blank until the change ends.
  if (changeDepth_ > 0 || !table_.IsOpen() || index.column() >= table_.FieldCount() ||
      static_cast<std::size_t>(index.row()) >= table_.DisplayRowCount()) {
    return role == Qt::EditRole ? QVariant(QString()) : QVariant();
  }
  try {
    return CellText(table_.DisplayValue(static_cast<std::size_t>(index.row()), index.column()));
  } catch (const std::exception&) {
    return {};
  }
}

QVariant TTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  if (orientation == Qt::Horizontal) {
    if (changeDepth_ > 0 || section >= columns_ || section >= TargetColumns()) return {};
    return Utf8(table_.FieldName(section));
  }
  // The indicator: the current record, "*" on a new record, "I" on a record being edited.
  if (changeDepth_ > 0 || !table_.IsOpen() || section >= rows_) return {};
  if (static_cast<std::size_t>(section) != table_.RecNo()) return {};
  if (table_.IsInserting()) return QStringLiteral("*");
  if (table_.IsEditing()) return QStringLiteral("I");
  return QString(QChar(0x25B6));
}

Qt::ItemFlags TTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
  if (editable_) f |= Qt::ItemIsEditable;
  return f;
}

void TTableModel::SetEditable(bool editable) {
  editable_ = editable;
}

void TTableModel::Report(const std::exception& error) {
  emit fileError(QString::fromUtf8(error.what()));
}

void TTableModel::SyncRows() {
  if (changeDepth_ > 0) return;
  const int target = TargetRows();
  if (target > rows_) {
    beginInsertRows({}, rows_, target - 1);
    rows_ = target;
    endInsertRows();
  } else if (target < rows_) {
    beginRemoveRows({}, target, rows_ - 1);
    rows_ = target;
    endRemoveRows();
  }
  if (rows_ > 0 && columns_ > 0) {
    emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
    emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
  }
}

bool TTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !editable_ || changeDepth_ > 0 || !index.isValid() ||
      !table_.IsOpen()) {
    return false;
  }
  const int row = MoveTo(index.row());
  if (row < 0) return false;
  try {
    const std::string text = value.toString().toStdString();
    const TValue current = static_cast<std::size_t>(row) < table_.DisplayRowCount()
                               ? table_.DisplayValue(static_cast<std::size_t>(row), index.column())
                               : TValue();
    // Leaving a cell untouched does not start editing its record.
    if (CellText(current) == QString::fromStdString(text)) return true;
    table_.SetValue(index.column(), TValue::Text(text));
  } catch (const std::exception& e) {
    Report(e);
    return false;
  }
  // The cell alone first, so that an editor open on it shows the value the table took.
  const QModelIndex cell = this->index(row, index.column());
  emit dataChanged(cell, cell);
  SyncRows();
  return true;
}

int TTableModel::MoveTo(int row) {
  if (!table_.IsOpen() || row < 0) return -1;
  const std::size_t target = static_cast<std::size_t>(row);
  if (target == table_.RecNo()) return row;
  const bool inserting = table_.IsInserting();
  const std::size_t insertedAt = table_.RecNo();
  const std::size_t before = table_.DisplayRowCount();
  if (!LeaveRecord()) return -1;
  // An unchanged new record is dropped on leaving it: the rows below it move up one.
  std::size_t to = target;
  if (inserting && table_.DisplayRowCount() < before && target > insertedAt) --to;
  if (to < table_.RecordCount()) {
    try {
      table_.GoTo(to);
    } catch (const std::exception& e) {
      Report(e);
    }
  }
  SyncRows();
  return static_cast<int>(to);
}

bool TTableModel::LeaveRecord() {
  if (!table_.IsOpen() || !table_.IsEditing()) return true;
  try {
    table_.CheckBrowseMode();
  } catch (const std::exception& e) {
    table_.Cancel();
    SyncRows();
    Report(e);
    return false;
  }
  SyncRows();
  return true;
}

void TTableModel::CancelRecord() {
  if (!table_.IsOpen() || !table_.IsEditing()) return;
  table_.Cancel();
  SyncRows();
}

int TTableModel::AppendRecord() {
  if (!table_.IsOpen() || !LeaveRecord()) return -1;
  try {
    table_.Append();
  } catch (const std::exception& e) {
    Report(e);
    return -1;
  }
  SyncRows();
  return static_cast<int>(table_.RecNo());
}

int TTableModel::InsertRecord(int row) {
  const int at = MoveTo(row);
  if (at < 0) return -1;
  try {
    table_.Insert();
  } catch (const std::exception& e) {
    Report(e);
    return -1;
  }
  SyncRows();
  return static_cast<int>(table_.RecNo());
}

bool TTableModel::DeleteRows(std::vector<int> rows) {
  if (!table_.IsOpen()) return false;
  // A new record not yet posted is dropped rather than deleted; the rows below it are the
  // stored records one place up.
  std::vector<std::size_t> records;
  const bool inserting = table_.IsInserting();
  const std::size_t insertedAt = table_.RecNo();
  for (int r : rows) {
    if (r < 0) continue;
    auto record = static_cast<std::size_t>(r);
    if (inserting) {
      if (record == insertedAt) continue;
      if (record > insertedAt) --record;
    }
    if (record < table_.RecordCount()) records.push_back(record);
  }
  if (inserting) table_.Cancel();
  if (records.empty()) {
    SyncRows();
    return true;
  }
  BeginChange();
  try {
    table_.DeleteRecords(records);
  } catch (const std::exception& e) {
    EndChange();
    Report(e);
    return false;
  }
  EndChange();
  return true;
}

void TTableModel::BeginChange() {
  if (changeDepth_++ == 0) beginResetModel();
}

void TTableModel::EndChange() {
  if (changeDepth_ == 0) return;
  if (--changeDepth_ == 0) {
    rows_ = TargetRows();
    columns_ = TargetColumns();
    endResetModel();
  }
}

void TTableModel::Refresh() {
  BeginChange();
  EndChange();
}

}  // namespace qv::ui
