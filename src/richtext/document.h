// A rich-text document as the report window edits it: paragraphs of styled runs.
//
// This is the common ground between the window's editor and Rich Text files: the reader
// (rtf.h) builds it, the writer turns it into RTF, and the desktop program converts it to and
// from its editor's document. It carries exactly what the report window can set: per run a
// font family, a size, bold, italic, underline and a text colour; per paragraph an alignment
// and a bullet. Anything else a file may hold (indents, spacing, styles, pictures, tables) is
// not part of it.
//
// Text. TRun::text is UTF-8 (Unicode scalar values; astral characters as 4-byte sequences).
// Inside a run:
//   '\t'  a tab character;
//   '\n'  a line break inside the paragraph (RTF \line; in a Qt text document, U+2028);
//   every other character is itself. A run never holds '\r' nor any other C0 control
//   character (U+0000-U+001F): paragraphs are separated by being different TParagraphs, not
//   by a character. The writer drops such characters and writes invalid UTF-8 bytes as
//   U+FFFD; Normalize does the same, so the round trip below holds for any input.
//
// Paragraphs. A document is the list of its paragraphs in order; an empty document has none
// (a Qt document always has one block: an empty block becomes one empty paragraph). The last
// paragraph is an ordinary paragraph: there is no "final empty paragraph" convention.
//
// Empty paragraph (an empty line). Its runs hold no text. Its format still matters, because a
// word processor gives the empty line the height of its paragraph mark: in canonical form an
// empty paragraph has exactly one run with empty text, whose format is that of the mark. A
// paragraph whose runs hold no text takes the format of its last run; one with no runs at all,
// the default format (TCharFormat{}).
//
// Bullets. `bullet` puts a bullet mark before the paragraph (a bulleted list item, one level;
// the editor chooses the glyph and the indent). The mark is not part of the text: no "•" or
// tab is stored in the runs. Numbered list items of other programs are read as ordinary
// paragraphs that begin with their number as text (for example "1.\t").
//
// Format. TCharFormat{} is the default: "Courier New", 10 points, regular, black. A size is
// kept in RTF in half points: the writer rounds pointSize to the nearest half point within
// [0.5, 1638] (a size that is not a finite positive number is written as 10). `color` is
// 0xRRGGBB; bits above the 24th are ignored. Black means black, not "the editor's automatic
// colour": a file's automatic colour (RTF \cf0) is read as black. An empty font family is
// kept as it is (an editor shows its own default font). Where a file does not say, the reader
// takes RTF's defaults: 12 points (\fs24) and the font that \deffN names, or Courier New when
// the file's font table does not hold the font asked for.
//
// In a Qt text document: a paragraph is a block; '\n' is QChar::LineSeparator (U+2028), '\t'
// QChar::Tabulation; the format of an empty paragraph's run is the block's char format;
// alignment is Qt::AlignLeft, AlignRight, AlignHCenter or AlignJustify; a bullet is a block in
// a QTextList of style QTextListFormat::ListDisc; pointSize is QTextCharFormat's
// fontPointSize (a font given in pixels has none: the report window's font is ReportFormat(),
// Courier New 10 points, its 13 pixels at 96 dpi).
//
// Canonical form. ReadRtf and ReadDocument return documents in canonical form: no run has
// empty text except the one run of an empty paragraph, adjacent runs of a paragraph have
// different formats, font family names have no leading or trailing blanks nor control
// characters, sizes are multiples of 0.5 in [0.5, 1638], colours fit in 24 bits. Normalize
// brings any document to this form without changing its text or the format of any character.
// For every document d: ReadRtf(WriteRtf(d)).document == Normalize(d).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::richtext {

enum class TAlignment { Left, Right, Center, Justify };

struct TCharFormat {
  std::string fontFamily = "Courier New";
  double pointSize = 10;  // points; half-points in RTF (\fsN)
  bool bold = false, italic = false, underline = false;
  std::uint32_t color = 0x000000;  // 0xRRGGBB
  bool operator==(const TCharFormat&) const = default;
};

struct TRun {
  std::string text;  // UTF-8; '\t' = tab, '\n' = line break inside a paragraph (\line)
  TCharFormat format;
  bool operator==(const TRun&) const = default;
};

struct TParagraph {
  std::vector<TRun> runs;
  TAlignment alignment = TAlignment::Left;
  bool bullet = false;
  bool operator==(const TParagraph&) const = default;
};

struct TDocument {
  std::vector<TParagraph> paragraphs;
  bool operator==(const TDocument&) const = default;
};

// The canonical form of a document (see above): same text, same format on every character.
TDocument Normalize(const TDocument& doc);

// The document's text: paragraphs joined by "\n", line breaks as "\n", tabs as "\t".
std::string PlainText(const TDocument& doc);

}  // namespace qv::richtext
