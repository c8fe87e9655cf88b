#include "ui/application.h"

#include <QLocale>

#include "ui/aboutbox.h"
#include "ui/directoryform.h"
#include "ui/mainwindow.h"
#include "ui/messages.h"
#include "ui/notarich.h"
#include "ui/paramsform.h"
#include "ui/qthost.h"

namespace qv::ui {
namespace {

// Between runs the report lives in the report window's document, where the user reads and
// edits it; the session's report buffer then holds only this mark, which no run writes (a
// run's report is empty or starts with its title line). A run that clears the report replaces
// the mark with its own text, and the window takes that text once, as a whole.
const std::string kReportInWindow(1, '\0');

char SystemDecimalSeparator() {
  const QString point = QLocale::system().decimalPoint();
  return point.size() == 1 && point.front().unicode() < 128 ? point.front().toLatin1() : '.';
}

}  // namespace

TQuorvandeliaApp::TQuorvandeliaApp(const TStartOptions& options) {
  session_.decimalSeparator = SystemDecimalSeparator();
  session_.report.SetText(kReportInWindow);

  // Created in this order; the table manager's windows come with the table manager.
  main_ = std::make_unique<TQuorvandelia1>(*this, options.showHiddenAnalyses);
  directory_ = std::make_unique<TDirectoryForm>();
  form1_ = std::make_unique<TForm1>();
  notaRich_ = std::make_unique<TFormNotaRich>(documentFiles_);
  about_ = std::make_unique<TAboutBox>();
  host_ = std::make_unique<TQtHost>(*main_, *form1_, *directory_, [this] { ShowReport(); });
}

TQuorvandeliaApp::~TQuorvandeliaApp() = default;

void TQuorvandeliaApp::TakeNewReport() {
  if (session_.report.Text() == kReportInWindow) return;
  notaRich_->SetReportText(session_.report.Text());
  session_.report.SetText(kReportInWindow);
}

void TQuorvandeliaApp::RunAnalysis(const TAnalysisCommand& command) {
  RunCommand(command, session_, *host_);
  // The methods that end without the report window leave their report for "&Mostrar".
  TakeNewReport();
}

void TQuorvandeliaApp::ShowReport() {
  TakeNewReport();
  notaRich_->ShowReport();
}

void TQuorvandeliaApp::ShowAbout() {
  TBusyCursor busy(*host_);
  about_->exec();
}

void TQuorvandeliaApp::ShowTableManager() {
  ShowBox(main_.get(), TBoxKind::Information,
          "O gerenciador de tabelas ainda não faz parte desta versão do programa.");
}

bool TQuorvandeliaApp::MayExit() {
  return notaRich_->QuerySaveAtExit();
}

}  // namespace qv::ui
