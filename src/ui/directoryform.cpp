#include "ui/directoryform.h"

#include <QFileDialog>
#include <QFileInfo>

namespace qv::ui {
namespace {

std::optional<std::string> Chosen(QFileDialog& dialog, QString& folder) {
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString path = dialog.selectedFiles().front();
  folder = QFileInfo(path).absolutePath();
  return path.toStdString();
}

}  // namespace

std::optional<std::string> TDirectoryForm::ChooseTable(QWidget* parent, const QString& title) {
  QFileDialog dialog(parent, title, folder_);
  dialog.setObjectName("OpenDialog1");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  // Paradox and dBase, the tables breeders keep; CSV for tables from spreadsheets and scripts.
  // (The dialog shows the first filter's two blanks as one.)
  dialog.setNameFilters({QStringLiteral("DB e DBF  files (*.DB *.DBF *.db *.dbf)"),
                         QStringLiteral("Arquivos CSV (*.csv *.CSV)")});
  return Chosen(dialog, folder_);
}

std::optional<std::string> TDirectoryForm::ChooseNewTable(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("Salvar como"), folder_);
  dialog.setObjectName("SaveDialog1");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(QStringLiteral("DB (*.DB *.db)"));
  dialog.setDefaultSuffix(defaultExtension_);
  return Chosen(dialog, folder_);
}

std::optional<std::string> TFormArquivo::ChooseImportSource(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("Abrir"), folder_);
  dialog.setObjectName("OpenDialogImp");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(QStringLiteral("Text files *.* (*)"));
  return Chosen(dialog, folder_);
}

}  // namespace qv::ui
