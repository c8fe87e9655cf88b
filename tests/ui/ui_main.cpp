// The window tests run in one QApplication on the offscreen platform, with the program's
// Portuguese translation of Qt's standard buttons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  QTranslator translator;
  if (translator.load(QStringLiteral("qtbase_pt_BR"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&translator);
  }
  return RUN_ALL_TESTS();
}
