// The RTF the writer produces, byte for byte where the form matters to other readers.
#include <gtest/gtest.h>

#include <cmath>

#include "builders.h"
#include "richtext/rtf.h"

namespace qv::richtext {
namespace {

// The first run in the default format sets it in full: font and size of Western text, of
// complex scripts (\rtlch, with their bold and italic) and of East Asian text (\dbch); then
// the colour.
const std::string kDefault = "\\f0\\fs20\\rtlch\\af0\\afs20\\ab0\\ai0\\ltrch\\dbch\\af0\\loch\\cf1";

// The body: what follows the header line that ends in "\viewkind4\pard\plain".
std::string Body(const TDocument& doc) {
  const std::string rtf = WriteRtf(doc);
  const std::string mark = "\\viewkind4\\pard\\plain\r\n";
  const auto at = rtf.find(mark);
  EXPECT_NE(at, std::string::npos) << rtf;
  return rtf.substr(at + mark.size());
}

TEST(WriteRtf, HeaderDeclaresCodePageFontsAndColours) {
  TCharFormat red;
  red.fontFamily = "Arial";
  red.color = 0xFF0000;
  const std::string rtf = WriteRtf({{Para({MakeRun("a"), MakeRun("b", red)})}});
  EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\r\n", 0), 0u) << rtf;
  EXPECT_NE(rtf.find("{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset0 Courier New;}"
                     "{\\f1\\fswiss\\fprq2\\fcharset0 Arial;}}"),
            std::string::npos)
      << rtf;
  EXPECT_NE(rtf.find("{\\colortbl;\\red0\\green0\\blue0;\\red255\\green0\\blue0;}"),
            std::string::npos)
      << rtf;
  EXPECT_EQ(rtf.find("listtable"), std::string::npos) << "no list table without bullets";
  EXPECT_EQ(rtf.substr(rtf.size() - 3), "}\r\n");
}

TEST(WriteRtf, EmptyDocumentIsStillRtf) {
  const std::string rtf = WriteRtf({});
  EXPECT_EQ(Body({}), "}\r\n");
  EXPECT_NE(rtf.find("Courier New;"), std::string::npos);
}

TEST(WriteRtf, ReportLineIsItsTextAndPar) {
  // After the first line has set the format, a plain report line costs only "\par".
  EXPECT_EQ(Body(ReportDocument("Análise\r\n\r\n  1   2.50\r\n")),
            kDefault + " An\\'e1lise\\par\r\n\\par\r\n  1   2.50\\par\r\n}\r\n");
}

TEST(WriteRtf, CharactersByCodePage) {
  struct Case {
    const char* text;
    const char* rtf;
  } cases[] = {
      {"a\\b{c}d;", " a\\\\b\\{c\\}d;"},                          // RTF's own characters escaped
      {"ação €“”•—", " a\\'e7\\'e3o \\'80\\'93\\'94\\'95\\'97"},  // code page 1252 as \'xx
      {"ő", "\\u337\\'3f"},  // outside 1252: \uN and its fallback
      {"中", "\\u20013\\'3f"},
      {"\xEF\xBF\xBD", "\\u-3\\'3f"},        // U+FFFD: above 32767, written negative
      {"😀", "\\u-10179\\'3f\\u-8704\\'3f"},  // astral: a UTF-16 surrogate pair
      {"\xC2\x81", "\\u129\\'3f"},           // U+0081: not a character of 1252
      {"a\tb\nc", " a\\tab b\\line c"},
      {"\t-1", "\\tab -1"},   // the blank keeps "-1" out of the word
      {"x\x01y\rz", " xyz"},  // other controls are not text
      {"\x7F", "\\'7f"},
      {"\xFF", "\\u-3\\'3f"},  // invalid UTF-8: U+FFFD
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Body({{Para({MakeRun(c.text)})}}), kDefault + c.rtf + "\\par\r\n}\r\n") << c.text;
  }
}

TEST(WriteRtf, OnlyChangedAttributesAreWritten) {
  TCharFormat bold;
  bold.bold = true;
  TCharFormat big = bold;
  big.pointSize = 14.5;
  big.italic = true;
  big.underline = true;
  EXPECT_EQ(Body({{Para({MakeRun("a"), MakeRun("b", bold), MakeRun("c", big), MakeRun("d")})}}),
            kDefault +
                " a\\rtlch\\af0\\afs20\\ab\\ai0\\ltrch\\b b"
                "\\fs29\\rtlch\\af0\\afs29\\ab\\ai\\ltrch\\i\\ul c"
                "\\fs20\\rtlch\\af0\\afs20\\ab0\\ai0\\ltrch\\b0\\i0\\ulnone d\\par\r\n}\r\n");
}

TEST(WriteRtf, ParagraphFormattingOnlyWhenItChanges) {
  const TDocument doc{{Para({MakeRun("a")}, TAlignment::Center),
                       Para({MakeRun("b")}, TAlignment::Center),
                       Para({MakeRun("c")}, TAlignment::Right),
                       Para({MakeRun("d")}, TAlignment::Justify), Para({MakeRun("e")})}};
  EXPECT_EQ(Body(doc), "\\pard\\qc" + kDefault +
                           " a\\par\r\nb\\par\r\n\\pard\\qr c\\par\r\n\\pard\\qj d\\par\r\n"
                           "\\pard e\\par\r\n}\r\n");
}

TEST(WriteRtf, BulletsInBothListSchemes) {
  const std::string rtf =
      WriteRtf({{Para({MakeRun("um")}, TAlignment::Left, true),
                 Para({MakeRun("dois")}, TAlignment::Left, true), Para({MakeRun("fim")})}});
  EXPECT_NE(rtf.find("{\\*\\listtable{\\list\\listtemplateid1\\listsimple{\\listlevel\\levelnfc23"),
            std::string::npos);
  EXPECT_NE(rtf.find("{\\*\\listoverridetable{\\listoverride\\listid1\\listoverridecount0\\ls1}}"),
            std::string::npos);
  EXPECT_EQ(Body({{Para({MakeRun("um")}, TAlignment::Left, true),
                   Para({MakeRun("dois")}, TAlignment::Left, true), Para({MakeRun("fim")})}}),
            "\\pard\\ls1\\ilvl0\\fi-360\\li720{\\*\\pn\\pnlvlblt\\pnf0\\pnindent360{\\pntxtb\\'95}}"
            "{\\listtext\\f0 \\'95\\tab}" +
                kDefault +
                " um\\par\r\n"
                "{\\listtext\\f0 \\'95\\tab}dois\\par\r\n\\pard fim\\par\r\n}\r\n");
}

TEST(WriteRtf, EmptyParagraphCarriesItsMarkFormat) {
  TCharFormat big;
  big.pointSize = 18;
  // The empty line is as high as its paragraph mark: 18 points, written before its \par.
  EXPECT_EQ(Body({{Para({MakeRun("a")}), Para({MakeRun("", big)}), Para({})}}),
            kDefault +
                " a\\par\r\n\\fs36\\rtlch\\af0\\afs36\\ab0\\ai0\\ltrch\\par\r\n"
                "\\fs20\\rtlch\\af0\\afs20\\ab0\\ai0\\ltrch\\par\r\n}\r\n");
}

TEST(WriteRtf, FontNamesEscapedInTheTable) {
  TCharFormat odd;
  odd.fontFamily = " Nome;{Estranho}\\ ő ";
  const std::string rtf = WriteRtf({{Para({MakeRun("x", odd)})}});
  EXPECT_NE(rtf.find("{\\f1\\fnil\\fcharset0 Nome\\'3b\\{Estranho\\}\\\\ \\u337\\'3f;}"),
            std::string::npos)
      << rtf;
}

TEST(WriteRtf, SizesRoundedToHalfPoints) {
  struct Case {
    double points;
    const char* fs;
  } cases[] = {{10, "\\fs20"},    {10.3, "\\fs21"}, {0.1, "\\fs1"},
               {1e9, "\\fs3276"}, {-3, "\\fs20"},   {std::nan(""), "\\fs20"}};
  for (const Case& c : cases) {
    TCharFormat f;
    f.pointSize = c.points;
    const std::string body = Body({{Para({MakeRun("x", f)})}});
    EXPECT_EQ(body.rfind(std::string("\\f0") + c.fs + "\\rtlch", 0), 0u)
        << c.points << ": " << body;
  }
}

TEST(WriteRtf, OutputIsSevenBit) {
  const std::string rtf = WriteRtf(ReportDocument("Análise da variável ção 😀 ≥\r\n"));
  for (const char c : rtf) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
}

}  // namespace
}  // namespace qv::richtext
