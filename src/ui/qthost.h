// The host port answered by the windows: the table file dialog, the parameters dialog, the
// message boxes and the screen-wide busy cursor, and the report window at the end of a run.
#pragma once

#include <functional>

#include "analysis/host.h"

class QWidget;

namespace qv::ui {

class TDirectoryForm;
class TForm1;

class TQtHost : public THost {
 public:
  // `boxParent` owns the message boxes (the main window); `showReport` brings up the report
  // window with the session's report.
  TQtHost(QWidget& boxParent, TForm1& form, TDirectoryForm& directory,
          std::function<void()> showReport);
  ~TQtHost() override;

  std::optional<std::string> ChooseTableFile() override;
  TParametersForm& Params() override;
  bool Confirm(const std::string& text) override;
  bool WarnYesNo(const std::string& text) override;
  void Warn(const std::string& text) override;
  void Inform(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  void ShowOpenFailure(const std::string& text, const std::string& cause) override;
  // The hourglass over the whole screen, the run's dialogs included; setting it twice is
  // setting it once.
  void SetBusyCursor(bool busy) override;
  void ShowReport(const TReport& report) override;

 private:
  QWidget& boxParent_;
  TForm1& form_;
  TDirectoryForm& directory_;
  std::function<void()> showReport_;
  bool busy_ = false;
};

}  // namespace qv::ui
