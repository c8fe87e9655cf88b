#include "ui/application.h"

#include <QLocale>

#include "ui/aboutbox.h"
#include "ui/directoryform.h"
#include "ui/graphform.h"
#include "ui/mainwindow.h"
#include "ui/messages.h"
#include "ui/notarich.h"
#include "ui/paramsform.h"
#include "ui/plotwindow.h"
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

  // Created in this order. The table manager's table object is the session's: the analyses
  // borrow it for their runs and leave it closed.
  main_ = std::make_unique<TQuorvandelia1>(*this, options.showHiddenAnalyses);
  directory_ = std::make_unique<TDirectoryForm>();
  graph_ = std::make_unique<TGraphForm>(session_, *directory_, arquivo_);
  form1_ = std::make_unique<TForm1>();
  notaRich_ = std::make_unique<TFormNotaRich>(documentFiles_);
  about_ = std::make_unique<TAboutBox>();
  host_ = std::make_unique<TQtHost>(*main_, *form1_, *directory_, [this] { ShowReport(); });
  plots_ = std::make_unique<TFormGraficos>();
}

TQuorvandeliaApp::~TQuorvandeliaApp() = default;

void TQuorvandeliaApp::TakeNewReport() {
  if (session_.report.Text() == kReportInWindow) return;
  notaRich_->SetReportText(session_.report.Text());
  session_.report.SetText(kReportInWindow);
}

void TQuorvandeliaApp::RunAnalysis(const TAnalysisCommand& command) {
  auto run = std::make_shared<const TRunOutcome>(RunCommand(command, session_, *host_));
  // The methods that end without the report window leave their report for "&Mostrar".
  TakeNewReport();
  // The plots are of the last run that analysed something.
  if (run->variablesAnalysed > 0) {
    plots_->SetRun(run, plots::LabelsForTable(session_.table, session_.params).labels);
  }
}

void TQuorvandeliaApp::ShowPlots() {
  if (!plots_->HasPlots()) {
    ShowBox(main_.get(), TBoxKind::Information,
            "Não há gráficos para mostrar: faça uma análise primeiro.");
    return;
  }
  plots_->show();
  plots_->raise();
  plots_->activateWindow();
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
  graph_->ShowModal();
}

bool TQuorvandeliaApp::MayExit() {
  return notaRich_->QuerySaveAtExit();
}

}  // namespace qv::ui
