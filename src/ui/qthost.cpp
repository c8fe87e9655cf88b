#include "ui/qthost.h"

#include <QApplication>

#include "ui/directoryform.h"
#include "ui/messages.h"
#include "ui/paramsform.h"

namespace qv::ui {

TQtHost::TQtHost(QWidget& boxParent, TForm1& form, TDirectoryForm& directory,
                 std::function<void()> showReport)
    : boxParent_(boxParent),
      form_(form),
      directory_(directory),
      showReport_(std::move(showReport)) {}

TQtHost::~TQtHost() {
  SetBusyCursor(false);
}

std::optional<std::string> TQtHost::ChooseTableFile() {
  return directory_.ChooseTable(&boxParent_);
}

TParametersForm& TQtHost::Params() {
  return form_;
}

bool TQtHost::Confirm(const std::string& text) {
  return ShowBox(&boxParent_, TBoxKind::Confirmation, text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

bool TQtHost::WarnYesNo(const std::string& text) {
  return ShowBox(&boxParent_, TBoxKind::Warning, text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

void TQtHost::Warn(const std::string& text) {
  ShowBox(&boxParent_, TBoxKind::Warning, text);
}

void TQtHost::Inform(const std::string& text) {
  ShowBox(&boxParent_, TBoxKind::Information, text);
}

void TQtHost::ShowMessage(const std::string& text) {
  ShowBox(&boxParent_, TBoxKind::Plain, text);
}

// The program's box keeps its text; the table layer's cause (which file, what is wrong with it)
// follows in the box's smaller type, so that a damaged table is not mistaken for a bad name.
void TQtHost::ShowOpenFailure(const std::string& text, const std::string& cause) {
  ShowBox(&boxParent_, TBoxKind::Plain, text, QMessageBox::Ok, cause);
}

void TQtHost::SetBusyCursor(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void TQtHost::ShowReport(const TReport&) {
  if (showReport_) showReport_();
}

}  // namespace qv::ui
