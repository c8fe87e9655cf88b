#include "ui/notarich.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFontInfo>
#include <QMenuBar>
#include <QPrintDialog>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>
#include <QToolBar>
#include <tuple>
#include <utility>

#include "ui/documentfiles.h"
#include "ui/icons.h"
#include "ui/look.h"
#include "ui/messages.h"

namespace qv::ui {
namespace {

constexpr int kRestoredWidth = 442;
constexpr int kRestoredHeight = 306;
const char* const kDesignCaption = "Relatórios em RTF";
const char* const kUntitledCaption = "NotaRich - [Sem Título]";
const char* const kInsertBullets = "&Inserir marcas";
const char* const kRemoveBullets = "&Retirar marcas";
const char* const kRichTextFilter = "Arquivo Rich Text (*.rtf)";
const char* const kAllFilesFilter = "Todos os arquivos (*)";

enum TStyle { kBold = 0, kItalic = 1, kUnderline = 2 };

QString Caption(const char* text) {
  return QString::fromUtf8(text);
}

QString WithoutAccessKey(QString caption) {
  return caption.remove(QLatin1Char('&'));
}

// The document's own font: the window's black 13-pixel Courier New (10 points at 96 dpi), on
// which the report's fixed-width columns rely.
QFont ReportFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPointSize(10);
  return font;
}

}  // namespace

TFormNotaRich::TFormNotaRich(TDocumentFiles& files, QWidget* parent)
    : QMainWindow(parent), files_(files) {
  setObjectName("FormNotaRich");
  setWindowTitle(Caption(kDesignCaption));
  resize(kRestoredWidth, kRestoredHeight);

  editor_ = new QTextEdit(this);
  editor_->setObjectName("RichEdit1");
  editor_->setLineWrapMode(QTextEdit::NoWrap);
  editor_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  editor_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  editor_->setTabChangesFocus(false);
  editor_->document()->setDefaultFont(ReportFont());
  // Reports read left to right: the editor need not find out each paragraph's direction,
  // which costs time on every edit of a long report.
  QTextOption option = editor_->document()->defaultTextOption();
  option.setTextDirection(Qt::LeftToRight);
  editor_->document()->setDefaultTextOption(option);
  QPalette palette = editor_->palette();
  palette.setColor(QPalette::Text, Qt::black);
  editor_->setPalette(palette);
  setCentralWidget(editor_);

  BuildMenus();
  BuildToolBar();
  connect(editor_, &QTextEdit::cursorPositionChanged, this, &TFormNotaRich::SelectionChanged);
  connect(editor_, &QTextEdit::currentCharFormatChanged, this, &TFormNotaRich::SelectionChanged);
}

QAction* TFormNotaRich::AddItem(QMenu* menu, const char* objectName, const char* caption) {
  QAction* action = menu->addAction(Caption(caption));
  action->setObjectName(objectName);
  return action;
}

