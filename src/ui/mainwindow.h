// TQuorvandelia1: the main window. Its menu starts every analysis, opens the table manager
// and the report, sets the window's colour and opens the help and the about box; its status
// bar shows the hint of the highlighted menu item.
#pragma once

#include <QMainWindow>

class QAction;
class QMenu;
class QStatusBar;

namespace qv {
struct TAnalysisCommand;
}

namespace qv::ui {

class TQuorvandeliaApp;

class TQuorvandelia1 : public QMainWindow {
  Q_OBJECT

 public:
  TQuorvandelia1(TQuorvandeliaApp& app, bool showHiddenAnalyses);

  QStatusBar* StatusBarHint() const { return statusBarHint_; }
  // The client area, whose colour "&Cores" sets.
  QWidget* ClientArea() const { return centralWidget(); }

 public slots:
  void Gerenciar1Click();
  void Visualizar1Click();
  void Cores1Click();
  void Contedo1Click();
  void About1Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QMenu* AddMenu(const char* objectName, const char* caption, const char* hint);
  QAction* AddItem(QMenu* menu, const char* objectName, const char* caption, const char* hint);
  void AddAnalysis(QMenu* menu, const TAnalysisCommand& command, bool showHidden);

  TQuorvandeliaApp& app_;
  QStatusBar* statusBarHint_ = nullptr;
};

}  // namespace qv::ui
