// TGraphForm: the table manager ("Arquivos"). It owns the program's table object (Table1, the
// session's table, which every analysis borrows for its run and leaves closed) and shows it in
// the grid DBGrid1; its menu creates, opens, closes and deletes tables, deletes records, adds,
// deletes and renames fields, and imports and exports text.
//
// Every change of the file goes through the table layer, which writes it so that a failure
// leaves the file as it was; an error of that layer is shown with its own message and ends the
// command there.
#pragma once

#include <QDialog>
#include <QTableView>
#include <memory>
#include <optional>
#include <string>

#include "analysis/session.h"
#include "tables/datatable.h"

class QAction;
class QMenu;
class QMenuBar;

namespace qv::ui {

class TDirectoryForm;
class TFormArquivo;
class TField_Del;
class TForm_nomes;
class TTableModel;

// The sets of grid options the commands switch between.
enum class TGridMode {
  Browse,          // at start: whole rows selected, no editing
  Edit,            // after a table is opened or created: cells edited in place
  RecordDeletion,  // rows selected, several at once, for Ctrl+Del
  AfterDeletion,   // editing again, after record deletion
};

// The grid: a table view with the keys of a database grid. Down on the last row appends a
// record and Insert inserts one before the current, Esc drops the changes of the record being
// edited, Ctrl+Del deletes the selected records (or the current one) after asking.
class TDBGrid : public QTableView {
  Q_OBJECT

 public:
  TDBGrid(TTableModel& model, QWidget* parent);
  void SetMode(TGridMode mode);
  TGridMode Mode() const { return mode_; }
  // Ctrl+Del: asks, then deletes.
  void DeleteSelectedRecords();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  TTableModel& model_;
  TGridMode mode_ = TGridMode::Browse;
  bool moving_ = false;
};

class TGraphForm : public QDialog {
  Q_OBJECT

 public:
  // The session's table is Table1; the session's decimal separator (the system's) writes the
  // numbers of an export.
  TGraphForm(TSession& session, TDirectoryForm& directory, TFormArquivo& arquivo,
             QWidget* parent = nullptr);
  ~TGraphForm() override;

  TDataTable& Table1() { return table_; }
  TDBGrid* DBGrid1() const { return grid_; }
  TTableModel& DataSource1() const { return *model_; }
  TField_Del& Field_Del() const { return *fieldDel_; }
  TForm_nomes& Form_nomes() const { return *formNomes_; }

  // The window, modal, showing the table as it now is (an analysis may have closed it).
  void ShowModal();

  // The open-table routine: the file dialog, then the table opened; on failure the plain
  // message that the name may be the cause, and the table closed. True when open.
  bool OpenTableDialog();

 public slots:
  void Abrir1Click();
  void Criar1Click();
  void FEchar1Click();
  void Deletar1Click();
  void Exportat1Click();
  void Exportat2Click();
  void Deletar2Click();
  void Desativar1Click();
  void Acrescentar1Click();
  void Deletar3Click();
  void Renomear1Click();

 protected:
  void done(int result) override;

 private:
  QMenu* AddMenu(QMenuBar* bar, const char* objectName, const char* caption);
  QAction* AddItem(QMenu* menu, const char* objectName, const char* caption);
  // Posts the record being edited, then closes the table.
  void CloseTable();
  void ShowError(const std::exception& error);
  void ShowError(const QString& message);
  // An input box; nothing when cancelled.
  std::optional<QString> Ask(const QString& title, const QString& prompt);
  // The count of the create and add commands: asked until answered; nothing (the error shown)
  // for an answer that is not a whole number or is more fields than a table holds.
  std::optional<int> AskFieldCount(const char* title, const char* prompt);
  // One field's name and type; `checkChars` refuses "(", ")" and "*".
  FieldDef AskField(int k, TableType format, const std::vector<std::string>& names, bool checkChars,
                    const char* numericQuestion);
  TableType OpenFormat() const;

  TSession& session_;
  TDataTable& table_;
  TDirectoryForm& directory_;
  TFormArquivo& arquivo_;
  TTableModel* model_ = nullptr;
  TDBGrid* grid_ = nullptr;
  std::unique_ptr<TField_Del> fieldDel_;
  std::unique_ptr<TForm_nomes> formNomes_;
  QAction* deletar2_ = nullptr;
  QAction* desativar1_ = nullptr;
};

}  // namespace qv::ui
