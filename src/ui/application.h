// TQuorvandeliaApp: the desktop program's application object. It owns the session (the
// parameters, means, report and table of the whole run of the program) and every window,
// created once at start-up in a fixed order and kept until exit, and it carries out the main
// menu's commands.
#pragma once

#include <memory>
#include <string>

#include "analysis/session.h"
#include "commands/commands.h"
#include "ui/documentfiles.h"

namespace qv::ui {

class TAboutBox;
class TDirectoryForm;
class TForm1;
class TFormNotaRich;
class TQtHost;
class TQuorvandelia1;

struct TStartOptions {
  bool showHiddenAnalyses = false;  // --analises-ocultas
};

class TQuorvandeliaApp {
 public:
  explicit TQuorvandeliaApp(const TStartOptions& options = {});
  ~TQuorvandeliaApp();
  TQuorvandeliaApp(const TQuorvandeliaApp&) = delete;
  TQuorvandeliaApp& operator=(const TQuorvandeliaApp&) = delete;

  TQuorvandelia1& MainWindow() { return *main_; }
  TDirectoryForm& DirectoryForm() { return *directory_; }
  TForm1& Form1() { return *form1_; }
  TFormNotaRich& NotaRich() { return *notaRich_; }
  TAboutBox& AboutBox() { return *about_; }
  TQtHost& Host() { return *host_; }
  TSession& Session() { return session_; }

  // An analysis of the main menu, with its dialogs, from the file dialog to its end.
  void RunAnalysis(const TAnalysisCommand& command);
  // "&Mostrar": the report window with the last report.
  void ShowReport();
  // "&About": the about box, modal, under the busy cursor.
  void ShowAbout();
  // "&Banco de Dados".
  void ShowTableManager();
  // Whether the program may end: the report window's save-changes question for an edited
  // report. False keeps the program running.
  bool MayExit();

 private:
  void TakeNewReport();

  TSession session_;
  TReportDocumentFiles documentFiles_;
  std::unique_ptr<TQuorvandelia1> main_;
  std::unique_ptr<TDirectoryForm> directory_;
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TFormNotaRich> notaRich_;
  std::unique_ptr<TAboutBox> about_;
  std::unique_ptr<TQtHost> host_;
};

}  // namespace qv::ui