void TFormNotaRich::BuildMenus() {
  auto addMenu = [this](const char* objectName, const char* caption) {
    QMenu* menu = menuBar()->addMenu(Caption(caption));
    menu->setObjectName(objectName);
    menu->menuAction()->setObjectName(objectName);
    return menu;
  };

  QMenu* arquivo = addMenu("Arquivo1", "&Arquivo");
  connect(AddItem(arquivo, "Novo1", "&Novo"), &QAction::triggered, this,
          &TFormNotaRich::Novo1Click);
  connect(AddItem(arquivo, "Abrir1", "&Abrir..."), &QAction::triggered, this,
          &TFormNotaRich::Abrir1Click);
  connect(AddItem(arquivo, "Salvar1", "&Salvar"), &QAction::triggered, this,
          &TFormNotaRich::Salvar1Click);
  connect(AddItem(arquivo, "SalvarComo1", "Salvar &Como..."), &QAction::triggered, this,
          &TFormNotaRich::SalvarComo1Click);
  connect(AddItem(arquivo, "Imprimir1", "&Imprimir"), &QAction::triggered, this,
          &TFormNotaRich::Imprimir1Click);
  connect(AddItem(arquivo, "Sair1", "Sai&r"), &QAction::triggered, this, &QWidget::close);

  QMenu* editar = addMenu("Editar1", "&Editar");
  connect(AddItem(editar, "Undo1", "&Undo"), &QAction::triggered, editor_, &QTextEdit::undo);
  QAction* recortar = AddItem(editar, "Recortar1", "&Recortar");
  recortar->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
  connect(recortar, &QAction::triggered, editor_, &QTextEdit::cut);
  QAction* copiar = AddItem(editar, "Copiar1", "&Copiar");
  copiar->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  connect(copiar, &QAction::triggered, editor_, &QTextEdit::copy);
  QAction* colar = AddItem(editar, "Colar1", "Co&lar");
  colar->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
  connect(colar, &QAction::triggered, editor_, &QTextEdit::paste);

  QMenu* fonte = addMenu("Fonte1", "&Fonte");
  // Radio groups whose mark may also be on no item: the selection's font or size may be none
  // of those the menu names.
  fontGroup_ = new QActionGroup(this);
  fontGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  for (auto [name, caption] :
       {std::pair{"TimesRoman1", "&Times New Roman"}, std::pair{"Courier1", "&Courier New"},
        std::pair{"Arial1", "&Arial"}}) {
    QAction* item = AddItem(fonte, name, caption);
    item->setCheckable(true);
    fontGroup_->addAction(item);
    connect(item, &QAction::triggered, this, [this, item] { FontItemClick(item); });
  }
  fontGroup_->actions().front()->setChecked(true);
  negrito_ = AddItem(fonte, "Negrito1", "&Negrito");
  italico_ = AddItem(fonte, "Italico1", "&Itálico");
  for (QAction* item : {negrito_, italico_}) {
    item->setCheckable(true);
    connect(item, &QAction::triggered, this, [this, item] { StyleItemClick(item); });
  }
  sizeGroup_ = new QActionGroup(this);
  sizeGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  for (auto [name, caption, size] :
       {std::tuple{"Pequena1", "&Pequena (10)", 10}, std::tuple{"Media1", "&Média (14)", 14},
        std::tuple{"Grande1", "&Grande (18)", 18}}) {
    QAction* item = AddItem(fonte, name, caption);
    item->setCheckable(true);
    item->setData(size);
    sizeGroup_->addAction(item);
    connect(item, &QAction::triggered, this, [this, item] { SizeItemClick(item); });
  }
  sizeGroup_->actions().at(1)->setChecked(true);
  connect(AddItem(fonte, "Mais1", "Mais &Fontes..."), &QAction::triggered, this,
          &TFormNotaRich::Mais1Click);

  QMenu* paragrafo = addMenu("Paragrafo1", "&Parágrafo");
  marcas_ = AddItem(paragrafo, "Inserirmarcas1", kInsertBullets);
  connect(marcas_, &QAction::triggered, this, &TFormNotaRich::Inserirmarcas1Click);
  alignGroup_ = new QActionGroup(this);
  alignGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  alinEsq_ = AddItem(paragrafo, "AlinEsq1", "Alinhado à &Esquerda");
  alinDir_ = AddItem(paragrafo, "AlinDir1", "Alinhado à &Direita");
  centralizado_ = AddItem(paragrafo, "Centralizado1", "&Centralizado");
  for (auto [item, alignment] :
       {std::pair{alinEsq_, Qt::AlignLeft}, std::pair{alinDir_, Qt::AlignRight},
        std::pair{centralizado_, Qt::AlignHCenter}}) {
    item->setCheckable(true);
    alignGroup_->addAction(item);
    connect(item, &QAction::triggered, this, [this, a = alignment] { AlignClick(a); });
  }
  alinEsq_->setChecked(true);

  QMenu* opcoes = addMenu("Opcoes1", "&Opções");
  connect(AddItem(opcoes, "CorFundo1", "Cor de &Fundo..."), &QAction::triggered, this,
          &TFormNotaRich::CorFundo1Click);
  soLeitura_ = AddItem(opcoes, "SoLeitura1", "Somente &Leitura");
  soLeitura_->setCheckable(true);
  connect(soLeitura_, &QAction::triggered, this, &TFormNotaRich::SoLeitura1Click);
  connect(AddItem(opcoes, "Contachars1", "&Conta caracteres..."), &QAction::triggered, this,
          &TFormNotaRich::Contachars1Click);

  QMenu* ajuda = addMenu("Ajuda1", "Aj&uda");
  connect(AddItem(ajuda, "Sobre1", "&Sobre o relatório..."), &QAction::triggered, this,
          &TFormNotaRich::Sobre1Click);

  addMenu("Janela_F", "&Janela")->menuAction()->setVisible(false);
}

