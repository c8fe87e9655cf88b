// TDirectoryForm: the file dialogs of the data tables, OpenDialog1 and SaveDialog1. The analyses
// and the table manager open their table through it; it remembers the folder of the last table
// for the rest of the session.
//
// TForm_arquivo: the file dialog of the text import's source (OpenDialogImp).
#pragma once

#include <QString>
#include <optional>
#include <string>

class QWidget;

namespace qv::ui {

class TDirectoryForm {
 public:
  // OpenDialog1, for a table: the chosen file (UTF-8 path), or nothing when cancelled. The
  // table manager's file deletion shows it with its own title.
  std::optional<std::string> ChooseTable(QWidget* parent,
                                         const QString& title = QStringLiteral("Abrir"));
  // SaveDialog1, for a new table or an export: Paradox tables, the default extension as last
  // set (none until an import sets one); the dialog asks before replacing a file.
  std::optional<std::string> ChooseNewTable(QWidget* parent);
  void SetDefaultExtension(const QString& extension) { defaultExtension_ = extension; }
  const QString& DefaultExtension() const { return defaultExtension_; }

 private:
  QString folder_;
  QString defaultExtension_;
};

class TFormArquivo {
 public:
  // OpenDialogImp: any file, as the import cleans whatever text it is given.
  std::optional<std::string> ChooseImportSource(QWidget* parent);

 private:
  QString folder_;
};

}  // namespace qv::ui
