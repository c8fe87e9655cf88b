#include "ui/directoryform.h"

#include <QFileDialog>
#include <QFileInfo>

namespace qv::ui {

std::optional<std::string> TDirectoryForm::ChooseTable(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("Abrir"), folder_);
  dialog.setObjectName("OpenDialog1");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  // Paradox and dBase, the tables breeders keep; CSV for tables from spreadsheets and scripts.
  // (The dialog shows the first filter's two blanks as one.)
  dialog.setNameFilters({QStringLiteral("DB e DBF  files (*.DB *.DBF *.db *.dbf)"),
                         QStringLiteral("Arquivos CSV (*.csv *.CSV)")});
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString path = dialog.selectedFiles().front();
  folder_ = QFileInfo(path).absolutePath();
  return path.toStdString();
}

}  // namespace qv::ui
