// The report window: its menu and toolbar, the save-changes question in every path, files,
// fonts and paragraphs, and the other commands, through the real widgets.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontInfo>
#include <QPrintDialog>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>
#include <QToolBar>
#include <memory>

#include "modal_driver.h"
#include "richtext/rtf.h"
#include "ui/documentfiles.h"
#include "ui/notarich.h"
#include "ui_helpers.h"

namespace qv::testing {
namespace {

using ui::TFormNotaRich;

const char* const kReport = "Análise da variável yield\r\n     1     10.5\r\n";
const char* const kSaveQuestion = "O documento  foi alterado.\r\rVocê quer salvar as alterações?";

std::string SaveQuestion(const QString& fileName) {
  return "O documento " + fileName.toStdString() +
         " foi alterado.\r\rVocê quer salvar as alterações?";
}

class NotaRich : public ::testing::Test {
 protected:
  NotaRich() : window(std::make_unique<TFormNotaRich>(files)) {}
  QTextEdit& Editor() { return *window->RichEdit1(); }
  std::string Text() { return Editor().toPlainText().toStdString(); }
  void Trigger(const char* item) { Item(*window, item)->trigger(); }
  void SelectAll() {
    QTextCursor c = Editor().textCursor();
    c.select(QTextCursor::Document);
    Editor().setTextCursor(c);
  }
  void CaretAt(int position) {
    QTextCursor c = Editor().textCursor();
    c.setPosition(position);
    Editor().setTextCursor(c);
  }

  ui::TReportDocumentFiles files;
  std::unique_ptr<TFormNotaRich> window;
  ModalDriver driver;
  Folder folder;
};

TEST_F(NotaRich, MenuAndToolbarCarryTheirCaptionsAndHints) {
  struct ItemCase {
    const char* name;
    const char* caption;
    QKeySequence shortcut;
  };
  const ItemCase items[] = {
      {"Novo1", "&Novo", {}},
      {"Abrir1", "&Abrir...", {}},
      {"Salvar1", "&Salvar", {}},
      {"SalvarComo1", "Salvar &Como...", {}},
      {"Imprimir1", "&Imprimir", {}},
      {"Sair1", "Sai&r", {}},
      {"Undo1", "&Undo", {}},
      {"Recortar1", "&Recortar", QKeySequence(Qt::CTRL | Qt::Key_X)},
      {"Copiar1", "&Copiar", QKeySequence(Qt::CTRL | Qt::Key_C)},
      {"Colar1", "Co&lar", QKeySequence(Qt::CTRL | Qt::Key_V)},
      {"TimesRoman1", "&Times New Roman", {}},
      {"Courier1", "&Courier New", {}},
      {"Arial1", "&Arial", {}},
      {"Negrito1", "&Negrito", {}},
      {"Italico1", "&Itálico", {}},
      {"Pequena1", "&Pequena (10)", {}},
      {"Media1", "&Média (14)", {}},
      {"Grande1", "&Grande (18)", {}},
      {"Mais1", "Mais &Fontes...", {}},
      {"Inserirmarcas1", "&Inserir marcas", {}},
      {"AlinEsq1", "Alinhado à &Esquerda", {}},
      {"AlinDir1", "Alinhado à &Direita", {}},
      {"Centralizado1", "&Centralizado", {}},
      {"CorFundo1", "Cor de &Fundo...", {}},
      {"SoLeitura1", "Somente &Leitura", {}},
      {"Contachars1", "&Conta caracteres...", {}},
      {"Sobre1", "&Sobre o relatório...", {}},
      {"Arquivo1", "&Arquivo", {}},
      {"Editar1", "&Editar", {}},
      {"Fonte1", "&Fonte", {}},
      {"Paragrafo1", "&Parágrafo", {}},
      {"Opcoes1", "&Opções", {}},
      {"Ajuda1", "Aj&uda", {}},
  };
  for (const ItemCase& c : items) {
    QAction* a = Item(*window, c.name);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->text().toStdString(), c.caption) << c.name;
    EXPECT_EQ(a->shortcut(), c.shortcut) << c.name;
    EXPECT_TRUE(a->isVisible()) << c.name;
  }
  EXPECT_FALSE(Item(*window, "Janela_F")->isVisible());
  EXPECT_EQ(Item(*window, "Janela_F")->text().toStdString(), "&Janela");

