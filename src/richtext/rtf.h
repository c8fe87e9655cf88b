// Rich Text Format (RTF 1.x) reading and writing of a TDocument, and the report as a document.
//
// The writer produces plain 7-bit RTF that word processors and the rich-text controls of the
// desktop platforms read alike: \ansi\ansicpg1252, characters of code page 1252 as \'xx, every
// other character as \uN (16-bit signed; astral characters as a UTF-16 surrogate pair) followed
// by the fallback \'3f ("?") that \uc1 announces, a font table, a colour table and, when a
// paragraph has a bullet, a one-level bullet list (\listtable and \ls1, with the older {\*\pn}
// form beside it for readers that know only that). Word processors keep a font, size, bold and
// italic for each of three kinds of text (Western, East Asian, complex scripts such as Arabic);
// a run's are written for all three, so that all its characters show in them. The page is A4
// with narrow side margins, so that a report's widest lines print unbroken in Courier New 10.
//
// The reader opens what other programs write as well as ours (word processors such as
// LibreOffice Writer and Word, WordPad and the other rich-text edit controls): fonts and their
// character sets, colours, sizes, bold, italic, underline, alignment, tabs, line breaks,
// \uN with \ucN, \'xx in the document's or the font's code page, the formats of East Asian and
// complex-script text (\dbch, \rtlch with \af, \afs, \ab, \ai), bullets of both list schemes
// (numbered items keep their number as text), table cells (as tabs), field results, hidden text;
// destinations it does not show (styles, document information, pictures, objects, headers and
// footers) are skipped, and unknown control words are ignored. A file cut short gives what it
// holds; damaged input gives a document or a Portuguese error (groups nested deeper than 1000),
// never more memory than a small multiple of the input nor a deep recursion.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "richtext/document.h"

namespace qv::richtext {

std::string WriteRtf(const TDocument& doc);  // \ansi\ansicpg1252, \uN with \uc1 fallback

struct TReadResult {
  std::optional<TDocument> document;
  std::string error;  // Portuguese, for the user; empty when document holds a value
};

[[nodiscard]] TReadResult ReadRtf(std::string_view bytes);

// Starts with "{\rtf" (after an optional UTF-8 byte-order mark and blanks).
bool LooksLikeRtf(std::string_view bytes);

// A file's bytes as a document: RTF when it is RTF, otherwise plain text (UTF-8, or CP1252 when
// not valid UTF-8; UTF-16 with its byte-order mark), one paragraph per line (CR LF, LF or CR),
// every run in `plainFormat`. A final line break ends the last line; it does not start an
// empty paragraph.
[[nodiscard]] TReadResult ReadDocument(std::string_view bytes, const TCharFormat& plainFormat);

// The report text (lines ending "\r\n") as the report window shows a fresh report: every line
// one paragraph, in the report window's font: Courier New, 13 pixels at 96 dpi = 10 pt (\fs20).
TDocument ReportDocument(std::string_view reportText);

// The report window's font: black Courier New, 10 points (13 pixels at 96 dpi).
TCharFormat ReportFormat();

// True when a file name asks for Rich Text: it ends in ".rtf", in any case.
bool IsRtfFileName(std::string_view path);

}  // namespace qv::richtext
