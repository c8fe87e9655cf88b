// TDirectoryForm: the file dialogs of the data tables. The analyses open their table through
// it; it remembers the folder of the last table for the rest of the session.
#pragma once

#include <QString>
#include <optional>
#include <string>

class QWidget;

namespace qv::ui {

class TDirectoryForm {
 public:
  // The open-file dialog for a table: the chosen file (UTF-8 path), or nothing when cancelled.
  std::optional<std::string> ChooseTable(QWidget* parent);

 private:
  QString folder_;
};

}  // namespace qv::ui
