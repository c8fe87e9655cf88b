// TFormNotaRich: the report window. A rich-text editor (RichEdit1) that shows the report the
// analyses write, and lets the user edit it, change fonts and paragraphs, save it as Rich
// Text, open another document and print it.
#pragma once

#include <QMainWindow>
#include <QPrinter>
#include <QString>
#include <string>

class QAction;
class QActionGroup;
class QMenu;
class QTextEdit;
class QToolBar;

namespace qv::ui {

class TDocumentFiles;

class TFormNotaRich : public QMainWindow {
  Q_OBJECT

 public:
  explicit TFormNotaRich(TDocumentFiles& files, QWidget* parent = nullptr);

  QTextEdit* RichEdit1() const { return editor_; }
  const QString& FileName() const { return fileName_; }
  bool IsModified() const;
  // The printer the print dialog sets up; kept for the whole session like the dialog's choices.
  QPrinter& Printer() { return printer_; }

  // A report fresh from an analysis becomes the whole document at once (plain fixed-width
  // text in the window's font), which counts as a change.
  void SetReportText(const std::string& text);
  // Brings the window up: maximised when it was hidden, raised when it was already up.
  void ShowReport();

  // The save-changes question when the document is modified: true when the action that asked
  // may go on (saved, or the user chose not to save), false for Cancel or a failed save.
  bool QuerySave();
  // The same question when the program ends; a version the user already chose not to save
  // when closing this window is not asked about again.
  bool QuerySaveAtExit();

 public slots:
  void Novo1Click();
  void Abrir1Click();
  void Salvar1Click();
  void SalvarComo1Click();
  void Imprimir1Click();
  void Mais1Click();
  void Inserirmarcas1Click();
  void CorFundo1Click();
  void SoLeitura1Click();
  void Contachars1Click();
  void Sobre1Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QAction* AddItem(QMenu* menu, const char* objectName, const char* caption);
  QAction* AddTool(const char* objectName, const char* hint, int icon);
  void BuildMenus();
  void BuildToolBar();
  bool Save();
  bool SaveAs();
  bool WriteFile(const QString& path);
  void SetFileCaption();
  void FontItemClick(QAction* item);
  void SizeItemClick(QAction* item);
  void StyleItemClick(QAction* item);
  void StyleButtonClick(int style);
  void AlignClick(Qt::Alignment alignment);
  void SelectionChanged();
  void ShowError(const QString& text);

  TDocumentFiles& files_;
  QTextEdit* editor_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QString fileName_;
  QPrinter printer_;
  // The toolbar's bold, italic and underline states (see StyleButtonClick).
  bool styleState_[3] = {false, false, false};
  // The document revision the user chose not to save when closing the window; -1 for none.
  int declinedRevision_ = -1;

  QActionGroup* fontGroup_ = nullptr;
  QActionGroup* sizeGroup_ = nullptr;
  QActionGroup* alignGroup_ = nullptr;
  QAction* negrito_ = nullptr;
  QAction* italico_ = nullptr;
  QAction* marcas_ = nullptr;
  QAction* alinEsq_ = nullptr;
  QAction* alinDir_ = nullptr;
  QAction* centralizado_ = nullptr;
  QAction* soLeitura_ = nullptr;
};

}  // namespace qv::ui