QAction* TFormNotaRich::AddTool(const char* objectName, const char* hint, int icon) {
  QAction* action = toolBar_->addAction(ToolIcon(static_cast<TToolIcon>(icon)), Caption(hint));
  action->setObjectName(objectName);
  action->setToolTip(Caption(hint));
  action->setStatusTip(Caption(hint));
  return action;
}

void TFormNotaRich::BuildToolBar() {
  toolBar_ = addToolBar(QStringLiteral("ToolB"));
  toolBar_->setObjectName("ToolB");
  toolBar_->setMovable(false);
  toolBar_->setIconSize(QSize(16, 16));
  using I = TToolIcon;
  connect(AddTool("TAABRIR", "Abrir novo arquivo", int(I::Open)), &QAction::triggered, this,
          &TFormNotaRich::Abrir1Click);
  connect(AddTool("tbsc", "Salvar como", int(I::SaveAs)), &QAction::triggered, this,
          &TFormNotaRich::SalvarComo1Click);
  connect(AddTool("tbPRINT", "Imprimir o documento", int(I::Print)), &QAction::triggered, this,
          &TFormNotaRich::Imprimir1Click);
  toolBar_->addSeparator();
  connect(AddTool("TBUNDO", "Undo", int(I::Undo)), &QAction::triggered, editor_, &QTextEdit::undo);
  connect(AddTool("TBCUT", "Cortar texto selecionado", int(I::Cut)), &QAction::triggered, editor_,
          &QTextEdit::cut);
  connect(AddTool("tbcopiar", "Copiar texto selecionado", int(I::Copy)), &QAction::triggered,
          editor_, &QTextEdit::copy);
  connect(AddTool("tbcolar", "Colar", int(I::Paste)), &QAction::triggered, editor_,
          &QTextEdit::paste);
  toolBar_->addSeparator();
  connect(AddTool("tbbold", "Negrito no texto selecionado ou no texto todo", int(I::Bold)),
          &QAction::triggered, this, [this] { StyleButtonClick(kBold); });
  connect(AddTool("tbitalico", "Itálico no texto selecionado ou no texto todo", int(I::Italic)),
          &QAction::triggered, this, [this] { StyleButtonClick(kItalic); });
  connect(AddTool("tbunder", "Sublinhar o texto selecionado ou no texto todo", int(I::Underline)),
          &QAction::triggered, this, [this] { StyleButtonClick(kUnderline); });
  toolBar_->addSeparator();
  connect(AddTool("tbae", "Alinhar parágrafo à esquerda", int(I::AlignLeft)), &QAction::triggered,
          this, [this] { AlignClick(Qt::AlignLeft); });
  connect(AddTool("tbac", "Centralizar parágrafo", int(I::AlignCenter)), &QAction::triggered, this,
          [this] { AlignClick(Qt::AlignHCenter); });
  connect(AddTool("tbaesq", "Alinhar à direita", int(I::AlignRight)), &QAction::triggered, this,
          [this] { AlignClick(Qt::AlignRight); });
  toolBar_->addSeparator();
  connect(AddTool("tbmarcar", "Inserir/retirar marcas do parágrafo", int(I::Bullets)),
          &QAction::triggered, this, &TFormNotaRich::Inserirmarcas1Click);
}

bool TFormNotaRich::IsModified() const {
  return editor_->document()->isModified();
}

