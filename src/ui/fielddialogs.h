// The table manager's two dialogs about fields: TField_Del picks the field to delete, and
// TForm_nomes renames fields.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "tables/datatable.h"

class QLineEdit;
class QListWidget;

namespace qv::ui {

// "Deleção de campos": the table's fields in table order; Ok returns the position of the one
// selected, Cancelar (or Ok with none selected) returns -1.
class TField_Del : public QDialog {
  Q_OBJECT

 public:
  explicit TField_Del(QWidget* parent = nullptr);
  int ChooseField(const std::vector<std::string>& names);
  QListWidget* LB_Var() const { return list_; }

 private:
  QListWidget* list_ = nullptr;
};

// "Nomes": the user picks a column in LB_nomes and types its new name in Edit_nn; "Trocar"
// checks the name against the table's names as already staged and stages it (the list then
// shows it), "Efetivar" gives the table every staged name in one rewrite of its file and
// closes, "Abandonar" closes and the table keeps its names. The hidden ListBox_sel holds the
// names the table had, the renamed ones selected.
class TForm_nomes : public QDialog {
  Q_OBJECT

 public:
  // Applies the staged renames to the table; false (having told the user why) keeps the
  // dialog open with its names staged.
  using TApply = std::function<bool(const std::vector<TFieldRename>&)>;

  explicit TForm_nomes(QWidget* parent = nullptr);
  // True when names were applied.
  bool Rename(TableType format, const std::vector<std::string>& names, TApply apply);

  QListWidget* LB_nomes() const { return names_; }
  QLineEdit* Edit_nn() const { return edit_; }

 public slots:
  void TrocarClick();
  void EfetivarClick();

 private:
  QListWidget* names_ = nullptr;
  QListWidget* selected_ = nullptr;  // ListBox_sel
  QLineEdit* edit_ = nullptr;
  TableType format_ = TableType::Paradox;
  std::vector<std::string> original_, staged_;
  TApply apply_;
};

}  // namespace qv::ui
