// TForm1: the parameters dialog of the analyses. A fixed-size dialog that the run fills and
// shows in two phases: the table (g, a, the two code columns and the method's extras), then
// the residual information of each variable. It only answers the run's questions; it checks
// and computes nothing. Its entries keep their text for the whole session.
#pragma once

#include <QDialog>
#include <map>
#include <vector>

#include "analysis/host.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace qv::ui {

class TForm1 : public QDialog, public TParametersForm {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);

  // TParametersForm
  void SetCaption(const std::string& caption) override;
  void SetControlVisible(Control control, bool visible) override;
  void SetListItems(Control list, const std::vector<std::string>& items) override;
  void SelectListItem(Control list, int index) override;
  int SelectedIndex(Control list) const override;
  std::string EntryText(Control edit) const override;
  void ShowModal(TParamsPhase phase, const std::string& variableName) override;

  // The widget of a control and its label (tests and the window's own layout use them).
  QWidget* ControlWidget(Control control) const;
  QLabel* ControlLabel(Control control) const;
  QPushButton* OkButton() const { return ok_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QListWidget* List(Control list) const;

  std::map<Control, QWidget*> controls_;
  std::map<Control, QLabel*> labels_;
  std::vector<QWidget*> tabOrder_;
  QPushButton* ok_ = nullptr;
};

}  // namespace qv::ui