  // Checked at start, whatever the document's own font.
  for (const char* name : {"TimesRoman1", "Media1", "AlinEsq1"}) {
    EXPECT_TRUE(Item(*window, name)->isChecked()) << name;
  }
  for (const char* name : {"Courier1", "Arial1", "Negrito1", "Italico1", "Pequena1", "Grande1",
                           "AlinDir1", "Centralizado1", "SoLeitura1"}) {
    EXPECT_FALSE(Item(*window, name)->isChecked()) << name;
  }

  const std::pair<const char*, const char*> buttons[] = {
      {"TAABRIR", "Abrir novo arquivo"},
      {"tbsc", "Salvar como"},
      {"tbPRINT", "Imprimir o documento"},
      {"TBUNDO", "Undo"},
      {"TBCUT", "Cortar texto selecionado"},
      {"tbcopiar", "Copiar texto selecionado"},
      {"tbcolar", "Colar"},
      {"tbbold", "Negrito no texto selecionado ou no texto todo"},
      {"tbitalico", "Itálico no texto selecionado ou no texto todo"},
      {"tbunder", "Sublinhar o texto selecionado ou no texto todo"},
      {"tbae", "Alinhar parágrafo à esquerda"},
      {"tbac", "Centralizar parágrafo"},
      {"tbaesq", "Alinhar à direita"},
      {"tbmarcar", "Inserir/retirar marcas do parágrafo"},
  };
  auto* toolbar = window->findChild<QToolBar*>("ToolB");
  ASSERT_TRUE(toolbar);
  std::vector<std::string> names, hints;
  for (QAction* a : toolbar->actions()) {
    if (a->isSeparator()) continue;
    names.push_back(a->objectName().toStdString());
    hints.push_back(a->toolTip().toStdString());
  }
  ASSERT_EQ(names.size(), std::size(buttons));
  for (std::size_t k = 0; k < names.size(); ++k) {
    EXPECT_EQ(names[k], buttons[k].first);
    EXPECT_EQ(hints[k], buttons[k].second) << names[k];
  }
  EXPECT_EQ(window->windowTitle().toStdString(), "Relatórios em RTF");
}

TEST_F(NotaRich, AReportFillsTheDocumentInTheReportFontAndCountsAsAChange) {
  EXPECT_FALSE(window->IsModified());
  window->SetReportText(kReport);
  EXPECT_TRUE(window->IsModified());
  EXPECT_EQ(Text(), "Análise da variável yield\n     1     10.5");
  const QFont font = Editor().document()->defaultFont();
  EXPECT_EQ(font.family().toStdString(), "Courier New");
  EXPECT_EQ(font.pointSize(), 10);
  EXPECT_EQ(Editor().lineWrapMode(), QTextEdit::NoWrap);
  EXPECT_EQ(Editor().horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(Editor().verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_FALSE(Editor().tabChangesFocus());
  // The report is not an edit: there is nothing to undo.
  EXPECT_FALSE(Editor().document()->isUndoAvailable());

  // The marks follow the selection: Courier New, 10 points.
  CaretAt(3);
  EXPECT_TRUE(Item(*window, "Courier1")->isChecked());
  EXPECT_FALSE(Item(*window, "TimesRoman1")->isChecked());
  EXPECT_TRUE(Item(*window, "Pequena1")->isChecked());
  EXPECT_FALSE(Item(*window, "Media1")->isChecked());
}

TEST_F(NotaRich, ClosingAfterAReportAsksAndCancelKeepsTheWindow) {
  window->SetReportText(kReport);
  window->ShowReport();
  ASSERT_TRUE(window->isVisible());
  EXPECT_TRUE(window->isMaximized());
  driver.Box(kSaveQuestion, QMessageBox::Cancel);
  Trigger("Sair1");
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->IsModified());

  driver.Box(kSaveQuestion, QMessageBox::No);
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(window->IsModified());
  EXPECT_EQ(driver.StepsLeft(), 0u);
  // At exit the version the user chose not to save is not asked about again...
  EXPECT_TRUE(window->QuerySaveAtExit());
  // ...but a later change is.
  Editor().insertPlainText("x");
  driver.Box(kSaveQuestion, QMessageBox::Cancel);
  EXPECT_FALSE(window->QuerySaveAtExit());
  EXPECT_EQ(driver.StepsLeft(), 0u);
}

TEST_F(NotaRich, YesWithoutAFileNameSavesUnderANewName) {
  window->SetReportText(kReport);
  window->ShowReport();
  const QString path = folder.Path("relatorio.rtf");
  driver.Box(kSaveQuestion, QMessageBox::Yes);
  driver.File(path.toStdString());
  driver.Box("relatorio.rtf\rEste arquivo não existe.\rDeseja criá-lo?", QMessageBox::Yes);
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->IsModified());
  EXPECT_EQ(window->FileName(), path);
  EXPECT_EQ(window->windowTitle(), "NotaRich - " + path);
  EXPECT_EQ(
      driver.Logged("file:"),
      std::vector<std::string>{"Salvar como:Arquivo Rich Text (*.rtf)|Todos os arquivos (*)"});
  EXPECT_EQ(ReadFile(path).rfind("{\\rtf1", 0), 0u);  // saved as Rich Text

  // With a file name, Yes saves to it without asking for a name.
  Editor().moveCursor(QTextCursor::End);
  Editor().insertPlainText("fim");
  window->ShowReport();
  driver.Box(SaveQuestion(path), QMessageBox::Yes);
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->IsModified());
  EXPECT_EQ(driver.StepsLeft(), 0u);

