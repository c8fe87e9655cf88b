#include "ui/graphform.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/layout.h"
#include "analysis/run.h"
#include "tables/fieldnames.h"
#include "tables/textimport.h"
#include "ui/directoryform.h"
#include "ui/fielddialogs.h"
#include "ui/look.h"
#include "ui/messages.h"
#include "ui/tablemodel.h"

namespace qv::ui {
namespace {

// The window's texts.
const char* const kTableNotFound = "Tabela não encontrada neste diretório";
const char* const kTableNotActive = "Tabela não está ativada";
const char* const kRecordDeletionHelp =
    "Tecle <Ctrl Del> para deletar registros e desative o processo quando acabar\r Para retomar "
    "o processo de edição";
const char* const kEditingAgain = "Você está novamente no modo de edição!";
const char* const kCreateNumericQuestion =
    "O campo é numérico? Responda <Sim> caso seja numérico e <Não> para o tipo string "
    "(alfanumérico).";
const char* const kAddNumericQuestion =
    "O campo é numérico? Reponda <Sim> caso seja numérico e Não para o tipo string "
    "(alfanumércio).";
const char* const kDeleteRecordQuestion = "Excluir registro?";
const char* const kDeleteRecordsQuestion = "Excluir todos os registros selecionados?";
// Paradox and dBase tables hold at most 255 fields.
constexpr int kMaxFields = 255;
constexpr int kStringSize = 30;

std::vector<std::string> FieldNames(const TDataTable& table) {
  std::vector<std::string> names;
  for (int i = 0; i < table.FieldCount(); ++i) names.push_back(table.FieldName(i));
  return names;
}

// The hourglass while a command rewrites a table.
class TWaitCursor {
 public:
  TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// The view holds still while a command changes the table, and shows it afterwards.
class TChange {
 public:
  explicit TChange(TTableModel& model) : model_(model) { model_.BeginChange(); }
  ~TChange() { model_.EndChange(); }
  TChange(const TChange&) = delete;
  TChange& operator=(const TChange&) = delete;

 private:
  TTableModel& model_;
};

// The import and the export answered by the window: its message boxes and file dialogs, and
// the grid held still while the table is written.
class TWindowTransferHost : public TTextTransferHost {
 public:
  TWindowTransferHost(TGraphForm& form, TDirectoryForm& directory, TFormArquivo& arquivo,
                      TTableModel& model)
      : form_(form), directory_(directory), arquivo_(arquivo), model_(model) {}

