// Files that are not Rich Text, the report as a document, and the file-name test.
#include <gtest/gtest.h>

#include "builders.h"
#include "richtext/rtf.h"

namespace qv::richtext {
namespace {

const TCharFormat kPlain = Format("Courier New", 10);

std::vector<std::string> Lines(std::string_view bytes) {
  const TReadResult r = ReadDocument(bytes, kPlain);
  EXPECT_TRUE(r.document) << r.error;
  std::vector<std::string> lines;
  for (const TParagraph& p : r.document->paragraphs) {
    EXPECT_EQ(p.runs.size(), 1u);
    EXPECT_EQ(p.runs[0].format, kPlain);
    lines.push_back(p.runs[0].text);
  }
  return lines;
}

using L = std::vector<std::string>;

TEST(ReadDocument, PlainTextLines) {
  EXPECT_EQ(Lines(""), L{});
  EXPECT_EQ(Lines("a"), L{"a"});
  EXPECT_EQ(Lines("a\r\nb\nc\rd"), (L{"a", "b", "c", "d"}));
  EXPECT_EQ(Lines("a\r\n"), L{"a"}) << "a final line end opens no empty paragraph";
  EXPECT_EQ(Lines("a\r\n\r\n"), (L{"a", ""}));
  EXPECT_EQ(Lines("\n"), L{""});
  EXPECT_EQ(Lines("\r\r\n"), (L{"", ""})) << "CR alone, then CR LF";
  EXPECT_EQ(Lines("t\tab\x0c\x01z"), L{"t\tabz"}) << "tabs kept, other controls dropped";
}

TEST(ReadDocument, PlainTextEncodings) {
  EXPECT_EQ(Lines("Relatório ő"), L{"Relatório ő"});
  EXPECT_EQ(Lines("\xEF\xBB\xBFUTF-8 com BOM"), L{"UTF-8 com BOM"});
  EXPECT_EQ(Lines("Relat\xF3rio \x80 \x81"), L{"Relatório € \u0081"}) << "CP1252 when not UTF-8";
  EXPECT_EQ(Lines(std::string("\xFF\xFE"
                              "A\0\xE7\0\n\0=\xD8\0\xDE",
                              12)),
            (L{"Aç", "😀"}));
  EXPECT_EQ(Lines(std::string("\xFE\xFF\0A\0\xE7", 6)), L{"Aç"});
  EXPECT_EQ(Lines(std::string("\xFF\xFE"
                              "A\0\0\xD8",
                              6)),
            L{"A\uFFFD"})
      << "a cut pair";
}

TEST(ReadDocument, RichTextIsReadAsRichText) {
  const TReadResult r = ReadDocument("  {\\rtf1 {\\b ok}}", kPlain);
  ASSERT_TRUE(r.document);
  EXPECT_TRUE(r.document->paragraphs[0].runs[0].format.bold);
  EXPECT_EQ(Lines("{\\rt"), L{"{\\rt"});
}

TEST(ReadDocument, PlainFormatInCanonicalForm) {
  const TReadResult r = ReadDocument("x", Format(" Arial ", 10.2, true));
  EXPECT_EQ(r.document->paragraphs[0].runs[0].format, Format("Arial", 10, true));
}

TEST(ReportDocument, OneParagraphPerLineInTheReportFont) {
  EXPECT_EQ(ReportFormat(), Format("Courier New", 10));
  const TDocument d = ReportDocument("título\r\n\r\n  1  2.5\r\nsem fim");
  EXPECT_EQ(
      d, (TDocument{{Para({MakeRun("título", ReportFormat())}), Para({MakeRun("", ReportFormat())}),
                     Para({MakeRun("  1  2.5", ReportFormat())}),
                     Para({MakeRun("sem fim", ReportFormat())})}}));
  EXPECT_EQ(ReportDocument("").paragraphs.size(), 0u);
}

TEST(IsRtfFileName, ExtensionInAnyCase) {
  for (const char* yes : {"a.rtf", "A.RTF", "dir.x/rel.Rtf", ".rtf"})
    EXPECT_TRUE(IsRtfFileName(yes));
  for (const char* no : {"a.txt", "rtf", "a.rtf.txt", "artf", "a.rtfx", ""}) {
    EXPECT_FALSE(IsRtfFileName(no)) << no;
  }
}

}  // namespace
}  // namespace qv::richtext
