#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QUrl>

#include "ui/application.h"
#include "ui/look.h"
#include "ui/messages.h"

namespace qv::ui {
namespace {

QString Text(const char* text) {
  return QString::fromUtf8(text);
}
QString Text(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TQuorvandelia1::TQuorvandelia1(TQuorvandeliaApp& app, bool showHiddenAnalyses) : app_(app) {
  setObjectName("Quorvandelia1");
  setWindowTitle(QStringLiteral("Quorvandelia"));
  resize(544, 375);

  // The client area takes the window's colour, the standard button face at every start.
  auto* client = new QWidget(this);
  client->setObjectName("ClientArea");
  client->setAutoFillBackground(true);
  QPalette palette = client->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Button));
  client->setPalette(palette);
  client->setStatusTip(QStringLiteral("Quorvandelia"));
  setCentralWidget(client);

  statusBarHint_ = new QStatusBar(this);
  statusBarHint_->setObjectName("StatusBarHint");
  setStatusBar(statusBarHint_);
  // The hint of a menu title is shown while it is highlighted or its menu opens, like that of
  // an item.
  connect(menuBar(), &QMenuBar::hovered, this,
          [this](QAction* action) { statusBarHint_->showMessage(action->statusTip()); });

  QMenu* file = AddMenu("File1", "&File", "Clique aqui para criar ou abrir arquivos");
  connect(AddItem(file, "Gerenciar1", "&Banco de Dados", "Clique aqui para criar um novo arquivo"),
          &QAction::triggered, this, &TQuorvandelia1::Gerenciar1Click);
  file->addSeparator()->setObjectName("N1");
  connect(AddItem(file, "Sair1", "&Sair", "Abandonar o programa"), &QAction::triggered, this,
          &QWidget::close);

  QMenu* analyses =
      AddMenu("Anlises1", "&Análises", "Análises de quorvandelia por diferentes modelos");
  for (const TAnalysisCommand& command : AnalysisCommands()) {
    AddAnalysis(analyses, command, showHiddenAnalyses);
  }

  QMenu* reports =
      AddMenu("Relatorios1", "&Relatorios", "Apresenta os relatórios de cada análise realizada");
  connect(AddItem(reports, "Visualizar1", "&Mostrar",
                  "Mostra o relatório caso haja uma análise feita (em rich text format)."),
          &QAction::triggered, this, &TQuorvandelia1::Visualizar1Click);

  QMenu* options = AddMenu("Opes1", "&Opções", "Personalizção da janela (formulário)");
  connect(AddItem(options, "Cores1", "&Cores", "Define as cores do formulário (janela)"),
          &QAction::triggered, this, &TQuorvandelia1::Cores1Click);

  QMenu* help = AddMenu("Help1", "&Help", "Sistema de auxílio");
  QAction* contents = AddItem(help, "Contedo1", "&Conteúdo", "Help on line");
  contents->setShortcut(QKeySequence(Qt::Key_F1));
  connect(contents, &QAction::triggered, this, &TQuorvandelia1::Contedo1Click);
  connect(AddItem(help, "About1", "&About", "Sobre o programa para análise de quorvandelia"),
          &QAction::triggered, this, &TQuorvandelia1::About1Click);

  CenterOnScreen(*this);
}

QMenu* TQuorvandelia1::AddMenu(const char* objectName, const char* caption, const char* hint) {
  QMenu* menu = menuBar()->addMenu(Text(caption));
  menu->setObjectName(objectName);
  menu->menuAction()->setObjectName(objectName);
  menu->menuAction()->setStatusTip(Text(hint));
  connect(menu, &QMenu::aboutToShow, this,
          [this, menu] { statusBarHint_->showMessage(menu->menuAction()->statusTip()); });
  return menu;
}

QAction* TQuorvandelia1::AddItem(QMenu* menu, const char* objectName, const char* caption,
                                 const char* hint) {
  QAction* action = menu->addAction(Text(caption));
  action->setObjectName(objectName);
  action->setStatusTip(Text(hint));
  return action;
}

void TQuorvandelia1::AddAnalysis(QMenu* menu, const TAnalysisCommand& command, bool showHidden) {
  QAction* action = menu->addAction(Text(command.caption));
  action->setObjectName(Text(command.objectName));
  action->setStatusTip(Text(command.hint));
  action->setVisible(command.visibleByDefault || showHidden);
  connect(action, &QAction::triggered, this, [this, &command] { app_.RunAnalysis(command); });
}

void TQuorvandelia1::Gerenciar1Click() {
  app_.ShowTableManager();
}

void TQuorvandelia1::Visualizar1Click() {
  app_.ShowReport();
}

void TQuorvandelia1::Cores1Click() {
  QWidget* client = ClientArea();
  QPalette palette = client->palette();
  QColorDialog dialog(palette.color(QPalette::Window), this);
  dialog.setObjectName("ColorDialog1");
  if (dialog.exec() != QDialog::Accepted) return;
  palette.setColor(QPalette::Window, dialog.selectedColor());
  client->setPalette(palette);
}

// The help file beside the program goes to the desktop's own viewer; whether it opens is the
// desktop's business, so the outcome is not checked.
void TQuorvandelia1::Contedo1Click() {
  const QString file = QDir(QCoreApplication::applicationDirPath()).filePath("Quorvandelia.chm");
  QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

void TQuorvandelia1::About1Click() {
  app_.ShowAbout();
}

void TQuorvandelia1::closeEvent(QCloseEvent* event) {
  if (!app_.MayExit()) {
    event->ignore();
    return;
  }
  event->accept();
  QCoreApplication::quit();
}

}  // namespace qv::ui
