// The desktop program as a test drives it: the application object with all its windows, a
// driver answering its dialogs, and tables of genotype means in a folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <memory>
#include <string>
#include <vector>

#include "modal_driver.h"
#include "ui/application.h"
#include "ui/mainwindow.h"
#include "ui/notarich.h"
#include "ui_helpers.h"

namespace qv::testing {

inline const char* const kConfirmParams = "Esta tudo Ok com as definições dos Parâmetros?";

// The report as the program writes it, from the report window's document: every paragraph a
// line ending in CR LF.
inline std::string WindowReport(ui::TFormNotaRich& window) {
  const QTextDocument& document = *window.RichEdit1()->document();
  if (document.isEmpty()) return {};
  std::string out;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    out += block.text().toStdString() + "\r\n";
  }
  return out;
}

class ProgramTest : public ::testing::Test {
 protected:
  explicit ProgramTest(bool showHidden = false)
      : program(std::make_unique<ui::TQuorvandeliaApp>(ui::TStartOptions{showHidden})) {}

  ui::TQuorvandelia1& Main() { return program->MainWindow(); }
  ui::TFormNotaRich& Report() { return program->NotaRich(); }
  void Trigger(const char* item) { Item(Main(), item)->trigger(); }
  std::string Table(const std::string& csv, const char* name = "medias.csv") {
    WriteFile(folder.Path(name), csv);
    return folder.StdPath(name);
  }

  Folder folder;
  std::unique_ptr<ui::TQuorvandeliaApp> program;
  ModalDriver driver;
};

}  // namespace qv::testing
