// A document written and read back is the same document: same text, character for character,
// and the same attributes on the same characters. Checked on fixed documents and as a property
// over generated ones.
#include <gtest/gtest.h>

#include <tuple>

#include "builders.h"
#include "generator.h"
#include "richtext/encoding.h"
#include "richtext/rtf.h"

namespace qv::richtext {
namespace {

// What a reader of the document sees: each character with its paragraph, the paragraph's
// alignment and bullet, and its format; an empty paragraph shows its mark's format.
struct TCell {
  std::size_t paragraph;
  char32_t code;  // 0 for the mark of an empty paragraph
  TAlignment alignment;
  bool bullet;
  TCharFormat format;
  bool operator==(const TCell&) const = default;
};

std::vector<TCell> Cells(const TDocument& doc) {
  std::vector<TCell> cells;
  for (std::size_t k = 0; k < doc.paragraphs.size(); ++k) {
    const TParagraph& p = doc.paragraphs[k];
    bool any = false;
    for (const TRun& r : p.runs) {
      for (std::size_t pos = 0; pos < r.text.size();) {
        cells.push_back({k, detail::NextUtf8(r.text, pos), p.alignment, p.bullet, r.format});
        any = true;
      }
    }
    if (!any) {
      cells.push_back(
          {k, 0, p.alignment, p.bullet, p.runs.empty() ? TCharFormat{} : p.runs.back().format});
    }
  }
  return cells;
}

TDocument RoundTrip(const TDocument& doc) {
  TReadResult r = ReadRtf(WriteRtf(doc));
  EXPECT_TRUE(r.document) << r.error;
  return r.document.value_or(TDocument{});
}

TEST(RoundTrip, EveryAttributeOnItsCharacters) {
  const TDocument doc{{
      Para({MakeRun("Análise da variável ", Format("Courier New", 10)),
            MakeRun("negrito", Format("Courier New", 10, true)),
            MakeRun(" itálico", Format("Arial", 14, false, true)),
            MakeRun(" sublinhado\tcom tab", Format("Times New Roman", 18, false, false, true)),
            MakeRun(" cor", Format("Times New Roman", 18, true, true, true, 0x123456))},
           TAlignment::Justify),
      Para({MakeRun("", Format("Arial", 24))}),
      Para({MakeRun("centro\nquebra", Format("Arial", 9.5))}, TAlignment::Center),
      Para({MakeRun("direita ő 中文 😀 𝔄", Format("ＭＳ 明朝", 11))}, TAlignment::Right),
      Para({MakeRun("marca um", Format("Courier New", 10))}, TAlignment::Left, true),
      Para({MakeRun("marca dois", Format("Courier New", 10, true))}, TAlignment::Center, true),
      Para({MakeRun("", Format("Courier New", 10))}, TAlignment::Left, true),
      Para({MakeRun("{\\chaves;} \\par \\u1234", Format("{Chaves}\\;", 10))}),
  }};
  EXPECT_EQ(RoundTrip(doc), doc);
}

TEST(RoundTrip, ReportIsItsLinesInCourierNew) {
  const std::string report =
      "Análise de Quorvandelia de Acordo com o modelo de Plaisted & Paterson (1959)\r\n"
      "Análise da variável PROD\r\n\r\n" +
      std::string(78, '_') + "\r\n     1     2      12.500000\r\n";
  const TDocument doc = ReportDocument(report);
  ASSERT_EQ(doc.paragraphs.size(), 5u);
  EXPECT_EQ(doc.paragraphs[2], Para({MakeRun("", Format("Courier New", 10))}));
  EXPECT_EQ(RoundTrip(doc), doc);
  std::string lines;
  for (const TParagraph& p : RoundTrip(doc).paragraphs) {
    ASSERT_EQ(p.runs.size(), 1u);
    EXPECT_EQ(p.runs[0].format, ReportFormat());
    lines += p.runs[0].text + "\r\n";
  }
  EXPECT_EQ(lines, report);
}

class RoundTripProperty : public ::testing::TestWithParam<unsigned> {};

// Any document: read back, it is its canonical form, which keeps every character and format.
TEST_P(RoundTripProperty, CleanDocumentsComeBackUnchanged) {
  TDocumentGenerator gen(GetParam(), TGeneratorMode::Clean);
  for (int k = 0; k < 250; ++k) {
    const TDocument doc = gen.Document();
    const std::string rtf = WriteRtf(doc);
    for (const char c : rtf) ASSERT_LT(static_cast<unsigned char>(c), 0x80) << rtf;
    const TDocument back = RoundTrip(doc);
    ASSERT_EQ(Cells(back), Cells(doc)) << rtf;
    ASSERT_EQ(back, Normalize(doc)) << rtf;
  }
}

TEST_P(RoundTripProperty, AnyDocumentComesBackAsItsCanonicalForm) {
  TDocumentGenerator gen(GetParam() + 1000, TGeneratorMode::Dirty);
  for (int k = 0; k < 250; ++k) {
    const TDocument doc = gen.Document();
    const TDocument canonical = Normalize(doc);
    ASSERT_EQ(Normalize(canonical), canonical);
    const std::string rtf = WriteRtf(doc);
    ASSERT_EQ(RoundTrip(doc), canonical) << rtf;
    ASSERT_EQ(WriteRtf(canonical), rtf) << "the writer writes a document as its canonical form";
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RoundTripProperty, ::testing::Values(1u, 2u, 3u, 4u));

TEST(Normalize, KeepsTextAndFormatOfEveryCharacter) {
  TDocumentGenerator gen(77, TGeneratorMode::Clean);
  for (int k = 0; k < 300; ++k) {
    const TDocument doc = gen.Document();
    ASSERT_EQ(Cells(Normalize(doc)), Cells(doc));
  }
}

TEST(Normalize, RepairsWhatRtfCannotHold) {
  const TDocument doc{
      {Para({MakeRun("a\rb\x01\xFF", Format(" Arial\t", 10.3, false, false, false, 0xAB123456)),
             MakeRun("", Format("X", 12))}),
       Para({MakeRun("\r", Format("Arial", 12)), MakeRun("", Format("Y", 9))}), Para({})}};
  EXPECT_EQ(
      Normalize(doc),
      (TDocument{{Para({MakeRun("ab\uFFFD", Format("Arial", 10.5, false, false, false, 0x123456))}),
                  Para({MakeRun("", Format("Y", 9))}), Para({MakeRun("", TCharFormat{})})}}));
}

}  // namespace
}  // namespace qv::richtext