  bool WarnOkCancel(const std::string& text) override {
    return ShowBox(&form_, TBoxKind::Warning, text, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
  }
  bool WarnYesNo(const std::string& text) override {
    return ShowBox(&form_, TBoxKind::Warning, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
  }
  void ShowMessage(const std::string& text) override { ShowBox(&form_, TBoxKind::Plain, text); }
  void ShowError(const std::string& text) override { ShowBox(&form_, TBoxKind::Error, text); }
  std::optional<std::string> ChooseImportSource() override {
    return arquivo_.ChooseImportSource(&form_);
  }
  std::optional<std::string> ChooseImportTable() override {
    directory_.SetDefaultExtension(QString::fromLatin1(kImportDefaultExtension));
    return directory_.ChooseNewTable(&form_);
  }
  std::optional<std::string> ChooseExportFile() override {
    return directory_.ChooseNewTable(&form_);
  }
  void OpenTableDialog(TDataTable&) override { form_.OpenTableDialog(); }
  void SuspendDisplay() override { model_.BeginChange(); }
  void ResumeDisplay() override { model_.EndChange(); }

 private:
  TGraphForm& form_;
  TDirectoryForm& directory_;
  TFormArquivo& arquivo_;
  TTableModel& model_;
};

// The cell editor keeps the grid's right alignment, so a value does not jump as it is edited.
class TRightAlignedDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      line->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    return editor;
  }
};

}  // namespace

// --- the grid -----------------------------------------------------------------------------

TDBGrid::TDBGrid(TTableModel& model, QWidget* parent) : QTableView(parent), model_(model) {
  setObjectName("DBGrid1");
  setModel(&model_);
  setItemDelegate(new TRightAlignedDelegate(this));
  // Rows of one height and no measuring of contents: a screen of a large table reads only the
  // cells it shows.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  verticalHeader()->setFixedWidth(fontMetrics().horizontalAdvance(QChar(0x25B6)) + 12);
  verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  setTabKeyNavigation(true);
  setWordWrap(false);
  SetMode(TGridMode::Browse);
}

void TDBGrid::SetMode(TGridMode mode) {
  mode_ = mode;
  const bool editing = mode != TGridMode::Browse;
  model_.SetEditable(editing);
  // With its editor always shown, a cell of the grid is edited as soon as it is reached.
  setEditTriggers(editing ? QAbstractItemView::AllEditTriggers : QAbstractItemView::NoEditTriggers);
  const bool rows = mode == TGridMode::Browse || mode == TGridMode::RecordDeletion;
  setSelectionBehavior(rows ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
  setSelectionMode(mode == TGridMode::RecordDeletion ? QAbstractItemView::ExtendedSelection
                                                     : QAbstractItemView::SingleSelection);
}

// Leaving a row leaves its record: the table posts it (or drops an unchanged new one).
void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (moving_ || !current.isValid() || (previous.isValid() && current.row() == previous.row())) {
    return;
  }
  moving_ = true;
  const int row = model_.MoveTo(current.row());
  if (row >= 0 && row != current.row() && row < model_.rowCount()) {
    setCurrentIndex(model_.index(row, current.column()));
  }
  moving_ = false;
}

void TDBGrid::DeleteSelectedRecords() {
  if (!model_.Table().IsOpen() || model_.rowCount() == 0) return;
  std::vector<int> rows;
  if (mode_ == TGridMode::RecordDeletion) {
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
  }
  const bool several = !rows.empty();
  if (!several && currentIndex().isValid()) rows.push_back(currentIndex().row());
  if (rows.empty()) return;
  const char* question = several ? kDeleteRecordsQuestion : kDeleteRecordQuestion;
  if (ShowBox(window(), TBoxKind::Confirmation, question, QMessageBox::Yes | QMessageBox::No) !=
      QMessageBox::Yes) {
    return;
  }
  const int column = std::max(currentIndex().column(), 0);
  const int first = *std::min_element(rows.begin(), rows.end());
  {
    TWaitCursor wait;
    model_.DeleteRows(std::move(rows));
  }
  clearSelection();
  if (model_.rowCount() > 0) {
    moving_ = true;
    setCurrentIndex(model_.index(std::min(first, model_.rowCount() - 1), column));
    moving_ = false;
    model_.MoveTo(currentIndex().row());
  }
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
  const QModelIndex current = currentIndex();
  if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
    DeleteSelectedRecords();
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_Escape && model_.Table().IsEditing()) {
    model_.CancelRecord();
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier &&
      mode_ != TGridMode::Browse && current.isValid() && model_.Table().RecordCount() > 0) {
    moving_ = true;
    const int row = model_.InsertRecord(current.row());
    if (row >= 0) setCurrentIndex(model_.index(row, current.column()));
    moving_ = false;
    event->accept();
    return;
  }
  const TDataTable& table = model_.Table();
  // Down on the last row appends a record, unless that row is already a new one.
  if (event->key() == Qt::Key_Down && event->modifiers() == Qt::NoModifier &&
      mode_ != TGridMode::Browse && current.isValid() && current.row() == model_.rowCount() - 1 &&
      table.IsOpen() && table.RecordCount() > 0 &&
      !(table.IsInserting() && table.RecNo() == static_cast<std::size_t>(current.row()))) {
    moving_ = true;
    const int row = model_.AppendRecord();
    if (row >= 0) setCurrentIndex(model_.index(row, current.column()));
    moving_ = false;
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

// --- the window ---------------------------------------------------------------------------

TGraphForm::TGraphForm(TSession& session, TDirectoryForm& directory, TFormArquivo& arquivo,
                       QWidget* parent)
    : QDialog(parent),
      session_(session),
      table_(session.table),
      directory_(directory),
      arquivo_(arquivo) {
  setObjectName("GraphForm");
  setWindowTitle(QStringLiteral("Arquivos"));
  model_ = new TTableModel(table_, this);
  connect(model_, &TTableModel::fileError, this,
          [this](const QString& message) { ShowError(message); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* bar = new QMenuBar(this);
  bar->setObjectName("MainMenu1");
  layout->setMenuBar(bar);

  QMenu* arquivo1 = AddMenu(bar, "Arquivo1", "&Arquivo");
  connect(AddItem(arquivo1, "Abrir1", "&Abrir"), &QAction::triggered, this,
          &TGraphForm::Abrir1Click);
  connect(AddItem(arquivo1, "Criar1", "&Criar"), &QAction::triggered, this,
          &TGraphForm::Criar1Click);
  connect(AddItem(arquivo1, "FEchar1", "&Fechar"), &QAction::triggered, this,
          &TGraphForm::FEchar1Click);
  connect(AddItem(arquivo1, "Deletar1", "&Deletar"), &QAction::triggered, this,
          &TGraphForm::Deletar1Click);
  connect(AddItem(arquivo1, "Sair1", "&Sair"), &QAction::triggered, this, &QDialog::accept);

  QAction* importar = bar->addAction(QStringLiteral("&Importar"));
  importar->setObjectName("Exportat1");
  connect(importar, &QAction::triggered, this, &TGraphForm::Exportat1Click);
  QAction* exportar = bar->addAction(QStringLiteral("&Exportar"));
  exportar->setObjectName("Exportat2");
  connect(exportar, &QAction::triggered, this, &TGraphForm::Exportat2Click);

  QMenu* registros = AddMenu(bar, "Registros1", "&Registros");
  deletar2_ = AddItem(registros, "Deletar2", "&Deletar");
  connect(deletar2_, &QAction::triggered, this, &TGraphForm::Deletar2Click);
  desativar1_ = AddItem(registros, "Desativar1", "D&esativar");
  desativar1_->setVisible(false);
  connect(desativar1_, &QAction::triggered, this, &TGraphForm::Desativar1Click);

  QMenu* campos = AddMenu(bar, "Campos1", "&Campos");
  connect(AddItem(campos, "Acrescentar1", "&Acrescentar"), &QAction::triggered, this,
          &TGraphForm::Acrescentar1Click);
  connect(AddItem(campos, "Deletar3", "&Deletar"), &QAction::triggered, this,
          &TGraphForm::Deletar3Click);
  connect(AddItem(campos, "Renomear1", "&Renomear"), &QAction::triggered, this,
          &TGraphForm::Renomear1Click);

  grid_ = new TDBGrid(*model_, this);
  layout->addWidget(grid_);
  fieldDel_ = std::make_unique<TField_Del>(this);
  formNomes_ = std::make_unique<TForm_nomes>(this);
  resize(640, 440);
  CenterOnScreen(*this);
}

TGraphForm::~TGraphForm() = default;

QMenu* TGraphForm::AddMenu(QMenuBar* bar, const char* objectName, const char* caption) {
  QMenu* menu = bar->addMenu(QString::fromUtf8(caption));
  menu->setObjectName(objectName);
  menu->menuAction()->setObjectName(objectName);
  return menu;
}

QAction* TGraphForm::AddItem(QMenu* menu, const char* objectName, const char* caption) {
  QAction* action = menu->addAction(QString::fromUtf8(caption));
  action->setObjectName(objectName);
  return action;
}

void TGraphForm::ShowModal() {
  model_->Refresh();
  exec();
}

// Whatever closes the window, the record being edited reaches the file first.
void TGraphForm::done(int result) {
  model_->LeaveRecord();
  QDialog::done(result);
}

void TGraphForm::ShowError(const std::exception& error) {
  ShowError(QString::fromUtf8(error.what()));
}

void TGraphForm::ShowError(const QString& message) {
  ShowBox(this, TBoxKind::Error, message.toStdString());
}

void TGraphForm::CloseTable() {
  model_->LeaveRecord();
  TChange change(*model_);
  table_.Close();
}

TableType TGraphForm::OpenFormat() const {
  const std::string format = table_.IsOpen() ? table_.FormatName() : "Paradox";
  if (format == "dBase") return TableType::DBase;
  if (format == "CSV") return TableType::Csv;
  return TableType::Paradox;
}

bool TGraphForm::OpenTableDialog() {
  const std::optional<std::string> file = directory_.ChooseTable(this);
  if (!file) return false;
  TChange change(*model_);
  table_.SetName(*file);
  try {
    table_.Open();
  } catch (const std::exception&) {
    table_.Close();
    ShowBox(this, TBoxKind::Plain, text::kOpenFailed);
    return false;
  }
  return true;
}

std::optional<QString> TGraphForm::Ask(const QString& title, const QString& prompt) {
  QInputDialog box(this);
  box.setObjectName("InputBox");
  box.setWindowTitle(title);
  box.setLabelText(prompt);
  box.setTextValue(QString());
  box.setInputMode(QInputDialog::TextInput);
  if (box.exec() != QDialog::Accepted) return std::nullopt;
  return box.textValue();
}

std::optional<int> TGraphForm::AskFieldCount(const char* title, const char* prompt) {
  std::optional<QString> answer;
  while (!(answer = Ask(QString::fromUtf8(title), QString::fromUtf8(prompt)))) {
  }
  bool ok = false;
  const int count = answer->trimmed().toInt(&ok);
  if (!ok) {
    ShowError("'" + *answer + QString::fromUtf8("' não é um valor inteiro válido"));
    return std::nullopt;
  }
  if (count > kMaxFields) {
    ShowError(QString::fromUtf8("Uma tabela tem no máximo %1 campos.").arg(kMaxFields));
    return std::nullopt;
  }
  return count;
}

FieldDef TGraphForm::AskField(int k, TableType format, const std::vector<std::string>& names,
                              bool checkChars, const char* numericQuestion) {
  FieldDef def;
  for (;;) {
    const std::optional<QString> answer = Ask(QStringLiteral("Campo ") + QString::number(k),
                                              QString::fromUtf8(" Digite o nome da variável "));
    def.name = answer ? answer->toStdString() : "Var" + std::to_string(k);
    if (checkChars && HasForbiddenFieldChars(def.name)) {
      ShowBox(this, TBoxKind::Plain, kForbiddenFieldCharsMessage);
      continue;
    }
    // A name the table could not take would only fail when the file is written, with every
    // field typed in vain: it is asked again at once.
    if (const std::string problem = NewFieldNameProblem(format, names, def.name);
        !problem.empty()) {
      ShowBox(this, TBoxKind::Warning, problem);
      continue;
    }
    break;
  }
  const bool numeric = ShowBox(this, TBoxKind::Confirmation, numericQuestion,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  def.type = numeric ? FieldType::Float : FieldType::String;
  def.size = numeric ? 0 : kStringSize;
  return def;
}

void TGraphForm::Abrir1Click() {
  if (table_.IsOpen()) CloseTable();
  OpenTableDialog();
  grid_->SetMode(TGridMode::Edit);
}

void TGraphForm::Criar1Click() {
  const std::optional<std::string> file = directory_.ChooseNewTable(this);
  if (!file) return;
  // The table object takes another file: the one it had is posted and closed first.
  if (table_.IsOpen()) CloseTable();
  TChange change(*model_);
  table_.SetName(*file);
  table_.SetType(TableType::Paradox);
  const std::optional<int> count =
      AskFieldCount("Número de campos", "Digite o número de campos (Colunas ) da tabela:");
  if (!count) return;
  std::vector<FieldDef> defs;
  std::vector<std::string> names;
  for (int k = 1; k == 1 || k <= *count; ++k) {
    defs.push_back(AskField(k, TableType::Paradox, names, true, kCreateNumericQuestion));
    names.push_back(defs.back().name);
  }
  try {
    TWaitCursor wait;
    table_.DefineFields(defs);
    table_.CreateTable();
    table_.Open();
  } catch (const std::exception& e) {
    table_.Close();
    ShowError(e);
    return;
  }
  grid_->SetMode(TGridMode::Edit);
}

void TGraphForm::FEchar1Click() {
  CloseTable();
}

void TGraphForm::Deletar1Click() {
  if (table_.IsOpen()) CloseTable();
  const std::optional<std::string> file = directory_.ChooseTable(this, QStringLiteral("Deletar "));
  if (!file) return;
  TChange change(*model_);
  table_.SetName(*file);
  // Opened and closed first: only a file that opens as a table is deleted with its companions.
  try {
    table_.Open();
  } catch (const std::exception& e) {
    table_.Close();
    ShowError(e);
    return;
  }
  table_.Close();
  if (ShowBox(this, TBoxKind::Confirmation,
              "Tem certeza que deseja deletar o arquivo " + table_.Name() + "?",
              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
    return;
  }
  try {
    table_.DeleteTable();
  } catch (const std::exception& e) {
    ShowError(e);
  }
}

void TGraphForm::Exportat1Click() {
  model_->LeaveRecord();
  TWindowTransferHost host(*this, directory_, arquivo_, *model_);
  ImportTextCommand(table_, host);
  model_->Refresh();
}

void TGraphForm::Exportat2Click() {
  // What the user typed into the grid is part of the table being exported.
  if (!model_->LeaveRecord()) return;
  TWindowTransferHost host(*this, directory_, arquivo_, *model_);
  const char separator = session_.decimalSeparator;
  ExportTextCommand(table_, host, [separator](double v) { return General(v, separator); });
  model_->Refresh();
}

void TGraphForm::Deletar2Click() {
  if (!table_.IsOpen()) return;
  ShowBox(this, TBoxKind::Plain, kRecordDeletionHelp);
  deletar2_->setVisible(false);
  desativar1_->setVisible(true);
  grid_->SetMode(TGridMode::RecordDeletion);
}

void TGraphForm::Desativar1Click() {
  if (!table_.IsOpen()) return;
  ShowBox(this, TBoxKind::Plain, kEditingAgain);
  deletar2_->setVisible(true);
  desativar1_->setVisible(false);
  grid_->SetMode(TGridMode::AfterDeletion);
}

void TGraphForm::Acrescentar1Click() {
  if (!table_.IsOpen()) OpenTableDialog();
  if (!table_.IsOpen()) {
    ShowBox(this, TBoxKind::Plain, kTableNotFound);
    return;
  }
  if (!model_->LeaveRecord()) return;
  const std::optional<int> count = AskFieldCount(
      "Número de novos campos", "Digite o número de novos campos (Colunas) da tabela:");
  if (!count) return;
  const TableType format = OpenFormat();
  std::vector<std::string> names = FieldNames(table_);
  std::vector<FieldDef> defs;
  for (int k = 1; k == 1 || k <= *count; ++k) {
    defs.push_back(AskField(k, format, names, false, kAddNumericQuestion));
    names.push_back(defs.back().name);
  }
  TChange change(*model_);
  try {
    TWaitCursor wait;
    table_.AddFields(defs);
  } catch (const std::exception& e) {
    ShowError(e);
  }
}

void TGraphForm::Deletar3Click() {
  if (!table_.IsOpen()) OpenTableDialog();
  grid_->SetMode(TGridMode::Edit);
  if (!table_.IsOpen()) {
    ShowBox(this, TBoxKind::Plain, kTableNotFound);
    return;
  }
  if (!model_->LeaveRecord()) return;
  const int field = fieldDel_->ChooseField(FieldNames(table_));
  if (field < 0) return;
  TChange change(*model_);
  try {
    TWaitCursor wait;
    if (table_.FieldCount() == 1) {
      // A table without fields is no table: its file goes.
      table_.Close();
      table_.DeleteTable();
    } else {
      table_.DeleteField(field);
    }
  } catch (const std::exception& e) {
    ShowError(e);
  }
}

void TGraphForm::Renomear1Click() {
  if (!table_.IsOpen()) {
    ShowBox(this, TBoxKind::Plain, kTableNotActive);
    return;
  }
  if (!model_->LeaveRecord()) return;
  formNomes_->Rename(OpenFormat(), FieldNames(table_),
                     [this](const std::vector<TFieldRename>& renames) {
                       TChange change(*model_);
                       try {
                         TWaitCursor wait;
                         table_.RenameFields(renames);
                       } catch (const std::exception& e) {
                         ShowBox(formNomes_.get(), TBoxKind::Error, e.what());
                         return false;
                       }
                       return true;
                     });
}

}  // namespace qv::ui
