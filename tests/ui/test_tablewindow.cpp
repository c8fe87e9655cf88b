// The table manager window driven as a person drives it: its menu, its input boxes and
// questions with their exact texts, the grid's editing and record deletion, the field dialogs,
// text import and export; and what reaches the table's file each time.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <array>
#include <cerrno>

#include "app_fixture.h"
#include "tables/fieldnames.h"
#include "tables/iofault.h"
#include "tables/textimport.h"
#include "ui/fielddialogs.h"
#include "ui/graphform.h"
#include "ui/tablemodel.h"

namespace qv::testing {
namespace {

const char* const kForbidden =
    "Voce está tentando usar caracteres não permitidos, \rpelo programa, quais sejam, \"*\", "
    "\"(\" ou \")\"";
const char* const kCreateNumeric =
    "O campo é numérico? Responda <Sim> caso seja numérico e <Não> para o tipo string "
    "(alfanumérico).";
const char* const kAddNumeric =
    "O campo é numérico? Reponda <Sim> caso seja numérico e Não para o tipo string "
    "(alfanumércio).";
const char* const kFieldPrompt = " Digite o nome da variável ";

struct TStoredTable {
  std::vector<FieldDef> fields;
  std::vector<std::vector<std::string>> rows;  // every value as the grid shows it
};

// The file as another program would read it, through a table object of its own.
TStoredTable Stored(const std::string& path) {
  TDataTable t;
  t.SetName(path);
  t.Open();
  TStoredTable out{t.Fields(), {}};
  for (std::size_t r = 0; r < t.RecordCount(); ++r) {
    auto& row = out.rows.emplace_back();
    for (int f = 0; f < t.FieldCount(); ++f) {
      row.push_back(ui::TTableModel::CellText(t.ValueAt(r, f)).toStdString());
    }
  }
  return out;
}

std::vector<std::string> Names(const TStoredTable& t) {
  std::vector<std::string> out;
  for (const FieldDef& f : t.fields) out.push_back(f.name);
  return out;
}

class TableManager : public ProgramTest {
 protected:
  ui::TGraphForm& Form() { return program->GraphForm(); }
  ui::TTableModel& Model() { return Form().DataSource1(); }
  ui::TDBGrid& Grid() { return *Form().DBGrid1(); }
  void Menu(const char* item) { Item(Form(), item)->trigger(); }

  // A Paradox table gen, env, prod of these records.
  std::string Paradox(const char* name, const std::vector<std::array<double, 3>>& records) {
    const std::string path = folder.StdPath(name);
    TDataTable t;
    t.SetName(path);
    t.DefineFields({{"gen", FieldType::Float, 0},
                    {"env", FieldType::Float, 0},
                    {"prod", FieldType::Float, 0}});
    t.CreateTable();
    t.Open();
    for (const auto& r : records) {
      t.Append();
      for (int f = 0; f < 3; ++f) t.SetValue(f, TValue::Number(r[static_cast<std::size_t>(f)]));
      t.Post();
    }
    t.Close();
    return path;
  }

  // "&Abrir" with the table chosen in the file dialog.
  void Open(const std::string& path) {
    driver.File(path);
    Menu("Abrir1");
    ASSERT_TRUE(Form().Table1().IsOpen());
  }

