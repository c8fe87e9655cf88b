// The main window: its menu (captions, access keys, hints, shortcuts, visibility), the status
// bar following the highlighted item, help, colour, about, the report, and the end of the
// program with an edited report.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>
#include <QUrl>

#include "app_fixture.h"
#include "ui/aboutbox.h"

namespace qv::testing {
namespace {

struct MenuRow {
  const char* menu;  // the submenu the item is in; nullptr for the menu bar
  const char* name;
  const char* caption;
  char accessKey;
  const char* hint;
  QKeySequence shortcut;
  bool visible;
};

// The main menu, top to bottom.
const MenuRow kMenu[] = {
    {nullptr, "File1", "&File", 'F', "Clique aqui para criar ou abrir arquivos", {}, true},
    {"File1",
     "Gerenciar1",
     "&Banco de Dados",
     'B',
     "Clique aqui para criar um novo arquivo",
     {},
     true},
    {"File1", "Sair1", "&Sair", 'S', "Abandonar o programa", {}, true},
    {nullptr,
     "Anlises1",
     "&Análises",
     'A',
     "Análises de quorvandelia por diferentes modelos",
     {},
     true},
    {"Anlises1",
     "Plaisted1",
     "&Plaisted e Peterson",
     'P',
     "Modelo de Plaisted & Peterson (1959)- componentes de variância",
     {},
     true},
    {"Anlises1", "Wricke1", "&Wricke", 'W', "Modelo de Wricke (1965) - Ecovalência", {}, true},
    {"Anlises1",
     "LinBinns1",
     "&Lin e Binns",
     'L',
     "Modelo de Lin & Binns (1988) - Desvios do máximo ideal",
     {},
     true},
    {"Anlises1",
     "Annicchiarico1",
     "&Annicchiarico",
     'A',
     "Annicchiarico (1992) - Índice de reliabilidade",
     {},
     true},
    {"Anlises1",
     "Finlay1",
     "&Finlay e Wilkinson",
     'F',
     "Finlay & Wilkinson (1963) - Regressão linear",
     {},
     true},
    {"Anlises1",
     "Eberhart1",
     "&Eberhart e Russell",
     'E',
     "Eberhart  & Russell (1966) - Regressão linear",
     {},
     true},
    {"Anlises1",
     "Cruzetal1",
     "&Cruz et al.",
     'C',
     "Cruz, Torres & Vencovsky (1989) -Regressão linear bissegmentada",
     {},
     true},
    {"Anlises1",
     "Ammi1",
     "A&mmi",
     'M',
     "Mandel (1971) - Modelo com efeitos principais aditivos e Interação multiplicativa - "
     "Componentes Principais (CP)",
     {},
     true},
    {"Anlises1", "Toler1", "&Toler", 'T', "", {}, true},
    {"Anlises1", "JGCSilva1", "&JGCSilva", 'J', "", {}, false},
    {"Anlises1", "Silvamodificado1", "&Silva modificado", 'S', "", {}, false},
    {"Anlises1", "Silva1", "Si&lva e Toler", 'L', "", {}, false},
    {nullptr,
     "Relatorios1",
     "&Relatorios",
     'R',
     "Apresenta os relatórios de cada análise realizada",
     {},
     true},
    {"Relatorios1",
     "Visualizar1",
     "&Mostrar",
     'M',
     "Mostra o relatório caso haja uma análise feita (em rich text format).",
     {},
     true},
    {nullptr, "Opes1", "&Opções", 'O', "Personalizção da janela (formulário)", {}, true},
    {"Opes1", "Cores1", "&Cores", 'C', "Define as cores do formulário (janela)", {}, true},
    {nullptr, "Help1", "&Help", 'H', "Sistema de auxílio", {}, true},
    {"Help1", "Contedo1", "&Conteúdo", 'C', "Help on line", QKeySequence(Qt::Key_F1), true},
    {"Help1", "About1", "&About", 'A', "Sobre o programa para análise de quorvandelia", {}, true},
};

class MainWindow : public ProgramTest {};

TEST_F(MainWindow, TheMenuIsBuiltAsTheTableSays) {
  std::map<std::string, std::vector<std::string>> order;  // item names of each menu, in order
  for (const MenuRow& row : kMenu) {
    SCOPED_TRACE(row.name);
    QAction* a = Item(Main(), row.name);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->text().toStdString(), row.caption);
    EXPECT_EQ(QKeySequence::mnemonic(a->text()),
              QKeySequence(Qt::ALT | static_cast<Qt::Key>(row.accessKey)));
    EXPECT_EQ(a->statusTip().toStdString(), row.hint);
    EXPECT_EQ(a->shortcut(), row.shortcut);
    EXPECT_EQ(a->isVisible(), row.visible);
    order[row.menu ? row.menu : ""].push_back(row.name);
  }
  auto names = [](const QList<QAction*>& actions) {
    std::vector<std::string> out;
    for (QAction* a : actions) {
      if (a->isSeparator()) {
        out.push_back("-");
      } else {
        out.push_back(a->objectName().toStdString());
      }
    }
    return out;
  };
  EXPECT_EQ(names(Main().menuBar()->actions()), order[""]);
  for (const char* menu : {"Anlises1", "Relatorios1", "Opes1", "Help1"}) {
    EXPECT_EQ(names(Main().findChild<QMenu*>(menu)->actions()), order[menu]) << menu;
  }
  EXPECT_EQ(names(Main().findChild<QMenu*>("File1")->actions()),
            (std::vector<std::string>{"Gerenciar1", "-", "Sair1"}));