  // The saved document reads back as it was.
  TFormNotaRich other(files);
  driver.File(path.toStdString());
  Item(other, "Abrir1")->trigger();
  EXPECT_EQ(other.RichEdit1()->toPlainText(), Editor().toPlainText());
  EXPECT_FALSE(other.IsModified());
  EXPECT_EQ(other.windowTitle(), "NotaRich - " + path);
}

TEST_F(NotaRich, YesThenCancellingTheSaveDialogKeepsTheWindowOpen) {
  window->SetReportText(kReport);
  window->ShowReport();
  driver.Box(kSaveQuestion, QMessageBox::Yes);
  driver.File("");
  window->close();
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->IsModified());
  EXPECT_EQ(driver.StepsLeft(), 0u);
}

TEST_F(NotaRich, SaveOnlyWhenModifiedAndSaveAsAlwaysAsks) {
  Trigger("Salvar1");  // nothing to save: no dialog
  EXPECT_TRUE(driver.Log().empty());

  window->SetReportText(kReport);
  driver.File("");  // a modified new document asks for a name
  Trigger("Salvar1");
  EXPECT_EQ(driver.Logged("file:").size(), 1u);
  EXPECT_TRUE(window->IsModified());

  const QString path = folder.Path("r.rtf");
  WriteFile(path, "old");
  driver.File(path.toStdString());
  // Replacing a file asks first (the file dialog's own question).
  driver.Then([](QWidget& dialog) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    ASSERT_TRUE(box);
    box->button(QMessageBox::Yes)->click();
  });
  Trigger("SalvarComo1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_FALSE(window->IsModified());
  EXPECT_NE(ReadFile(path), "old");
  EXPECT_EQ(window->windowTitle(), "NotaRich - " + path);
}

TEST_F(NotaRich, NewAsksFirstThenEmptiesTheDocument) {
  window->SetReportText(kReport);
  driver.Box(kSaveQuestion, QMessageBox::Cancel);
  Trigger("Novo1");
  EXPECT_EQ(Text(), "Análise da variável yield\n     1     10.5");

  driver.Box(kSaveQuestion, QMessageBox::No);
  Trigger("Novo1");
  EXPECT_TRUE(Editor().document()->isEmpty());
  EXPECT_FALSE(window->IsModified());
  EXPECT_TRUE(window->FileName().isEmpty());
  EXPECT_EQ(window->windowTitle().toStdString(), "NotaRich - [Sem Título]");
  EXPECT_EQ(driver.StepsLeft(), 0u);
}

TEST_F(NotaRich, OpenReadsAPlainTextFile) {
  const QString path = folder.Path("notas.txt");
  WriteFile(path, "linha um\r\nlinha dois ç\r\n");
  driver.File(path.toStdString());
  Trigger("Abrir1");
  EXPECT_EQ(Text(), "linha um\nlinha dois ç");
  // In the report's font.
  CaretAt(2);
  EXPECT_TRUE(Item(*window, "Courier1")->isChecked());
  EXPECT_TRUE(Item(*window, "Pequena1")->isChecked());
  EXPECT_FALSE(window->IsModified());
  EXPECT_EQ(window->windowTitle(), "NotaRich - " + path);
  EXPECT_EQ(driver.Logged("file:"),
            std::vector<std::string>{"Abrir:Arquivo Rich Text (*.rtf)|Todos os arquivos (*)"});

  // A second document takes the first one's place, in the window's font, and is edited as
  // any other.
  const QString second = folder.Path("outro.txt");
  WriteFile(second, "segundo \xE9\r\n");  // not UTF-8: read as Windows-1252
  driver.File(second.toStdString());
  Trigger("Abrir1");
  EXPECT_EQ(Text(), "segundo é");
  EXPECT_EQ(Editor().document()->defaultFont().family().toStdString(), "Courier New");
  Editor().moveCursor(QTextCursor::End);
  QTest::keyClicks(&Editor(), "!");
  EXPECT_TRUE(window->IsModified());
  Trigger("Undo1");
  EXPECT_EQ(Text(), "segundo é");
  EXPECT_EQ(driver.StepsLeft(), 0u);
}