void TFormNotaRich::SetReportText(const std::string& text) {
  QTextDocument* document = editor_->document();
  const bool wasEmpty = document->isEmpty();
  // Every line of the report is a paragraph: the document separates its paragraphs by itself,
  // so the line ends become paragraph breaks and the last one ends the last paragraph (saved
  // as Rich Text, a fresh report is the file the command line writes with -o FILE.rtf).
  QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
  if (bytes.endsWith("\r\n")) bytes.chop(2);
  bytes.replace("\r\n", "\n");
  const QString plain = QString::fromUtf8(bytes);
  // The document is replaced as a whole, with the caret at its start and nothing to undo (the
  // report is not an edit); the text takes the document's own font, not the format the caret
  // had. The editor shows the top at once and lays out the rest between events.
  editor_->setCurrentCharFormat(QTextCharFormat());
  editor_->setPlainText(plain);
  if (!plain.isEmpty() || !wasEmpty) document->setModified(true);
}

void TFormNotaRich::ShowReport() {
  if (isVisible()) {
    if (isMinimized()) showMaximized();
    raise();
    activateWindow();
    return;
  }
  // Centred at its own size when the user restores it from maximised.
  resize(kRestoredWidth, kRestoredHeight);
  CenterOnScreen(*this);
  showMaximized();
  raise();
  activateWindow();
}