  EXPECT_EQ(Main().windowTitle().toStdString(), "Quorvandelia");
  EXPECT_EQ(Main().size(), QSize(544, 375));
  EXPECT_EQ(Main().StatusBarHint()->objectName().toStdString(), "StatusBarHint");
}

TEST(MainWindowStart, HiddenAnalysesAreShownOnRequest) {
  ui::TQuorvandeliaApp program(ui::TStartOptions{true});
  for (const char* name : {"JGCSilva1", "Silvamodificado1", "Silva1"}) {
    EXPECT_TRUE(Item(program.MainWindow(), name)->isVisible()) << name;
  }
}

TEST_F(MainWindow, TheStatusBarShowsTheHintOfTheHighlightedItem) {
  Main().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main()));
  auto* analyses = Main().findChild<QMenu*>("Anlises1");
  // Opened from the menu bar, as a person opens it.
  Main().menuBar()->setActiveAction(analyses->menuAction());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(analyses));
  auto highlight = [&](const char* item) {
    QTest::mouseMove(analyses, analyses->actionGeometry(Item(Main(), item)).center());
    return Main().StatusBarHint()->currentMessage().toStdString();
  };
  EXPECT_EQ(highlight("Wricke1"), "Modelo de Wricke (1965) - Ecovalência");
  EXPECT_EQ(highlight("Toler1"), "");
  EXPECT_EQ(highlight("Eberhart1"), "Eberhart  & Russell (1966) - Regressão linear");

  analyses->hide();

  // A menu shows its own hint as it opens, and the window its own.
  Main().menuBar()->setActiveAction(Item(Main(), "Relatorios1"));
  EXPECT_EQ(Main().StatusBarHint()->currentMessage().toStdString(),
            "Apresenta os relatórios de cada análise realizada");
  Main().findChild<QMenu*>("Relatorios1")->hide();
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(Main().ClientArea(), &enter);
  EXPECT_EQ(Main().StatusBarHint()->currentMessage().toStdString(), "Quorvandelia");
}

class UrlCatcher : public QObject {
  Q_OBJECT

 public slots:
  void Open(const QUrl& url) { urls.push_back(url); }

 public:
  std::vector<QUrl> urls;
};