TEST_F(NotaRich, OpenReadsRichTextOfOtherProgramsAndRefusesADamagedFile) {
  driver.File(std::string(QV_TEST_DATA) + "/richtext/wordpad.rtf");
  Trigger("Abrir1");
  const QTextDocument& doc = *Editor().document();
  EXPECT_TRUE(Editor().toPlainText().startsWith("Relatório de negrito, itálico e sublinhado."));
  CaretAt(QString("Relatório de ne").size());
  EXPECT_TRUE(Item(*window, "Negrito1")->isChecked());
  QTextBlock centred = doc.findBlockByNumber(1);
  EXPECT_EQ(centred.text().toStdString(), "Centralizado em vermelho");
  EXPECT_EQ(centred.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  EXPECT_TRUE(doc.findBlockByNumber(4).textList());
  EXPECT_TRUE(doc.findBlockByNumber(5).textList());
  EXPECT_FALSE(window->IsModified());

  // A damaged file leaves the document as it was, and says why.
  const QString damaged = folder.Path("danificado.rtf");
  WriteFile(damaged, "{\\rtf1" + std::string(2000, '{') + "texto");
  const QString before = Editor().toPlainText();
  driver.File(damaged.toStdString());
  driver.Then([](QWidget& dialog) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->text().contains("danificado")) << box->text().toStdString();
    box->button(QMessageBox::Ok)->click();
  });
  Trigger("Abrir1");
  EXPECT_EQ(Editor().toPlainText(), before);
  EXPECT_EQ(window->windowTitle(),
            "NotaRich - " + QString::fromUtf8(QV_TEST_DATA) + "/richtext/wordpad.rtf");
  EXPECT_EQ(driver.StepsLeft(), 0u);
}

TEST_F(NotaRich, FontAndSizeItemsApplyToTheSelectionOnlyAndAreCheckedAnyway) {
  window->SetReportText("abc def\r\n");
  CaretAt(1);
  Trigger("Grande1");
  EXPECT_TRUE(Item(*window, "Grande1")->isChecked());
  EXPECT_FALSE(Item(*window, "Pequena1")->isChecked());
  for (QTextBlock::iterator it = Editor().document()->begin().begin(); !it.atEnd(); ++it) {
    EXPECT_NE(it.fragment().charFormat().fontPointSize(), 18.0);
  }

  QTextCursor c = Editor().textCursor();
  c.setPosition(0);
  c.setPosition(3, QTextCursor::KeepAnchor);
  Editor().setTextCursor(c);
  Trigger("Grande1");
  Trigger("Arial1");
  Trigger("Negrito1");
  const QTextCharFormat f = Editor().textCursor().charFormat();
  EXPECT_EQ(f.fontPointSize(), 18.0);
  EXPECT_EQ(f.fontFamilies().toStringList(), QStringList{"Arial"});
  EXPECT_EQ(f.fontWeight(), QFont::Bold);
  // The rest of the line is untouched.
  CaretAt(6);
  EXPECT_TRUE(Item(*window, "Courier1")->isChecked());
  EXPECT_FALSE(Item(*window, "Negrito1")->isChecked());
  CaretAt(2);
  EXPECT_TRUE(Item(*window, "Arial1")->isChecked());
  EXPECT_TRUE(Item(*window, "Negrito1")->isChecked());
  EXPECT_TRUE(Item(*window, "Grande1")->isChecked());
}