bool TFormNotaRich::QuerySave() {
  if (!IsModified()) return true;
  const std::string text = "O documento " + fileName_.toStdString() + " foi alterado." + "\r\r" +
                           "Você quer salvar as alterações?";
  switch (ShowBox(this, TBoxKind::Confirmation, text,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    case QMessageBox::Yes:
      return Save();
    case QMessageBox::No:
      declinedRevision_ = editor_->document()->revision();
      return true;
    default:
      return false;
  }
}

bool TFormNotaRich::QuerySaveAtExit() {
  if (IsModified() && declinedRevision_ == editor_->document()->revision()) return true;
  return QuerySave();
}

void TFormNotaRich::closeEvent(QCloseEvent* event) {
  if (QuerySave()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TFormNotaRich::SetFileCaption() {
  setWindowTitle(QStringLiteral("NotaRich - ") + fileName_);
}

void TFormNotaRich::ShowError(const QString& text) {
  ShowBox(this, TBoxKind::Warning, text.toStdString());
}

void TFormNotaRich::Novo1Click() {
  if (!QuerySave()) return;
  editor_->clear();
  editor_->document()->setModified(false);
  fileName_.clear();
  setWindowTitle(Caption(kUntitledCaption));
}

void TFormNotaRich::Abrir1Click() {
  if (!QuerySave()) return;
  QFileDialog dialog(this, QStringLiteral("Abrir"));
  dialog.setObjectName("OpenDialog1");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters({Caption(kRichTextFilter), Caption(kAllFilesFilter)});
  dialog.setDefaultSuffix(QStringLiteral("rtf"));
  if (!fileName_.isEmpty()) dialog.setDirectory(QFileInfo(fileName_).absolutePath());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().front();

  // The file is read into a document of its own, which then takes the old one's place: the
  // editor lays out a document once it has it, not after every paragraph added to it.
  QTextDocument* old = editor_->document();
  auto* fresh = new QTextDocument(editor_);
  fresh->setDefaultFont(old->defaultFont());
  fresh->setDefaultTextOption(old->defaultTextOption());
  QString error;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool loaded = files_.Load(path, *fresh, error);
  QApplication::restoreOverrideCursor();
  if (!loaded) {
    delete fresh;
    ShowError(error);
    return;
  }
  // The editor's first document belongs to the editor's text control, which deletes it when
  // it is replaced; the later ones belong to the window.
  const bool ours = old->parent() == editor_;
  editor_->setDocument(fresh);
  if (ours) delete old;
  editor_->moveCursor(QTextCursor::Start);
  fresh->setModified(false);
  fileName_ = path;
  SetFileCaption();
  SelectionChanged();
}

bool TFormNotaRich::WriteFile(const QString& path) {
  QString error;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool saved = files_.Save(path, *editor_->document(), error);
  QApplication::restoreOverrideCursor();
  if (!saved) {
    ShowError(error);
    return false;
  }
  editor_->document()->setModified(false);
  return true;
}

bool TFormNotaRich::Save() {
  return fileName_.isEmpty() ? SaveAs() : WriteFile(fileName_);
}

bool TFormNotaRich::SaveAs() {
  QFileDialog dialog(this, QStringLiteral("Salvar como"));
  dialog.setObjectName("SaveDialog1");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters({Caption(kRichTextFilter), Caption(kAllFilesFilter)});
  dialog.setDefaultSuffix(QStringLiteral("rtf"));
  if (!fileName_.isEmpty()) dialog.selectFile(fileName_);
  QString path;
  for (;;) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().front();
    // A name that is not there yet is confirmed before the file is created.
    if (QFileInfo::exists(path)) break;
    const std::string question =
        QFileInfo(path).fileName().toStdString() + "\rEste arquivo não existe.\rDeseja criá-lo?";
    if (ShowBox(this, TBoxKind::Confirmation, question, QMessageBox::Yes | QMessageBox::No) ==
        QMessageBox::Yes) {
      break;
    }
  }
  if (!WriteFile(path)) return false;
  fileName_ = path;
  SetFileCaption();
  return true;
}

void TFormNotaRich::Salvar1Click() {
  if (IsModified()) Save();
}

void TFormNotaRich::SalvarComo1Click() {
  SaveAs();
}

void TFormNotaRich::Imprimir1Click() {
  QPrintDialog dialog(&printer_, this);
  dialog.setObjectName("PrintDialog");
  if (dialog.exec() != QDialog::Accepted) return;
  printer_.setDocName(fileName_);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  editor_->print(&printer_);
  QApplication::restoreOverrideCursor();
}

void TFormNotaRich::FontItemClick(QAction* item) {
  if (editor_->textCursor().hasSelection()) {
    QTextCharFormat format;
    format.setFontFamilies({WithoutAccessKey(item->text())});
    editor_->mergeCurrentCharFormat(format);
  }
  item->setChecked(true);
}

void TFormNotaRich::SizeItemClick(QAction* item) {
  if (editor_->textCursor().hasSelection()) {
    QTextCharFormat format;
    format.setFontPointSize(item->data().toInt());
    editor_->mergeCurrentCharFormat(format);
  }
  item->setChecked(true);
}

void TFormNotaRich::StyleItemClick(QAction* item) {
  if (!editor_->textCursor().hasSelection()) return;
  QTextCharFormat format;
  if (item == negrito_) {
    format.setFontWeight(item->isChecked() ? QFont::Bold : QFont::Normal);
  } else {
    format.setFontItalic(item->isChecked());
  }
  editor_->mergeCurrentCharFormat(format);
}

// The toolbar's style buttons act on the selection, or with nothing selected on the whole
// text's default attributes. Each press sets the style when the button's state is set and
// clears it otherwise, then inverts the state: the state starts clear, so the first press
// clears the style.
void TFormNotaRich::StyleButtonClick(int style) {
  const bool on = styleState_[style];
  if (editor_->textCursor().hasSelection()) {
    QTextCharFormat format;
    if (style == kBold) format.setFontWeight(on ? QFont::Bold : QFont::Normal);
    if (style == kItalic) format.setFontItalic(on);
    if (style == kUnderline) format.setFontUnderline(on);
    editor_->mergeCurrentCharFormat(format);
  } else {
    QTextDocument* document = editor_->document();
    QFont font = document->defaultFont();
    const bool had = style == kBold     ? font.bold()
                     : style == kItalic ? font.italic()
                                        : font.underline();
    if (style == kBold) font.setBold(on);
    if (style == kItalic) font.setItalic(on);
    if (style == kUnderline) font.setUnderline(on);
    document->setDefaultFont(font);
    // The default attributes are part of the document that is saved.
    if (had != on) document->setModified(true);
  }
  styleState_[style] = !on;
  SelectionChanged();
}

void TFormNotaRich::AlignClick(Qt::Alignment alignment) {
  editor_->setAlignment(alignment);
  SelectionChanged();
}

void TFormNotaRich::Inserirmarcas1Click() {
  QTextCursor cursor = editor_->textCursor();
  if (cursor.currentList()) {
    // Every paragraph of the selection leaves its list, and its list indent with it.
    QTextDocument* document = editor_->document();
    QTextBlock block = document->findBlock(cursor.selectionStart());
    const QTextBlock last = document->findBlock(cursor.selectionEnd());
    cursor.beginEditBlock();
    for (;; block = block.next()) {
      if (QTextList* list = block.textList()) {
        list->remove(block);
        QTextCursor blockCursor(block);
        QTextBlockFormat format = block.blockFormat();
        format.setIndent(0);
        blockCursor.setBlockFormat(format);
      }
      if (block == last || !block.isValid()) break;
    }
    cursor.endEditBlock();
  } else {
    cursor.createList(QTextListFormat::ListDisc);
  }
  SelectionChanged();
}

void TFormNotaRich::Mais1Click() {
  // The dialog lists the installed families: it starts on the one that stands in for the
  // document's font (Liberation Mono for Courier New where Courier New is not installed).
  QFont font = editor_->document()->defaultFont();
  font.setFamily(QFontInfo(font).family());
  QFontDialog dialog(font, this);
  dialog.setObjectName("FontDialog1");
  if (dialog.exec() != QDialog::Accepted) return;
  QTextCharFormat format;
  format.setFont(dialog.selectedFont());
  editor_->mergeCurrentCharFormat(format);
}

void TFormNotaRich::CorFundo1Click() {
  QPalette palette = editor_->palette();
  QColorDialog dialog(palette.color(QPalette::Base), this);
  dialog.setObjectName("ColorDialog1");
  if (dialog.exec() != QDialog::Accepted) return;
  palette.setColor(QPalette::Base, dialog.selectedColor());
  editor_->setPalette(palette);
}

void TFormNotaRich::SoLeitura1Click() {
  editor_->setReadOnly(soLeitura_->isChecked());
}

void TFormNotaRich::Contachars1Click() {
  // Every character; a line break between paragraphs counts as the two characters CR LF, as in
  // the report's text.
  const QString text = editor_->document()->toPlainText();
  const qsizetype count = text.toUcs4().size() + text.count(QLatin1Char('\n'));
  ShowBox(this, TBoxKind::Information, "O texto possui " + std::to_string(count) + " caracteres.");
}

void TFormNotaRich::Sobre1Click() {
  ShowBox(this, TBoxKind::Information, "Relatório de saída em Rich Text");
}

// The menu's marks follow the selection: its font, style and size, and the alignment and
// bullets of its paragraph.
void TFormNotaRich::SelectionChanged() {
  const QTextCharFormat format = editor_->currentCharFormat();
  const QFont font = format.font().resolve(editor_->document()->defaultFont());
  const QStringList families = format.fontFamilies().toStringList();
  const QString family = families.isEmpty() ? font.family() : families.front();
  for (QAction* item : fontGroup_->actions()) {
    item->setChecked(WithoutAccessKey(item->text()) == family);
  }
  negrito_->setChecked(font.bold());
  italico_->setChecked(font.italic());
  const int size = qRound(font.pointSizeF());
  for (QAction* item : sizeGroup_->actions()) item->setChecked(item->data().toInt() == size);

  const Qt::Alignment alignment = editor_->alignment() & Qt::AlignHorizontal_Mask;
  alinEsq_->setChecked(alignment == Qt::AlignLeft);
  alinDir_->setChecked(alignment == Qt::AlignRight);
  centralizado_->setChecked(alignment == Qt::AlignHCenter);
  marcas_->setText(Caption(editor_->textCursor().currentList() ? kRemoveBullets : kInsertBullets));
}

}  // namespace qv::ui