TEST_F(MainWindow, F1AndContentsHandTheHelpFileToTheDesktop) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "Open");
  Main().show();
  Main().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
  QTest::keyClick(&Main(), Qt::Key_F1);
  Trigger("Contedo1");
  QDesktopServices::unsetUrlHandler("file");
  const QUrl help = QUrl::fromLocalFile(
      QDir(QCoreApplication::applicationDirPath()).filePath("Quorvandelia.chm"));
  EXPECT_EQ(catcher.urls, (std::vector<QUrl>{help, help}));
  // The file is not there: no message of the program's own.
  EXPECT_TRUE(driver.Log().empty());
}

TEST_F(MainWindow, ColoursStartFromTheWindowsColourAndCancelChangesNothing) {
  const QColor initial = Main().ClientArea()->palette().color(QPalette::Window);
  EXPECT_EQ(initial, Main().palette().color(QPalette::Button));
  driver.Then([&](QWidget& dialog) {
    auto* colours = qobject_cast<QColorDialog*>(&dialog);
    ASSERT_TRUE(colours);
    EXPECT_EQ(colours->currentColor(), initial);
    colours->setCurrentColor(QColor(0, 128, 128));
    colours->reject();
  });
  Trigger("Cores1");
  EXPECT_EQ(Main().ClientArea()->palette().color(QPalette::Window), initial);
  driver.Then([](QWidget& dialog) {
    auto* colours = qobject_cast<QColorDialog*>(&dialog);
    ASSERT_TRUE(colours);
    colours->setCurrentColor(QColor(0, 128, 128));
    colours->accept();
  });
  Trigger("Cores1");
  EXPECT_EQ(Main().ClientArea()->palette().color(QPalette::Window), QColor(0, 128, 128));
  EXPECT_EQ(driver.StepsLeft(), 0u);
}

TEST_F(MainWindow, AboutShowsTheBoxUnderTheBusyCursor) {
  driver.Then([](QWidget& dialog) {
    auto* about = qobject_cast<ui::TAboutBox*>(&dialog);
    ASSERT_TRUE(about);
    ASSERT_TRUE(QApplication::overrideCursor());
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(about->windowTitle().toStdString(), "About quorvandelia");
    EXPECT_EQ(about->size(), QSize(343, 298));
    EXPECT_EQ(about->minimumSize(), about->maximumSize());
    EXPECT_TRUE(about->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(about->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    std::vector<std::string> texts;
    for (QLabel* label : about->findChildren<QLabel*>()) {
      if (!label->text().isEmpty()) texts.push_back(label->text().toStdString());
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"Quorvandelia", "Versão 3.1.0 (Build 15)"}));
    EXPECT_TRUE(about->OkButton()->isDefault());
    QTest::mouseClick(about->OkButton(), Qt::LeftButton);
  });
  Trigger("About1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindow, ShowShowsTheReportWindow) {
  EXPECT_FALSE(Report().isVisible());
  Trigger("Visualizar1");
  EXPECT_TRUE(Report().isVisible());
  EXPECT_TRUE(Report().RichEdit1()->document()->isEmpty());
}

TEST_F(MainWindow, EndingWithAnEditedReportAsksToSaveIt) {
  Main().show();
  // Nothing edited: the program ends without a question.
  Trigger("Sair1");
  EXPECT_FALSE(Main().isVisible());
  EXPECT_TRUE(driver.Log().empty());

  Main().show();
  Report().SetReportText("Análise da variável yield\r\n");
  const char* const question = "O documento  foi alterado.\r\rVocê quer salvar as alterações?";
  driver.Box(question, QMessageBox::Cancel);
  Trigger("Sair1");
  EXPECT_TRUE(Main().isVisible());  // Cancel keeps the program running
  driver.Box(question, QMessageBox::No);
  Main().close();
  EXPECT_FALSE(Main().isVisible());
  EXPECT_EQ(driver.StepsLeft(), 0u);
}

TEST_F(MainWindow, TheTableManagerIsNotYetPartOfTheProgram) {
  driver.Box("O gerenciador de tabelas ainda não faz parte desta versão do programa.");
  Trigger("Gerenciar1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
}

}  // namespace
}  // namespace qv::testing

#include "test_mainwindow.moc"