TEST_F(NotaRich, StyleButtonsFirstPressClearsTheStyle) {
  window->SetReportText("abc\r\n");
  CaretAt(1);
  Trigger("tbbold");  // the state starts clear: the default text loses bold it did not have
  EXPECT_FALSE(Editor().document()->defaultFont().bold());
  Trigger("tbbold");
  EXPECT_TRUE(Editor().document()->defaultFont().bold());
  EXPECT_TRUE(Item(*window, "Negrito1")->isChecked());
  Trigger("tbbold");
  EXPECT_FALSE(Editor().document()->defaultFont().bold());

  // With a selection, only the selection.
  SelectAll();
  Trigger("tbitalico");
  EXPECT_FALSE(Editor().textCursor().charFormat().fontItalic());
  Trigger("tbitalico");
  EXPECT_TRUE(Editor().textCursor().charFormat().fontItalic());
  EXPECT_FALSE(Editor().document()->defaultFont().italic());
  Trigger("tbunder");
  Trigger("tbunder");
  EXPECT_TRUE(Editor().textCursor().charFormat().fontUnderline());
}

TEST_F(NotaRich, AlignmentAndBulletsOfTheCurrentParagraph) {
  window->SetReportText("um\r\ndois\r\n");
  CaretAt(0);
  struct Case {
    const char* item;
    Qt::Alignment alignment;
    const char* checked;
  };
  const Case cases[] = {{"Centralizado1", Qt::AlignHCenter, "Centralizado1"},
                        {"AlinDir1", Qt::AlignRight, "AlinDir1"},
                        {"AlinEsq1", Qt::AlignLeft, "AlinEsq1"},
                        {"tbac", Qt::AlignHCenter, "Centralizado1"},
                        {"tbaesq", Qt::AlignRight, "AlinDir1"},
                        {"tbae", Qt::AlignLeft, "AlinEsq1"}};
  for (const Case& c : cases) {
    Trigger(c.item);
    EXPECT_EQ(
        Editor().document()->firstBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
        c.alignment)
        << c.item;
    for (const char* name : {"AlinEsq1", "AlinDir1", "Centralizado1"}) {
      EXPECT_EQ(Item(*window, name)->isChecked(), std::string(name) == c.checked) << c.item;
    }
  }
  EXPECT_EQ(Editor().document()->firstBlock().next().blockFormat().alignment(), Qt::AlignLeft);

  Trigger("Inserirmarcas1");
  ASSERT_TRUE(Editor().document()->firstBlock().textList());
  EXPECT_EQ(Editor().document()->firstBlock().textList()->format().style(),
            QTextListFormat::ListDisc);
  EXPECT_EQ(Item(*window, "Inserirmarcas1")->text().toStdString(), "&Retirar marcas");
  EXPECT_FALSE(Editor().document()->firstBlock().next().textList());
  Trigger("tbmarcar");
  EXPECT_FALSE(Editor().document()->firstBlock().textList());
  EXPECT_EQ(Item(*window, "Inserirmarcas1")->text().toStdString(), "&Inserir marcas");
}

TEST_F(NotaRich, BackgroundReadOnlyCountAndAbout) {
  window->SetReportText("ação\r\nb\r\n");
  const QColor initial = Editor().palette().color(QPalette::Base);
  driver.Then([&](QWidget& dialog) {
    auto* colours = qobject_cast<QColorDialog*>(&dialog);
    ASSERT_TRUE(colours);
    EXPECT_EQ(colours->currentColor(), initial);
    colours->setCurrentColor(QColor(255, 255, 200));
    colours->accept();
  });
  Trigger("CorFundo1");
  EXPECT_EQ(Editor().palette().color(QPalette::Base), QColor(255, 255, 200));
  driver.Then([](QWidget& dialog) { static_cast<QDialog&>(dialog).reject(); });
  Trigger("CorFundo1");
  EXPECT_EQ(Editor().palette().color(QPalette::Base), QColor(255, 255, 200));

  Trigger("SoLeitura1");
  EXPECT_TRUE(Editor().isReadOnly());
  EXPECT_TRUE(Item(*window, "SoLeitura1")->isChecked());
  Trigger("SoLeitura1");
  EXPECT_FALSE(Editor().isReadOnly());

  // Two paragraphs: "ação", the line break CR LF, "b": 4 + 2 + 1.
  driver.Box("O texto possui 7 caracteres.");
  Trigger("Contachars1");
  driver.Box("Relatório de saída em Rich Text");
  Trigger("Sobre1");
  EXPECT_EQ(driver.Logged("box:").front(), "Informação:O texto possui 7 caracteres.");
  EXPECT_EQ(driver.StepsLeft(), 0u);
}

