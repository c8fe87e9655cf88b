// The desktop program's own options, and the Portuguese standard buttons of its boxes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

#include "modal_driver.h"
#include "ui/messages.h"
#include "ui/startoptions.h"

namespace qv::testing {
namespace {

TEST(StartOptions, HiddenAnalysesHelpVersionAndUnknownOptions) {
  EXPECT_TRUE(ui::ReadCommandLine({"quorvandelia", "--analises-ocultas"}).showHiddenAnalyses);
  EXPECT_FALSE(ui::ReadCommandLine({"quorvandelia"}).showHiddenAnalyses);
  EXPECT_TRUE(ui::AsksHelpOrVersion({"quorvandelia", "--help"}));
  EXPECT_TRUE(ui::AsksHelpOrVersion({"quorvandelia", "-h"}));
  EXPECT_TRUE(ui::AsksHelpOrVersion({"quorvandelia", "--version"}));
  EXPECT_FALSE(ui::AsksHelpOrVersion({"quorvandelia", "--analises-ocultas"}));
  EXPECT_EQ(ui::ReadCommandLine({"quorvandelia", "--oculta"}).error,
            "opção desconhecida \"--oculta\"");
  // The help names the hidden items by their menu captions.
  const std::string help = ui::HelpText();
  EXPECT_NE(help.find("--analises-ocultas"), std::string::npos);
  EXPECT_NE(help.find("\"JGCSilva\", \"Silva modificado\", \"Silva e Toler\""), std::string::npos);
}

TEST(Boxes, StandardButtonsReadInPortuguese) {
  ModalDriver driver;
  std::vector<std::string> texts;
  driver.Then([&](QWidget& dialog) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    ASSERT_TRUE(box);
    for (auto b : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}) {
      texts.push_back(box->button(b)->text().toStdString());
    }
    EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::Yes));
    EXPECT_EQ(box->text().toStdString(), "primeira\nsegunda\n\nquarta");
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(ui::ShowBox(nullptr, ui::TBoxKind::Confirmation, "primeira\rsegunda\r\rquarta",
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel),
            QMessageBox::No);
  EXPECT_EQ(texts, (std::vector<std::string>{"&Sim", "&Não", "Cancelar"}));

  driver.Then([&](QWidget& dialog) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->button(QMessageBox::Ok)->text().toStdString(), "OK");
    EXPECT_EQ(box->windowTitle().toStdString(), "Aviso");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    box->close();  // closing the box is its only button
  });
  EXPECT_EQ(ui::ShowBox(nullptr, ui::TBoxKind::Warning, "aviso"), QMessageBox::Ok);
  EXPECT_EQ(driver.StepsLeft(), 0u);
}

}  // namespace
}  // namespace qv::testing