  void Edit(int row, int column, const char* text) {
    Grid().setCurrentIndex(Model().index(row, column));
    EXPECT_TRUE(Model().setData(Model().index(row, column), QString::fromUtf8(text)));
  }
  std::string Cell(int row, int column) {
    return Model().data(Model().index(row, column)).toString().toStdString();
  }
};

TEST_F(TableManager, TheMenuIsBuiltAsTheTableSays) {
  struct Row {
    const char* menu;
    const char* member;
    const char* caption;
    bool visible;
  };
  const Row rows[] = {
      {"Arquivo1", "Abrir1", "&Abrir", true},
      {"Arquivo1", "Criar1", "&Criar", true},
      {"Arquivo1", "FEchar1", "&Fechar", true},
      {"Arquivo1", "Deletar1", "&Deletar", true},
      {"Arquivo1", "Sair1", "&Sair", true},
      {"Registros1", "Deletar2", "&Deletar", true},
      {"Registros1", "Desativar1", "D&esativar", false},
      {"Campos1", "Acrescentar1", "&Acrescentar", true},
      {"Campos1", "Deletar3", "&Deletar", true},
      {"Campos1", "Renomear1", "&Renomear", true},
  };
  for (const Row& r : rows) {
    auto* menu = Form().findChild<QMenu*>(r.menu);
    ASSERT_TRUE(menu) << r.menu;
    QAction* item = Item(Form(), r.member);
    ASSERT_TRUE(item);
    EXPECT_TRUE(menu->actions().contains(item)) << r.member;
    EXPECT_EQ(item->text().toStdString(), r.caption) << r.member;
    EXPECT_EQ(item->isVisible(), r.visible) << r.member;
  }
  // The menu bar from left to right: two submenus of their own and two commands between.
  std::vector<std::string> bar;
  for (QAction* a : Form().findChild<QMenuBar*>("MainMenu1")->actions()) {
    bar.push_back(a->objectName().toStdString() + "=" + a->text().toStdString());
  }
  EXPECT_EQ(bar, (std::vector<std::string>{"Arquivo1=&Arquivo", "Exportat1=&Importar",
                                           "Exportat2=&Exportar", "Registros1=&Registros",
                                           "Campos1=&Campos"}));
  EXPECT_EQ(Form().windowTitle().toStdString(), "Arquivos");
  EXPECT_EQ(Grid().Mode(), ui::TGridMode::Browse);
  EXPECT_EQ(&Form().Table1(), &program->Session().table);
}

TEST_F(TableManager, CreateAsksForEveryFieldAndRefusesForbiddenCharacters) {
  const std::string path = folder.StdPath("nova.db");
  driver.File(path);
  driver.Input("Número de campos", "Digite o número de campos (Colunas ) da tabela:", std::nullopt);
  driver.Input("Número de campos", "Digite o número de campos (Colunas ) da tabela:", " 3");
  driver.Input("Campo 1", kFieldPrompt, "prod(t)");
  driver.Box(kForbidden);
  driver.Input("Campo 1", kFieldPrompt, "gen");
  driver.Box(kCreateNumeric, QMessageBox::Yes);
  driver.Input("Campo 2", kFieldPrompt, std::nullopt);  // "Var2"
  driver.Box(kCreateNumeric, QMessageBox::No);
  // A name the table already has is asked again at once, with the reason.
  driver.Input("Campo 3", kFieldPrompt, "GEN");
  driver.Box(NewFieldNameProblem(TableType::Paradox, {"gen", "Var2"}, "GEN"));
  driver.Input("Campo 3", kFieldPrompt, "prod");
  driver.Box(kCreateNumeric, QMessageBox::Yes);
  Menu("Criar1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_EQ(driver.Logged("file:"), std::vector<std::string>{"Salvar como:DB (*.DB *.db)"});

  const TStoredTable stored = Stored(path);
  EXPECT_EQ(stored.fields, (std::vector<FieldDef>{{"gen", FieldType::Float, 0},
                                                  {"Var2", FieldType::String, 30},
                                                  {"prod", FieldType::Float, 0}}));
  EXPECT_TRUE(stored.rows.empty());
  ASSERT_TRUE(Form().Table1().IsOpen());
  EXPECT_EQ(Grid().Mode(), ui::TGridMode::Edit);
  // An empty table shows one blank row; typing into it makes the first record.
  EXPECT_EQ(Model().columnCount(), 3);
  ASSERT_EQ(Model().rowCount(), 1);
  Edit(0, 0, "1");
  Edit(0, 1, "BRS 264");
  Menu("FEchar1");
  EXPECT_EQ(Stored(path).rows, (std::vector<std::vector<std::string>>{{"1", "BRS 264", ""}}));
}

TEST_F(TableManager, FieldCountsOfCreate) {
  struct Case {
    const char* answer;
    std::vector<std::string> steps;  // what follows the count box
    bool created;
  };
  // Zero gives the one field that is always asked; a word ends the command.
  const Case cases[] = {{"0", {"field"}, true},
                        {"dois", {"error:'dois' não é um valor inteiro válido"}, false},
                        {"300", {"error:Uma tabela tem no máximo 255 campos."}, false}};
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "t" + std::to_string(n++) + ".db";
    const std::string path = folder.StdPath(name.c_str());
    driver.File(path);
    driver.Input("Número de campos", "Digite o número de campos (Colunas ) da tabela:", c.answer);
    for (const std::string& s : c.steps) {
      if (s == "field") {
        driver.Input("Campo 1", kFieldPrompt, std::nullopt);
        driver.Box(kCreateNumeric, QMessageBox::Yes);
      } else {
        driver.Box(s.substr(6));
      }
    }
    Menu("Criar1");
    EXPECT_EQ(driver.StepsLeft(), 0u) << c.answer;
    EXPECT_EQ(QFileInfo::exists(QString::fromStdString(path)), c.created) << c.answer;
    if (c.created) {
      EXPECT_EQ(Names(Stored(path)), std::vector<std::string>{"Var1"});
    }
  }
  EXPECT_EQ(driver.Logged("box:").at(1), "Erro:'dois' não é um valor inteiro válido");
}

TEST_F(TableManager, AnEditIsPostedWhenTheRecordIsLeftAndARefusedOneLeavesTheFile) {
  const std::string path = Paradox("medias.db", {{1, 1, 10.5}, {1, 2, 11}, {2, 1, 9.25}});
  Open(path);
  QAbstractItemModelTester tester(&Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  EXPECT_EQ(Grid().Mode(), ui::TGridMode::Edit);
  EXPECT_EQ(Model().rowCount(), 3);
  EXPECT_EQ(Model().headerData(2, Qt::Horizontal).toString().toStdString(), "prod");
  EXPECT_EQ(Cell(0, 2), "10.5");
  EXPECT_EQ(Model().data(Model().index(1, 0), Qt::TextAlignmentRole).value<Qt::Alignment>(),
            Qt::AlignRight | Qt::AlignVCenter);

  Edit(0, 2, "12.75");
  EXPECT_EQ(Cell(0, 2), "12.75");
  EXPECT_EQ(Model().headerData(0, Qt::Vertical).toString().toStdString(), "I");
  EXPECT_EQ(Stored(path).rows[0][2], "10.5");   // still in the record being edited
  Grid().setCurrentIndex(Model().index(2, 2));  // leaving the record posts it
  EXPECT_EQ(Stored(path).rows[0][2], "12.75");

  // A word in a numeric field: the layer's message, and the record as it was.
  driver.Then([](QWidget& dialog) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->windowTitle().toStdString(), "Erro");
    EXPECT_FALSE(box->text().isEmpty());
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_FALSE(Model().setData(Model().index(2, 2), QStringLiteral("muito")));
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_EQ(Cell(2, 2), "9.25");

  // A post the disk refuses: the message, the edit dropped, the file byte for byte as it was.
  const std::string before = ReadFile(QString::fromStdString(path));
  Edit(2, 2, "99");
  detail::SetIoFaultHook([](detail::IoStep) { return EIO; });
  std::string message;
  driver.Then([&message](QWidget& dialog) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    ASSERT_TRUE(box);
    message = box->windowTitle().toStdString() + ":" + box->text().toStdString();
    box->button(QMessageBox::Ok)->click();
  });
  Grid().setCurrentIndex(Model().index(0, 2));
  detail::SetIoFaultHook({});
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_EQ(message.rfind("Erro:", 0), 0u) << message;
  EXPECT_NE(message.find("medias.db"), std::string::npos) << message;
  EXPECT_EQ(ReadFile(QString::fromStdString(path)), before);
  EXPECT_EQ(Cell(2, 2), "9.25");
  EXPECT_FALSE(Form().Table1().IsEditing());

  // Down on the last row appends a record; Esc drops it unposted.
  Grid().setCurrentIndex(Model().index(2, 0));
  QTest::keyClick(&Grid(), Qt::Key_Down);
  EXPECT_EQ(Model().rowCount(), 4);
  EXPECT_EQ(Model().headerData(3, Qt::Vertical).toString().toStdString(), "*");
  QTest::keyClick(&Grid(), Qt::Key_Escape);
  EXPECT_EQ(Model().rowCount(), 3);
  // Insert makes a new record before the current one; left unchanged it is dropped, and the
  // row picked below it is the record it was.
  Grid().setCurrentIndex(Model().index(1, 0));
  QTest::keyClick(&Grid(), Qt::Key_Insert);
  EXPECT_EQ(Model().rowCount(), 4);
  EXPECT_EQ(Model().headerData(1, Qt::Vertical).toString().toStdString(), "*");
  EXPECT_EQ(Cell(2, 0), "1");
  Grid().setCurrentIndex(Model().index(3, 2));
  EXPECT_EQ(Model().rowCount(), 3);
  EXPECT_EQ(Form().Table1().RecNo(), 2u);
  EXPECT_EQ(Grid().currentIndex().row(), 2);
  // Inserted and typed into, it is posted in its place.
  Grid().setCurrentIndex(Model().index(1, 0));
  QTest::keyClick(&Grid(), Qt::Key_Insert);
  Edit(1, 0, "5");
  Grid().setCurrentIndex(Model().index(0, 0));
  EXPECT_EQ(Stored(path).rows[1], (std::vector<std::string>{"5", "", ""}));
  EXPECT_EQ(Stored(path).rows.size(), 4u);
  Form().Table1().GoTo(1);
  Form().Table1().DeleteRecord();
  Model().Refresh();
  // Appended and typed into, it reaches the file when the window closes.
  Grid().setCurrentIndex(Model().index(2, 0));
  QTest::keyClick(&Grid(), Qt::Key_Down);
  Edit(3, 0, "2");
  Edit(3, 1, "2");
  Menu("Sair1");
  EXPECT_EQ(Stored(path).rows.back(), (std::vector<std::string>{"2", "2", ""}));
  EXPECT_TRUE(Form().Table1().IsOpen());
}

TEST_F(TableManager, RecordsAreDeletedWithCtrlDelAfterTheGridAsks) {
  // No table: the command does nothing.
  Menu("Deletar2");
  EXPECT_TRUE(Item(Form(), "Deletar2")->isVisible());

  const std::string path = Paradox("medias.db", {{1, 1, 1}, {1, 2, 2}, {2, 1, 3}, {2, 2, 4}});
  Open(path);
  QAbstractItemModelTester tester(&Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  driver.Box(
      "Tecle <Ctrl Del> para deletar registros e desative o processo quando acabar\r Para "
      "retomar o processo de edição");
  Menu("Deletar2");
  EXPECT_FALSE(Item(Form(), "Deletar2")->isVisible());
  EXPECT_TRUE(Item(Form(), "Desativar1")->isVisible());
  EXPECT_EQ(Grid().Mode(), ui::TGridMode::RecordDeletion);

  Grid().setCurrentIndex(Model().index(0, 0));
  Grid().selectionModel()->select(Model().index(2, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
  driver.Box("Excluir todos os registros selecionados?", QMessageBox::No);
  QTest::keyClick(&Grid(), Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(Stored(path).rows.size(), 4u);
  driver.Box("Excluir todos os registros selecionados?", QMessageBox::Yes);
  QTest::keyClick(&Grid(), Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(Stored(path).rows,
            (std::vector<std::vector<std::string>>{{"1", "2", "2"}, {"2", "2", "4"}}));
  EXPECT_EQ(Model().rowCount(), 2);

  driver.Box("Você está novamente no modo de edição!");
  Menu("Desativar1");
  EXPECT_TRUE(Item(Form(), "Deletar2")->isVisible());
  EXPECT_FALSE(Item(Form(), "Desativar1")->isVisible());
  EXPECT_EQ(Grid().Mode(), ui::TGridMode::AfterDeletion);
  // Outside record deletion Ctrl+Del deletes the current record.
  Grid().setCurrentIndex(Model().index(1, 1));
  driver.Box("Excluir registro?", QMessageBox::Yes);
  QTest::keyClick(&Grid(), Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(Stored(path).rows, (std::vector<std::vector<std::string>>{{"1", "2", "2"}}));
  EXPECT_EQ(driver.StepsLeft(), 0u);
}

TEST_F(TableManager, FieldsAreAddedAndDeleted) {
  driver.File("");
  driver.Box("Tabela não encontrada neste diretório");
  Menu("Acrescentar1");
  driver.File("");
  driver.Box("Tabela não encontrada neste diretório");
  Menu("Deletar3");
  EXPECT_EQ(driver.StepsLeft(), 0u);

  const std::string path = Paradox("medias.db", {{1, 1, 10}, {2, 1, 20}});
  Open(path);
  // Adding accepts the characters create refuses.
  driver.Input("Número de novos campos",
               "Digite o número de novos campos (Colunas) da tabela:", "2");
  driver.Input("Campo 1", kFieldPrompt, "peso(g)");
  driver.Box(kAddNumeric, QMessageBox::Yes);
  driver.Input("Campo 2", kFieldPrompt, std::nullopt);
  driver.Box(kAddNumeric, QMessageBox::No);
  Menu("Acrescentar1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  TStoredTable stored = Stored(path);
  EXPECT_EQ(Names(stored), (std::vector<std::string>{"gen", "env", "prod", "peso(g)", "Var2"}));
  EXPECT_EQ(stored.fields[4], (FieldDef{"Var2", FieldType::String, 30}));
  EXPECT_EQ(stored.rows[1], (std::vector<std::string>{"2", "1", "20", "", ""}));
  EXPECT_EQ(Model().columnCount(), 5);

  // TField_Del lists the fields; the one picked goes, Cancelar keeps them all.
  auto pick = [this](int row) {
    driver.Then([row](QWidget& dialog) {
      auto& del = static_cast<ui::TField_Del&>(dialog);
      EXPECT_EQ(dialog.windowTitle().toStdString(), "Deleção de campos");
      EXPECT_EQ(del.LB_Var()->count(), 5);
      if (row < 0) {
        QTest::mouseClick(dialog.findChild<QPushButton*>("BitBtnCancelar"), Qt::LeftButton);
        return;
      }
      const QRect cell = del.LB_Var()->visualItemRect(del.LB_Var()->item(row));
      QTest::mouseClick(del.LB_Var()->viewport(), Qt::LeftButton, {}, cell.center());
      QTest::mouseClick(dialog.findChild<QPushButton*>("BitBtnOk"), Qt::LeftButton);
    });
  };
  pick(-1);
  Menu("Deletar3");
  EXPECT_EQ(Stored(path).fields.size(), 5u);
  pick(2);
  Menu("Deletar3");
  stored = Stored(path);
  EXPECT_EQ(Names(stored), (std::vector<std::string>{"gen", "env", "peso(g)", "Var2"}));
  EXPECT_EQ(stored.rows[1], (std::vector<std::string>{"2", "1", "", ""}));
  EXPECT_EQ(Model().columnCount(), 4);
  EXPECT_EQ(driver.StepsLeft(), 0u);

  // The only field of a table: the table goes with it.
  TDataTable one;
  const std::string lone = folder.StdPath("um.db");
  one.SetName(lone);
  one.DefineFields({{"x", FieldType::Float, 0}});
  one.CreateTable();
  Open(lone);
  driver.Then([](QWidget& dialog) {
    auto& del = static_cast<ui::TField_Del&>(dialog);
    del.LB_Var()->setCurrentRow(0);
    QTest::mouseClick(dialog.findChild<QPushButton*>("BitBtnOk"), Qt::LeftButton);
  });
  Menu("Deletar3");
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(lone)));
  EXPECT_FALSE(Form().Table1().IsOpen());
}

TEST_F(TableManager, RenameStagesNamesAndAppliesThemTogether) {
  driver.Box("Tabela não está ativada");
  Menu("Renomear1");

  const std::string path = Paradox("medias.db", {{1, 1, 10}});
  Open(path);
  struct Step {
    int row;
    const char* name;
    std::string refusal;  // "" when staged
  };
  const std::vector<std::string> names{"gen", "env", "prod"};
  const Step steps[] = {
      {0, "", "O nome do campo não pode ficar em branco."},
      {0, "gen(1)", kForbidden},
      {0, "ENV", FieldRenameProblem(TableType::Paradox, names, 0, "ENV")},
      {2, "produtividade_media_kg_ha", ""},  // 25 characters, the most Paradox holds
      {2, "produtividade_media_kg_ha2",
       FieldRenameProblem(TableType::Paradox, names, 2, "produtividade_media_kg_ha2")},
      {0, "genotipo", ""},
      {-1, "x", "Selecione na lista o nome da coluna que deseja trocar."},
  };
  for (const Step& s : steps) {
    ASSERT_FALSE(s.refusal.empty() && s.row < 0);
  }
  driver.Then([&](QWidget& dialog) {
    auto& form = static_cast<ui::TForm_nomes&>(dialog);
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Nomes");
    EXPECT_FALSE(dialog.findChild<QListWidget*>("ListBox_sel")->isVisible());
    for (const Step& s : steps) {
      if (s.row >= 0) {
        const QRect cell = form.LB_nomes()->visualItemRect(form.LB_nomes()->item(s.row));
        QTest::mouseClick(form.LB_nomes()->viewport(), Qt::LeftButton, {}, cell.center());
      } else {
        form.LB_nomes()->clearSelection();
        form.LB_nomes()->setCurrentRow(-1);
      }
      form.Edit_nn()->setText(QString::fromUtf8(s.name));
      if (!s.refusal.empty()) driver.Box(s.refusal);
      QTest::mouseClick(dialog.findChild<QPushButton*>("Trocar"), Qt::LeftButton);
      EXPECT_EQ(driver.StepsLeft(), 0u) << s.name;
    }
    // Nothing written until Efetivar.
    EXPECT_EQ(Names(Stored(path)), names);
    EXPECT_EQ(form.LB_nomes()->item(2)->text().toStdString(), "produtividade_media_kg_ha");
    QTest::mouseClick(dialog.findChild<QPushButton*>("Efetivar"), Qt::LeftButton);
  });
  Menu("Renomear1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_FALSE(Form().Form_nomes().isVisible());
  EXPECT_EQ(Names(Stored(path)),
            (std::vector<std::string>{"genotipo", "env", "produtividade_media_kg_ha"}));
  EXPECT_EQ(Model().headerData(0, Qt::Horizontal).toString().toStdString(), "genotipo");

  // Abandonar: staged names are forgotten.
  driver.Then([](QWidget& dialog) {
    auto& form = static_cast<ui::TForm_nomes&>(dialog);
    form.LB_nomes()->setCurrentRow(1);
    form.Edit_nn()->setText("ambiente");
    QTest::mouseClick(dialog.findChild<QPushButton*>("Trocar"), Qt::LeftButton);
    QTest::mouseClick(dialog.findChild<QPushButton*>("Abandonar"), Qt::LeftButton);
  });
  Menu("Renomear1");
  EXPECT_EQ(Names(Stored(path))[1], "env");
}

TEST_F(TableManager, DeletingATableFileAsksFirst) {
  const std::string path = Paradox("velha.db", {{1, 1, 1}});
  const std::string question = "Tem certeza que deseja deletar o arquivo " + path + "?";
  driver.File(path);
  driver.Box(question, QMessageBox::No);
  Menu("Deletar1");
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(path)));
  driver.File(path);
  driver.Box(question, QMessageBox::Yes);
  Menu("Deletar1");
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path)));
  EXPECT_EQ(driver.StepsLeft(), 0u);
  // The open dialog has its own title again afterwards.
  driver.File("");
  Menu("Abrir1");
  const auto files = driver.Logged("file:");
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].substr(0, files[0].find(':')), "Deletar ");
  EXPECT_EQ(files[2].substr(0, files[2].find(':')), "Abrir");