TEST_F(NotaRich, UndoAndTheClipboard) {
  window->SetReportText("abc\r\n");
  window->ShowReport();
  CaretAt(3);
  QTest::keyClicks(&Editor(), "de");
  EXPECT_EQ(Text(), "abcde");
  Trigger("Undo1");
  EXPECT_EQ(Text(), "abc");

  QTextCursor c = Editor().textCursor();
  c.setPosition(0);
  c.setPosition(2, QTextCursor::KeepAnchor);
  Editor().setTextCursor(c);
  Trigger("Copiar1");
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "ab");
  Trigger("Recortar1");
  EXPECT_EQ(Text(), "c");
  Editor().moveCursor(QTextCursor::End);
  Trigger("Colar1");
  EXPECT_EQ(Text(), "cab");
  Trigger("TBUNDO");
  EXPECT_EQ(Text(), "c");
}

TEST_F(NotaRich, MoreFontsAppliesTheChosenFontToTheSelection) {
  window->SetReportText("abc\r\n");
  SelectAll();
  driver.Then([](QWidget& dialog) {
    auto* fonts = qobject_cast<QFontDialog*>(&dialog);
    ASSERT_TRUE(fonts);
    EXPECT_EQ(fonts->currentFont().family(),
              QFontInfo(QFont(QStringLiteral("Courier New"))).family());
    QFont chosen(QStringLiteral("Liberation Serif"));
    chosen.setPointSize(16);
    chosen.setItalic(true);
    fonts->setCurrentFont(chosen);
    fonts->accept();
  });
  Trigger("Mais1");
  const QTextCharFormat f = Editor().textCursor().charFormat();
  EXPECT_EQ(f.font().family().toStdString(), "Liberation Serif");
  EXPECT_EQ(f.fontPointSize(), 16.0);
  EXPECT_TRUE(f.fontItalic());
}

TEST_F(NotaRich, PrintsThroughThePrintDialog) {
  window->SetReportText(kReport);
  const QString pdf = folder.Path("relatorio.pdf");
  window->Printer().setOutputFormat(QPrinter::PdfFormat);
  window->Printer().setOutputFileName(pdf);
  driver.Then([](QWidget& dialog) {
    auto* print = qobject_cast<QPrintDialog*>(&dialog);
    ASSERT_TRUE(print);
    print->accept();
  });
  Trigger("Imprimir1");
  EXPECT_EQ(ReadFile(pdf).substr(0, 5), "%PDF-");

  // Cancelled: nothing printed.
  QFile::remove(pdf);
  driver.Then([](QWidget& dialog) { static_cast<QDialog&>(dialog).reject(); });
  Trigger("tbPRINT");
  EXPECT_FALSE(QFile::exists(pdf));
  EXPECT_EQ(driver.StepsLeft(), 0u);
}

TEST_F(NotaRich, AFailedSaveSaysSoAndKeepsTheDocumentModified) {
  QDir(folder.Path("")).mkdir("sub");
  const QString path = folder.Path("sub/r.txt");
  WriteFile(path, "texto\r\n");
  driver.File(path.toStdString());
  Trigger("Abrir1");
  Editor().moveCursor(QTextCursor::End);
  Editor().insertPlainText("mais");
  ASSERT_TRUE(QDir(folder.Path("sub")).removeRecursively());

  driver.Then([](QWidget& dialog) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->windowTitle().toStdString(), "Aviso");
    EXPECT_TRUE(box->text().contains("r.txt")) << box->text().toStdString();
    box->button(QMessageBox::Ok)->click();
  });
  Trigger("Salvar1");
  EXPECT_TRUE(window->IsModified());

  // Yes to the question, the save fails: the window stays open with the document.
  window->ShowReport();
  driver.Box(SaveQuestion(path), QMessageBox::Yes);
  driver.Then(
      [](QWidget& dialog) { static_cast<QMessageBox&>(dialog).button(QMessageBox::Ok)->click(); });
  window->close();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(driver.StepsLeft(), 0u);
}

TEST_F(NotaRich, AFreshReportIsSavedAsTheCommandLineWritesIt) {
  const std::string report =
      "Análise de Quorvandelia\r\nAnálise da variável yield\r\n\r\n  1\t10.500000\r\n";
  window->SetReportText(report);
  const QString path = folder.Path("fresco.rtf");
  driver.File(path.toStdString());
  driver.Box("fresco.rtf\rEste arquivo não existe.\rDeseja criá-lo?", QMessageBox::Yes);
  Trigger("SalvarComo1");
  EXPECT_EQ(ReadFile(path), richtext::WriteRtf(richtext::ReportDocument(report)));
}

}  // namespace
}  // namespace qv::testing
