// Reading RTF: each construct of the format that other programs write, in a small document.
#include <gtest/gtest.h>

#include "builders.h"
#include "richtext/rtf.h"

namespace qv::richtext {
namespace {

TDocument Read(std::string_view rtf) {
  TReadResult r = ReadRtf(rtf);
  EXPECT_TRUE(r.document.has_value()) << r.error;
  EXPECT_EQ(r.error, "");
  return r.document.value_or(TDocument{});
}

// RTF's defaults when a document sets nothing: 12 points, the font \deff names.
const TCharFormat kTimes = Format("Times New Roman", 12);
const char* const kFonts =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}{\\f1\\fswiss\\fcharset0 "
    "Arial;}{\\f2\\fnil\\fcharset2 Symbol;}{\\f3\\fnil\\fcharset204 Arial Cyr;}"
    "{\\f4\\fnil\\fcharset128 MS Gothic;}{\\f5\\fmodern\\cpg1253 Greek;}}"
    "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green128\\blue255;}";

std::string Doc(const std::string& body) {
  return kFonts + body + "}";
}

TEST(ReadRtf, TextAndParagraphs) {
  EXPECT_EQ(Read(Doc("um\\par dois\\line tr\\u234s\\tab x\\par\r\n\\par}")),
            (TDocument{{Para({MakeRun("um", kTimes)}), Para({MakeRun("dois\ntrê\tx", kTimes)}),
                        Para({MakeRun("", kTimes)})}}))
      << "\\u234 with \\uc1 swallows its fallback 's'";
  // A final paragraph without \par still counts; a final \par opens no empty one.
  EXPECT_EQ(Read(Doc("a\\par b")).paragraphs.size(), 2u);
  EXPECT_EQ(Read(Doc("a\\par")).paragraphs.size(), 1u);
  EXPECT_EQ(Read("{\\rtf1}").paragraphs.size(), 0u);
  // Line ends in the file are not text; a backslash before one is a \par (as TextEdit writes).
  EXPECT_EQ(PlainText(Read(Doc("a\r\nb\\\nc\\\r\nd"))), "ab\nc\nd");
  EXPECT_EQ(Read("{\\rtf1{\\fonttbl\\\n{\\f0 A;}}{\\*\\x \\\n}x}").paragraphs.size(), 1u)
      << "only in the text does a backslash before a line end make a paragraph";
}

TEST(ReadRtf, Characters) {
  struct Case {
    const char* body;
    const char* text;
  } cases[] = {
      {"An\\'e1lise \\'80 \\'93x\\'94", "Análise € “x”"},
      {"\\{\\}\\\\", "{}\\"},
      {"a\\~b\\_c\\-d", "a\u00A0b\u2011c\u00ADd"},
      {"\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote", "—–•‘’“”"},
      {"\\u20013?\\u-3?", "中\uFFFD"},
      {"\\uc2\\u20013??x\\uc0\\u20013 y", "中x中y"},
      {"\\uc1\\u20013\\'3fx", "中x"},              // a \'xx is one fallback character
      {"\\u-10179?\\u-8704?", "😀"},                // a surrogate pair
      {"\\uc0 \\u55357\\uc1 \\u56832\\'3f", "😀"},  // LibreOffice's form of the same
      {"\\u128512?", "😀"},                         // some writers skip the pair
      {"\\u-8704?x", "\uFFFDx"},                   // a lone low surrogate
      {"\\u-10179?x", "\uFFFDx"},                  // a lone high surrogate
      {"\\u99999999999?x", "\uFFFDx"},             // out of range
      {"{\\u20013}x", "中x"},                      // a group end stops the fallback
      {"\\f3 \\'cf\\'f0\\'e8\\f0 \\'e9", "Приé"},  // \fcharset204: code page 1251
      {"\\f4 \\'93\\'fa\\'96\\'7b x", "日本 x"},   // \fcharset128: Shift-JIS pairs
      {"\\f4 \\'83\\\\", "ソ"},                    // a trail byte that is a backslash
      {"\\f5 \\'e1", "α"},                         // \cpg1253
      {"\\'00\\'0a\\'09x\\u7?y", "\txy"},          // controls are not text, tab is
      {"a\tb", "a\tb"},                            // a literal tab
      {"\\unknownword5 a\\*b", "ab"},              // unknown words are ignored
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlainText(Read(Doc(c.body))), c.text) << c.body;
  }
}

TEST(ReadRtf, DocumentCodePages) {
  EXPECT_EQ(PlainText(Read("{\\rtf1\\ansi\\ansicpg1250 \\'9a\\'e8}")), "šč");
  EXPECT_EQ(PlainText(Read("{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset0 Arial;}}\\'e0}")),
            "а")
      << "\\fcharset0 means the document's own code page";
  EXPECT_EQ(PlainText(Read("{\\rtf1\\mac \\'8e}")), "é");
  EXPECT_EQ(PlainText(Read("{\\rtf1\\pc \\'82}")), "é");
  EXPECT_EQ(PlainText(Read("{\\rtf1\\ansi\\ansicpg99999 \\'e9}")), "é") << "unknown: 1252";
  EXPECT_EQ(PlainText(Read("{\\rtf1\\ansi\\ansicpg65001 \\'c3\\'a7}")), "ç");
  EXPECT_EQ(PlainText(Read("{\\rtf1\\ansi\\ansicpg932 \\'82}")), "\uFFFD") << "cut short";
  // A raw byte in the file is read in the code page as \'xx would be.
  EXPECT_EQ(PlainText(Read("{\\rtf1\\ansi caf\xE9}")), "café");
}

TEST(ReadRtf, CharacterFormatting) {
  const TDocument d =
      Read(Doc("\\f1\\fs20 a{\\b b{\\i c}}\\ul d\\ulnone\\uldb e\\ul0 f\\cf1 g\\cf2 h\\cf0 i"
               "\\cf9 j\\f9 k\\plain l"));
  const TCharFormat arial = Format("Arial", 10);
  auto with = [&](auto change) {
    TCharFormat f = arial;
    change(f);
    return f;
  };
  EXPECT_EQ(d, (TDocument{{Para({
                   MakeRun("a", arial),
                   MakeRun("b", with([](TCharFormat& f) { f.bold = true; })),
                   MakeRun("c", with([](TCharFormat& f) { f.bold = f.italic = true; })),
                   MakeRun("de", with([](TCharFormat& f) { f.underline = true; })),
                   MakeRun("f", arial),
                   MakeRun("g", with([](TCharFormat& f) { f.color = 0xFF0000; })),
                   MakeRun("h", with([](TCharFormat& f) { f.color = 0x0080FF; })),
                   // \cf0 is the automatic colour, \cf9 is not in the table: both black.
                   MakeRun("ij", arial),
                   // \f9 is not in the table: the report window's font.
                   MakeRun("k", Format("Courier New", 10)),
                   MakeRun("l", kTimes),
               })}}));
}

TEST(ReadRtf, EastAsianTextInItsOwnFont) {
  // LibreOffice gives the font and size of CJK text as \af and \afs after \dbch; \f after
  // \dbch is the East Asian font too; \fs sets both sizes.
  const TDocument d =
      Read(Doc("{\\hich\\af1\\loch\\fs20\\f1\\loch a}{\\dbch\\afs20\\af4\\dbch "
               "\\u20013\\'3f}{\\fs16\\f1\\dbch\\f4\\loch b\\u20013?}"));
  EXPECT_EQ(d, (TDocument{{Para(
                   {MakeRun("a", Format("Arial", 10)), MakeRun("中", Format("MS Gothic", 10)),
                    MakeRun("b", Format("Arial", 8)), MakeRun("中", Format("MS Gothic", 8))})}}));
  // Blanks, digits and symbols take the script of the character before them.
  const TDocument e = Read(Doc("\\f1\\dbch\\af4\\loch 1 a \\u20013? 2\\u-10179?\\u-8704? b"));
  EXPECT_EQ(e, (TDocument{{Para({MakeRun("1 a ", Format("Arial", 12)),
                                 MakeRun("中 2😀 ", Format("MS Gothic", 12)),
                                 MakeRun("b", Format("Arial", 12))})}}));
}

TEST(ReadRtf, ComplexScriptTextInItsOwnFormat) {
  // Arabic, Hebrew, Thai...: \af, \afs, \ab and \ai after \rtlch, as LibreOffice writes them;
  // where a document gives none (WordPad), such text is formatted as the rest.
  const TDocument d =
      Read(Doc("{\\rtlch\\af4\\afs40\\ab \\ltrch\\hich\\af1\\loch\\fs20\\f1 a "
               "\\u1593?}{\\ltrch\\rtlch\\afs40\\af4\\ai \\u1488?}"
               "{\\f1\\b\\fs22 b\\u1593?}"));
  EXPECT_EQ(d, (TDocument{{Para({MakeRun("a ", Format("Arial", 10)),
                                 MakeRun("ع", Format("MS Gothic", 20, true)),
                                 MakeRun("א", Format("MS Gothic", 20, false, true)),
                                 MakeRun("bع", Format("Arial", 11, true))})}}));
}

TEST(ReadRtf, ParagraphFormatting) {
  const TDocument d =
      Read(Doc("\\qc a\\par b\\par\\pard c\\par\\qr d\\par\\qj e\\par\\qd f\\par"
               "\\ql g\\par{\\qc h\\par}i\\par{\\qr j}"));
  std::vector<TAlignment> got;
  for (const TParagraph& p : d.paragraphs) got.push_back(p.alignment);
  using A = TAlignment;
  EXPECT_EQ(got, (std::vector<A>{A::Center, A::Center, A::Left, A::Right, A::Justify, A::Justify,
                                 A::Left, A::Center, A::Left, A::Right}))
      << "a paragraph takes the alignment in force at its end";
}

TEST(ReadRtf, WordPadBullets) {
  // The Word 6 scheme RichEdit writes: {\pntext} label and {\*\pn\pnlvlblt} after \pard.
  const TDocument d =
      Read(Doc("\\pard{\\pntext\\f2\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf2\\pnindent0{\\pntxtb\\'B7}}"
               "\\fi-720\\li720 um\\par{\\pntext\\f2\\'B7\\tab}dois\\par\\pard tr\\'eas\\par"
               "{\\pntext 1.\\tab}{\\*\\pn\\pnlvlbody\\pndec{\\pntxta .}}quatro\\par"));
  ASSERT_EQ(d.paragraphs.size(), 4u);
  EXPECT_TRUE(d.paragraphs[0].bullet);
  EXPECT_TRUE(d.paragraphs[1].bullet);
  EXPECT_FALSE(d.paragraphs[2].bullet);
  EXPECT_FALSE(d.paragraphs[3].bullet);
  EXPECT_EQ(PlainText(d), "um\ndois\ntrês\n1.\tquatro") << "a number stays as text";
}

TEST(ReadRtf, ListTableBullets) {
  // Word's and LibreOffice's scheme: \lsN refers through the override table to a list whose
  // level has \levelnfc23 (bullet) or another number format.
  const std::string lists =
      "{\\*\\listtable{\\list\\listtemplateid7{\\listlevel\\levelnfc23{\\leveltext\\'01\\u8226 "
      "?;}{\\levelnumbers;}}{\\listlevel\\levelnfc0{\\leveltext\\'02\\'01.;}}\\listid70}"
      "{\\list\\listtemplateid8{\\listlevel\\levelnfc4{\\leveltext\\'02\\'00);}}\\listid80}}"
      "{\\listoverridetable{\\listoverride\\listid80\\listoverridecount0\\ls2}"
      "{\\listoverride\\listid70\\listoverridecount0\\ls1}}";
  const TDocument d =
      Read(Doc(lists + "{\\listtext\\pard\\plain \\u8226\\'95\\tab}\\ilvl0\\ls1 um\\par"
                       "{\\listtext\\pard\\plain  1.\\tab}\\pard\\ilvl1\\ls1 dois\\par"
                       "{\\listtext a)\\tab}\\pard\\ls2 tr\\'eas\\par\\pard quatro\\par"
                       "{\\listtext\\f2 \\'b7\\tab}\\pard\\ls5 cinco\\par"));  // \ls5: no such list
  ASSERT_EQ(d.paragraphs.size(), 5u);
  EXPECT_TRUE(d.paragraphs[0].bullet);
  EXPECT_FALSE(d.paragraphs[1].bullet);
  EXPECT_FALSE(d.paragraphs[2].bullet);
  EXPECT_FALSE(d.paragraphs[3].bullet);
  EXPECT_TRUE(d.paragraphs[4].bullet) << "an unknown list is judged by its label";
  EXPECT_EQ(PlainText(d), "um\n1.\tdois\na)\ttrês\nquatro\ncinco");
}

TEST(ReadRtf, SkippedDestinations) {
  const TDocument d = Read(Doc(
      "{\\stylesheet{\\s0 Normal;}{\\s1\\fs28 Heading;}}{\\info{\\title T\\'edtulo}{\\author A}}"
      "{\\*\\generator X;}{\\*\\unknowndest hidden {\\nested}}{\\header cabe\\'e7alho\\par}"
      "a{\\pict\\pngblip 89504e47{\\*\\blipuid 00}}b{\\pict\\bin6 }{\\}x}}c"
      "{\\object{\\*\\objdata 0102}{\\result{\\pict 00}}}d"
      "{\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}}e"
      "{\\footnote nota}f{\\v oculto}g{\\*\\bkmkstart m}h\\par"));
  EXPECT_EQ(PlainText(d), "abcdlinkefgh");
}

TEST(ReadRtf, TableCellsBecomeTabs) {
  const TDocument d =
      Read(Doc("\\trowd\\cellx1000\\cellx2000\\pard\\intbl a\\cell b\\cell\\row"
               "\\trowd\\pard\\intbl c\\cell\\cell d\\cell\\row e\\par"));
  EXPECT_EQ(PlainText(d), "a\tb\nc\t\td\ne");
}

TEST(ReadRtf, FontTableForms) {
  // Entries in groups or one after another, with alternative names and panose groups, names
  // in their own character set, a name without its ';'.
  const TDocument d = Read(
      "{\\rtf1\\ansi\\deff1{\\fonttbl\\f0\\fswiss Helvetica;\\f1\\fnil Fonte \\'c9;"
      "{\\f2{\\*\\panose 02020603050405020304}Liberation Serif{\\*\\falt Times New Roman};}"
      "{\\f3\\fcharset128 \\'82\\'6c\\'82\\'72 \\'96\\'be\\'92\\'a9;}{\\f4 Sem Fim}}"
      "a\\f0 b\\f2 c\\f3 d\\f4 e}");
  ASSERT_EQ(d.paragraphs.size(), 1u);
  std::vector<std::string> fonts;
  for (const TRun& r : d.paragraphs[0].runs) fonts.push_back(r.format.fontFamily);
  EXPECT_EQ(fonts, (std::vector<std::string>{"Fonte É", "Helvetica", "Liberation Serif",
                                             "ＭＳ 明朝", "Sem Fim"}));
}

TEST(ReadRtf, HiddenAndDeletedTextIsNotShown) {
  EXPECT_EQ(PlainText(Read(Doc("a{\\v b}c\\v d\\v0 e{\\deleted f}g"))), "aceg");
}

TEST(ReadRtf, EmptyParagraphKeepsItsMarkFormat) {
  const TDocument d = Read(Doc("\\fs20 a\\par\\fs36\\par\\b\\par"));
  ASSERT_EQ(d.paragraphs.size(), 3u);
  EXPECT_EQ(d.paragraphs[1], Para({MakeRun("", Format("Times New Roman", 18))}));
  EXPECT_EQ(d.paragraphs[2], Para({MakeRun("", Format("Times New Roman", 18, true))}));
}

TEST(ReadRtf, SizesAndColourComponentsAreBounded) {
  const TDocument d = Read(
      "{\\rtf1{\\colortbl;\\red999\\green-5\\blue12;}\\fs99999999999 a\\fs0 b\\fs-4 c\\cf1 d}");
  ASSERT_EQ(d.paragraphs[0].runs.size(), 2u);
  EXPECT_EQ(d.paragraphs[0].runs[0].format.pointSize, 1638) << "\\fs0 and \\fs-4 are ignored";
  EXPECT_EQ(d.paragraphs[0].runs[1].format.color, 0xFF000Cu);
}

TEST(ReadRtf, ReaderGivesCanonicalForm) {
  // Runs split by groups that change nothing are one run.
  const TDocument d = Read(Doc("{a}{b}\\b0{c}{\\b0 d}"));
  EXPECT_EQ(d, Normalize(d));
  EXPECT_EQ(d.paragraphs[0].runs.size(), 1u);
}

TEST(ReadRtf, NotRtf) {
  const TReadResult r = ReadRtf("texto simples");
  EXPECT_FALSE(r.document);
  EXPECT_EQ(r.error, "O arquivo não é um documento Rich Text (RTF).");
}

TEST(LooksLikeRtf, AfterByteOrderMarkAndBlanks) {
  EXPECT_TRUE(LooksLikeRtf("{\\rtf1"));
  EXPECT_TRUE(LooksLikeRtf("\xEF\xBB\xBF \r\n\t{\\rtf1\\ansi}"));
  EXPECT_FALSE(LooksLikeRtf("{\\rt"));
  EXPECT_FALSE(LooksLikeRtf("x{\\rtf1"));
  EXPECT_FALSE(LooksLikeRtf(""));
  EXPECT_EQ(PlainText(Read("\xEF\xBB\xBF\r\n{\\rtf1 ok}")), "ok");
}

}  // namespace
}  // namespace qv::richtext