  // A file that is not a table: it does not open, and it is not deleted.
  WriteFile(folder.Path("texto.db"), "isto não é uma tabela");
  const std::string text = folder.StdPath("texto.db");
  driver.File(text);
  driver.Box("Tente mudar o nome do diretório e arquivo para um nome sem acentos");
  Menu("Abrir1");
  EXPECT_FALSE(Form().Table1().IsOpen());
  EXPECT_EQ(Model().rowCount(), 0);
  driver.File(text);
  driver.Then([](QWidget& dialog) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->windowTitle().toStdString(), "Erro");
    EXPECT_NE(box->text().toStdString().find("texto.db"), std::string::npos);
    box->button(QMessageBox::Ok)->click();
  });
  Menu("Deletar1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_EQ(ReadFile(QString::fromStdString(text)), "isto não é uma tabela");
}

TEST_F(TableManager, ImportBuildsATableAndExportWritesItWithTheSystemsSeparator) {
  WriteFile(folder.Path("dados.txt"), "1.5 2 3\r\n4,5;6\r\n\r\n");
  const std::string target = folder.StdPath("importada");  // the extension comes from the dialog
  // Cancelled at the warning, then at the source: nothing is made.
  driver.Box(kImportWarning, QMessageBox::Cancel);
  Menu("Exportat1");
  driver.Box(kImportWarning, QMessageBox::Ok);
  driver.File("");
  driver.Box(kNoFileSelected);
  Menu("Exportat1");
  EXPECT_EQ(driver.StepsLeft(), 0u);

  driver.Box(kImportWarning, QMessageBox::Ok);
  driver.File(folder.StdPath("dados.txt"));
  driver.File(target);
  Menu("Exportat1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_EQ(driver.Logged("file:"),
            (std::vector<std::string>{"Abrir:Text files *.* (*)", "Abrir:Text files *.* (*)",
                                      "Salvar como:DB (*.DB *.db)"}));
  EXPECT_EQ(program->DirectoryForm().DefaultExtension().toStdString(), "DB");
  ASSERT_TRUE(Form().Table1().IsOpen());
  EXPECT_EQ(Model().rowCount(), 2);
  EXPECT_EQ(Model().headerData(2, Qt::Horizontal).toString().toStdString(), "Var. 3");
  EXPECT_EQ(Cell(1, 1), "5");
  const TStoredTable stored = Stored(target + ".DB");
  EXPECT_EQ(stored.rows,
            (std::vector<std::vector<std::string>>{{"1.5", "2", "3"}, {"4", "5", "6"}}));
  EXPECT_FALSE(QFileInfo::exists(folder.Path("TmpF%#@.DB@")));

  // A value typed into the grid is posted before the export writes the table.
  Grid().SetMode(ui::TGridMode::Edit);
  Edit(1, 2, "");
  program->Session().decimalSeparator = ',';
  const std::string text = folder.StdPath("saida.txt");
  driver.File(text);
  Menu("Exportat2");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  const std::string exported = "Var. 1 Var. 2 Var. 3 \r\n1,5  2  3  \r\n4  5  . \r\n";
  EXPECT_EQ(ReadFile(QString::fromStdString(text)), exported);

  // Onto an existing file: the dialog asks, then the command; No writes nothing.
  Edit(0, 0, "7");
  driver.File(text);
  driver.Then([](QWidget& dialog) {  // the file dialog's own question
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    ASSERT_TRUE(box);
    box->button(QMessageBox::Yes)->click();
  });
  driver.Box(kFileExistsQuestion, QMessageBox::No);
  Menu("Exportat2");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_EQ(driver.Logged("box:").back(), "Aviso:" + BoxLines(kFileExistsQuestion));
  EXPECT_EQ(ReadFile(QString::fromStdString(text)), exported);
}

TEST_F(TableManager, AnAnalysisBorrowsTheTableAndLeavesItClosed) {
  const std::string path = Paradox("medias.db", {{1, 1, 10}, {1, 2, 12}, {2, 1, 14}, {2, 2, 20}});
  Open(path);
  Menu("Sair1");
  driver.File(path);
  driver.Params({{"EditNum_gen", "2"}, {"EditNum_amb", "2"}, {"EditNum_rep", "1"}}, 0, 1);
  driver.Box(kConfirmParams, QMessageBox::Yes);
  Trigger("Wricke1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_NE(WindowReport(Report()).find("Análise da variável prod"), std::string::npos);
  EXPECT_FALSE(program->Session().table.IsOpen());
  // The manager shows the table as the analysis left it: closed.
  driver.Then([this](QWidget& dialog) {
    EXPECT_EQ(&dialog, &Form());
    EXPECT_EQ(Model().rowCount(), 0);
    EXPECT_EQ(Model().columnCount(), 0);
    Item(Form(), "Sair1")->trigger();
  });
  Trigger("Gerenciar1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
}

}  // namespace
}  // namespace qv::testing
