// The report window's document and the Rich Text library's document, each into the other:
// text, fonts, sizes, styles, colours, alignment, bullets and line breaks survive both ways,
// and a report saved as Rich Text reads back the same.
#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include "../richtext/builders.h"
#include "richtext/rtf.h"
#include "ui/richtextconvert.h"

namespace qv::testing {
namespace {

using richtext::Format;
using richtext::TAlignment;
using richtext::TDocument;
using richtext::TParagraph;

TDocument Sample() {
  TDocument d;
  TParagraph title;
  title.alignment = TAlignment::Center;
  title.runs = {{"Análise da variável ", Format("Arial", 14, true)},
                {"produção", Format("Arial", 14, true, true, false, 0xC00000)}};
  TParagraph line;
  line.runs = {{"G(i)\tmédia\nsegunda linha do parágrafo €", Format("Courier New", 10)}};
  TParagraph empty;
  empty.runs = {{"", Format("Times New Roman", 18)}};
  TParagraph bullet1, bullet2;
  bullet1.bullet = bullet2.bullet = true;
  bullet1.runs = {{"um", Format("Courier New", 10, false, false, true)}};
  bullet2.runs = {{"dois", Format("Courier New", 10)}};
  TParagraph right;
  right.alignment = TAlignment::Right;
  right.runs = {{"fim 😀", Format("Courier New", 10.5)}};
  d.paragraphs = {title, line, empty, bullet1, bullet2, right};
  return d;
}

TEST(RichTextConvert, ADocumentGoesIntoTheEditorAndComesBackTheSame) {
  const TDocument source = Sample();
  QTextDocument editor;
  editor.setDefaultFont(QFont("Courier New", 10));
  ui::FromRichText(source, editor);
  EXPECT_EQ(editor.blockCount(), 6);
  EXPECT_FALSE(editor.isUndoAvailable());
  EXPECT_EQ(editor.firstBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
            Qt::AlignHCenter);
  // Consecutive bulleted paragraphs are one list.
  const QTextBlock b1 = editor.findBlockByNumber(3), b2 = editor.findBlockByNumber(4);
  ASSERT_TRUE(b1.textList() && b2.textList());
  EXPECT_EQ(b1.textList(), b2.textList());
  EXPECT_FALSE(editor.findBlockByNumber(5).textList());
  // A line break inside a paragraph is the editor's line separator, not a new paragraph.
  EXPECT_TRUE(editor.findBlockByNumber(1).text().contains(QChar(QChar::LineSeparator)));

  EXPECT_EQ(ui::ToRichText(editor), richtext::Normalize(source));
}

TEST(RichTextConvert, TheEditorsDefaultFontFillsWhatTheTextDoesNotSet) {
  QTextDocument editor;
  QFont font("Courier New", 10);
  font.setBold(true);
  editor.setDefaultFont(font);
  editor.setPlainText("abc\ndef");
  QTextCursor c(&editor);
  c.setPosition(4);
  c.setPosition(7, QTextCursor::KeepAnchor);
  QTextCharFormat italic;
  italic.setFontItalic(true);
  italic.setForeground(QColor(0, 0x80, 0));
  c.mergeCharFormat(italic);

  const TDocument d = ui::ToRichText(editor);
  ASSERT_EQ(d.paragraphs.size(), 2u);
  EXPECT_EQ(d.paragraphs[0].runs.at(0).format, Format("Courier New", 10, true));
  EXPECT_EQ(d.paragraphs[1].runs.at(0).format,
            Format("Courier New", 10, true, true, false, 0x008000));
  EXPECT_EQ(richtext::PlainText(d), "abc\ndef");
}

TEST(RichTextConvert, AReportSavedAsRichTextReadsBackTheSame) {
  const std::string report = "Análise da variável yield\r\n    1     10.500000\r\n\r\nfim\r\n";
  QTextDocument editor;
  editor.setDefaultFont(QFont("Courier New", 10));
  ui::FromRichText(richtext::ReportDocument(report), editor);
  const TDocument saved = ui::ToRichText(editor);
  const richtext::TReadResult read = richtext::ReadRtf(richtext::WriteRtf(saved));
  ASSERT_TRUE(read.document) << read.error;
  EXPECT_EQ(*read.document, richtext::Normalize(saved));
  EXPECT_EQ(richtext::PlainText(*read.document),
            "Análise da variável yield\n    1     10.500000\n\nfim");
}

TEST(RichTextConvert, AUniformDocumentKeepsItsOneFormatWhateverTheEditorsFont) {
  // One format throughout: the editor takes the text at once and the format over it.
  TDocument d;
  for (const char* line : {"primeira", "", "terceira\tcom tab\nquebra"}) {
    TParagraph p;
    p.runs = {{line, Format("Arial", 14, true, false, false, 0x0000FF)}};
    d.paragraphs.push_back(p);
  }
  QTextDocument editor;
  editor.setDefaultFont(QFont("Courier New", 10));
  ui::FromRichText(d, editor);
  EXPECT_EQ(editor.blockCount(), 3);
  EXPECT_EQ(ui::ToRichText(editor), richtext::Normalize(d));

  // In the editor's own font, the text carries no format of its own.
  const TDocument report = richtext::ReportDocument("a\r\nb\r\n");
  ui::FromRichText(report, editor);
  EXPECT_EQ(editor.begin().begin().fragment().charFormat().fontPointSize(), 0.0);
  EXPECT_EQ(ui::ToRichText(editor), richtext::Normalize(report));
}

}  // namespace
}  // namespace qv::testing
