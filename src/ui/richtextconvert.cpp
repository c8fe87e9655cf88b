#include "ui/richtextconvert.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qv::ui {
namespace {

using richtext::TAlignment;
using richtext::TCharFormat;

TAlignment AlignmentOf(Qt::Alignment alignment) {
  switch (alignment & Qt::AlignHorizontal_Mask) {
    case Qt::AlignRight:  // also Qt::AlignTrailing
      return TAlignment::Right;
    case Qt::AlignHCenter:
      return TAlignment::Center;
    case Qt::AlignJustify:
      return TAlignment::Justify;
    default:
      return TAlignment::Left;
  }
}

Qt::Alignment QtAlignment(TAlignment alignment) {
  switch (alignment) {
    case TAlignment::Right:
      return Qt::AlignRight;
    case TAlignment::Center:
      return Qt::AlignHCenter;
    case TAlignment::Justify:
      return Qt::AlignJustify;
    case TAlignment::Left:
      break;
  }
  return Qt::AlignLeft;
}

TCharFormat FormatOf(const QTextCharFormat& format, const QFont& documentFont) {
  const QFont font = format.font().resolve(documentFont);
  TCharFormat out;
  const QStringList families = format.fontFamilies().toStringList();
  out.fontFamily = (families.isEmpty() ? font.family() : families.front()).toStdString();
  out.pointSize = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 72.0 / 96.0;
  out.bold = font.bold();
  out.italic = font.italic();
  out.underline = font.underline();
  const QBrush brush = format.foreground();
  out.color = brush.style() == Qt::NoBrush ? 0u : (brush.color().rgb() & 0xFFFFFFu);
  return out;
}

QTextCharFormat QtFormat(const TCharFormat& format) {
  QTextCharFormat out;
  out.setFontFamilies(QStringList{QString::fromStdString(format.fontFamily)});
  out.setFontPointSize(format.pointSize);
  out.setFontWeight(format.bold ? QFont::Bold : QFont::Normal);
  out.setFontItalic(format.italic);
  out.setFontUnderline(format.underline);
  out.setForeground(QColor::fromRgb(format.color & 0xFFFFFFu));
  return out;
}

// A line break inside a paragraph: '\n' in a run, U+2028 in the editor.
QString EditorText(const std::string& text) {
  QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  s.replace(QLatin1Char('\n'), QChar(QChar::LineSeparator));
  return s;
}

std::string RunText(QString text) {
  text.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
  text.remove(QChar(QChar::ObjectReplacementCharacter));
  return text.toStdString();
}

}  // namespace

richtext::TDocument ToRichText(const QTextDocument& document) {
  const QFont documentFont = document.defaultFont();
  // A document of any size uses few formats: each is worked out once.
  std::unordered_map<int, TCharFormat> formats;
  auto format = [&](int index, const QTextCharFormat& f) -> const TCharFormat& {
    auto it = formats.find(index);
    if (it == formats.end()) it = formats.emplace(index, FormatOf(f, documentFont)).first;
    return it->second;
  };

  richtext::TDocument out;
  out.paragraphs.reserve(static_cast<std::size_t>(document.blockCount()));
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    richtext::TParagraph& p = out.paragraphs.emplace_back();
    p.alignment = AlignmentOf(block.blockFormat().alignment());
    p.bullet = block.textList() != nullptr;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.isValid()) continue;
      std::string text = RunText(fragment.text());
      if (text.empty()) continue;
      p.runs.push_back(
          {std::move(text), format(fragment.charFormatIndex(), fragment.charFormat())});
    }
    // An empty line keeps the format of its paragraph mark.
    if (p.runs.empty()) p.runs.push_back({"", FormatOf(block.charFormat(), documentFont)});
  }
  return out;
}

namespace {

// The one format of a document whose every character and paragraph mark has the same format,
// every paragraph left-aligned without a bullet (a report as the program writes it); nullptr
// for any other document.
const TCharFormat* UniformFormat(const richtext::TDocument& source) {
  const TCharFormat* format = nullptr;
  for (const richtext::TParagraph& p : source.paragraphs) {
    if (p.bullet || p.alignment != TAlignment::Left || p.runs.empty()) return nullptr;
    for (const richtext::TRun& run : p.runs) {
      if (!format) format = &run.format;
      if (!(run.format == *format)) return nullptr;
    }
  }
  return format;
}

}  // namespace

void FromRichText(const richtext::TDocument& source, QTextDocument& document) {
  const bool undo = document.isUndoRedoEnabled();
  document.setUndoRedoEnabled(false);
  document.clear();
  // A report: its text at once (much quicker than paragraph by paragraph), in its one format.
  if (const TCharFormat* format = UniformFormat(source)) {
    QString text;
    for (const richtext::TParagraph& p : source.paragraphs) {
      if (&p != &source.paragraphs.front()) text += QLatin1Char('\n');
      for (const richtext::TRun& run : p.runs) text += EditorText(run.text);
    }
    document.setPlainText(text);
    // Text in the document's own font needs no format of its own.
    if (!(FormatOf(QTextCharFormat(), document.defaultFont()) == *format)) {
      QTextCursor all(&document);
      all.select(QTextCursor::Document);
      all.setCharFormat(QtFormat(*format));
    }
    document.setUndoRedoEnabled(undo);
    return;
  }
  QTextCursor cursor(&document);
  cursor.beginEditBlock();
  // A document of any size uses few formats: each is made once.
  std::vector<std::pair<TCharFormat, QTextCharFormat>> formats;
  auto qtFormat = [&formats](const TCharFormat& f) -> const QTextCharFormat& {
    for (const auto& [key, value] : formats) {
      if (key == f) return value;
    }
    return formats.emplace_back(f, QtFormat(f)).second;
  };
  QTextList* list = nullptr;
  bool first = true;
  for (const richtext::TParagraph& p : source.paragraphs) {
    QTextBlockFormat blockFormat;
    blockFormat.setAlignment(QtAlignment(p.alignment));
    const QTextCharFormat& markFormat =
        qtFormat(p.runs.empty() ? TCharFormat{} : p.runs.front().format);
    if (first) {
      cursor.setBlockFormat(blockFormat);
      cursor.setBlockCharFormat(markFormat);
      first = false;
    } else {
      cursor.insertBlock(blockFormat, markFormat);
    }
    for (const richtext::TRun& run : p.runs) {
      if (!run.text.empty()) cursor.insertText(EditorText(run.text), qtFormat(run.format));
    }
    // Consecutive bulleted paragraphs make one list.
    if (p.bullet) {
      if (list) {
        list->add(cursor.block());
      } else {
        list = cursor.createList(QTextListFormat::ListDisc);
      }
    } else {
      list = nullptr;
    }
  }
  cursor.endEditBlock();
  document.setUndoRedoEnabled(undo);
}

}  // namespace qv::ui
