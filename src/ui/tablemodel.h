// TTableModel: the table manager's data source (DataSource1), the grid's view of the table
// object. It reads the cells by position (TDataTable::DisplayValue), so showing a screen of a
// 360,000-record table reads that screen's cells and nothing else.
//
// The grid edits a record as the table does: the typed values go into the table's edit buffer,
// and the record is posted to the file when the user leaves it (another row, the end of the
// window, a command of the menu). A value the field cannot take, or a post the file layer
// refuses, is reported through fileError with the layer's message; the refused edit is dropped,
// so the table and its file stay as they were.
//
// The model keeps its own count of rows and columns and brings it up to the table's after each
// change it makes, so that the view always sees a consistent model even while a command of the
// window rewrites the table underneath (BeginChange / EndChange, nested as they come).
#pragma once

#include <QAbstractTableModel>
#include <cstddef>
#include <string>
#include <vector>

namespace qv {
class TDataTable;
class TValue;
}  // namespace qv

namespace qv::ui {

class TTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit TTableModel(TDataTable& table, QObject* parent = nullptr);

  TDataTable& Table() const { return table_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  // Whether the grid may change values (every mode but browse).
  void SetEditable(bool editable);
  bool Editable() const { return editable_; }

  // The table's cursor to a row, leaving (posting) the record being edited first. Returns the
  // row the cursor is on afterwards: `row` itself, one less when an unchanged new record above
  // it was dropped, or -1 when the post failed (reported; the edit dropped).
  int MoveTo(int row);
  // Posts the record being edited; false when it failed (reported; the edit dropped).
  bool LeaveRecord();
  // Drops the record being edited (Esc in the grid).
  void CancelRecord();
  // A new blank record at the end, the cursor on it; its row, or -1 when the record being
  // edited could not be posted first.
  int AppendRecord();
  // A new blank record before the one in `row` (Insert in the grid); its row, or -1.
  int InsertRecord(int row);
  // Deletes the records shown in these rows, in one rewrite of the file. False when the file
  // layer refused (reported; the table as it was).
  bool DeleteRows(std::vector<int> rows);

  // A command of the window changes the table underneath: the view holds still until the
  // matching EndChange, which shows the table as it then is.
  void BeginChange();
  void EndChange();
  // The table changed outside the model (an analysis closed it, a command opened another).
  void Refresh();

  // The text a value is shown and edited as: numbers with "." as decimal point and every digit
  // needed to read the same number back; whole numbers without a decimal part.
  static QString CellText(const TValue& value);

 signals:
  void fileError(const QString& message);

 private:
  int TargetRows() const;
  int TargetColumns() const;
  // Brings the row count up to the table's (rows added or removed at the end, the rest
  // repainted) and repaints the indicator.
  void SyncRows();
  void Report(const std::exception& error);

  TDataTable& table_;
  int rows_ = 0;
  int columns_ = 0;
  int changeDepth_ = 0;
  bool editable_ = false;
};

}  // namespace qv::ui
