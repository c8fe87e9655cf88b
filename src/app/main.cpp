// quorvandelia: the desktop program.
#include <QApplication>
#include <QEvent>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "ui/application.h"
#include "ui/mainwindow.h"
#include "ui/startoptions.h"

namespace {

std::vector<std::string> Arguments(int argc, char** argv) {
  return {argv, argv + argc};
}

// For measuring the start-up: ends the program once the main window has been painted.
class TQuitWhenPainted : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) QTimer::singleShot(0, qApp, &QApplication::quit);
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

int main(int argc, char** argv) {
  // Help and version need no display.
  if (qv::ui::AsksHelpOrVersion(Arguments(argc, argv))) {
    const qv::ui::TCommandLine line = qv::ui::ReadCommandLine(Arguments(argc, argv));
    std::cout << (line.help ? qv::ui::HelpText() : qv::ui::VersionText());
    return 0;
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("quorvandelia"));
  // What is left after Qt took its own options (-platform, -style, ...).
  const qv::ui::TCommandLine line = qv::ui::ReadCommandLine(Arguments(argc, argv));
  if (!line.error.empty()) {
    std::cerr << "quorvandelia: " << line.error << "\n" << qv::ui::HelpText();
    return 2;
  }

  // The standard buttons of the message boxes and dialogs in Portuguese, whatever the
  // system's language: the program speaks Portuguese throughout.
  QTranslator translator;
  if (translator.load(QStringLiteral("qtbase_pt_BR"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&translator);
  }

  qv::ui::TQuorvandeliaApp program({line.showHiddenAnalyses});
  TQuitWhenPainted quitWhenPainted;
  if (std::getenv("QV_EXIT_WHEN_SHOWN")) program.MainWindow().installEventFilter(&quitWhenPainted);
  program.MainWindow().show();
  return QApplication::exec();
}
