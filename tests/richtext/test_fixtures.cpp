// Documents other programs wrote open with the text and attributes their authors gave them:
// LibreOffice Writer (fixtures made by data/richtext/make_libreoffice_fixtures.sh from the ODT
// and HTML beside them), WordPad (Windows' RichEdit) and TextEdit (macOS), the last two written
// in the form those programs write.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "builders.h"
#include "richtext/rtf.h"

namespace qv::richtext {
namespace {

TDocument ReadFixture(const std::string& name) {
  std::ifstream f(std::string(QV_TEST_DATA) + "/richtext/" + name, std::ios::binary);
  EXPECT_TRUE(f) << name;
  std::stringstream s;
  s << f.rdbuf();
  TReadResult r = ReadDocument(s.str(), TCharFormat{});
  EXPECT_TRUE(r.document) << r.error;
  return r.document.value_or(TDocument{});
}

TEST(LibreOfficeFixtures, EveryAttributeOfTheOdtSource) {
  const TCharFormat mono = Format("Courier New", 10);
  const TCharFormat serif = Format("Liberation Serif", 12);
  TCharFormat bold = serif, italic = serif, underline = serif;
  bold.bold = italic.italic = underline.underline = true;
  using A = TAlignment;
  const TDocument expected{{
      Para({MakeRun("Análise da variável PROD", mono)}),
      Para({MakeRun("    1     2      12.500000", mono)}),
      Para({MakeRun("", mono)}),
      Para({MakeRun("Texto ", serif), MakeRun("negrito", bold), MakeRun(", ", serif),
            MakeRun("itálico", italic), MakeRun(", ", serif), MakeRun("sublinhado", underline),
            MakeRun(" e ", serif),
            MakeRun("tudo junto", Format("Arial", 14, true, true, true, 0x1F6B3A)),
            MakeRun(" pequeno", Format("Liberation Serif", 9.5, false, false, false, 0xFF0000)),
            MakeRun(".", serif)}),
      Para({MakeRun("Centralizado", serif)}, A::Center),
      Para({MakeRun("À direita", serif)}, A::Right),
      Para({MakeRun("Justificado", serif)}, A::Justify),
      Para({MakeRun("a\tb\nc € “aspas” ő Привет 中文 😀", serif)}),
      Para({MakeRun("", Format("Liberation Serif", 18))}),
      Para({MakeRun("marca um", serif)}, A::Left, true),
      Para({MakeRun("marca dois", serif)}, A::Left, true),
      Para({MakeRun("1.\tprimeiro", serif)}),
      Para({MakeRun("2.\tsegundo", serif)}),
      Para({MakeRun("fim", serif)}),
  }};
  EXPECT_EQ(ReadFixture("libreoffice/formats.rtf"), expected);
}

TEST(LibreOfficeFixtures, WebPageWithListsTableAndLink) {
  const TDocument d = ReadFixture("libreoffice/web.rtf");
  EXPECT_EQ(
      PlainText(d),
      "Relatório de negrito itálico sublinhado — € ő 中文\nCentro\nDireita vermelha\num\ndois\n"
      "1.\tprimeiro\nc1\tc2\nc3\tc4\nlinha\nquebra ligação");
  ASSERT_EQ(d.paragraphs.size(), 9u);
  EXPECT_EQ(d.paragraphs[0].runs[1], MakeRun("negrito", Format("Courier New", 10, true)));
  EXPECT_EQ(d.paragraphs[0].runs.back().format, Format("Courier New", 10))
      << "the CJK characters in the paragraph's font, as LibreOffice gives them with \\dbch";
  EXPECT_EQ(d.paragraphs[1].alignment, TAlignment::Center);
  EXPECT_EQ(d.paragraphs[2].runs[0].format.color, 0xFF0000u);
  EXPECT_TRUE(d.paragraphs[3].bullet && d.paragraphs[4].bullet);
  EXPECT_FALSE(d.paragraphs[5].bullet);
  EXPECT_TRUE(d.paragraphs[8].runs.back().format.underline) << "the link's text is shown";
}

TEST(WordPadFixture, RichEditForm) {
  const TCharFormat calibri = Format("Calibri", 11);
  TCharFormat bold = calibri, italic = calibri, underline = calibri;
  bold.bold = italic.italic = underline.underline = true;
  using A = TAlignment;
  const TDocument expected{{
      Para({MakeRun("Relatório de ", calibri), MakeRun("negrito", bold), MakeRun(", ", calibri),
            MakeRun("itálico", italic), MakeRun(" e ", calibri), MakeRun("sublinhado", underline),
            MakeRun(".", calibri)}),
      Para({MakeRun("Centralizado em vermelho",
                    Format("Calibri", 14, true, false, false, 0xFF0000))},
           A::Center),
      Para({MakeRun("À direita", Format("Calibri", 11, false, false, false, 0x004DBB))}, A::Right),
      Para({MakeRun("Justificado", calibri)}, A::Justify),
      Para({MakeRun("primeiro item", calibri)}, A::Left, true),
      Para({MakeRun("segundo item", calibri)}, A::Left, true),
      Para({MakeRun("G   Amb\t1.50\n2\t2.25", Format("Courier New", 10))}),
      Para({MakeRun("", Format("Courier New", 10))}),
      Para({MakeRun("Привет", Format("Arial", 11)), MakeRun(" ", calibri),
            MakeRun("日本", Format("MS Gothic", 11)), MakeRun(" € ő", calibri)}),
  }};
  EXPECT_EQ(ReadFixture("wordpad.rtf"), expected);
}

TEST(TextEditFixture, CocoaForm) {
  const TCharFormat helvetica = Format("Helvetica", 12);
  using A = TAlignment;
  const TDocument expected{{
      Para({MakeRun("Relatório de ", helvetica),
            MakeRun("negrito", Format("Helvetica-Bold", 12, true)), MakeRun(" e ", helvetica),
            MakeRun("vermelho", Format("Helvetica", 12, false, false, false, 0xFB0007))}),
      Para({MakeRun("segunda linha € 中😀", helvetica)}),
      Para({MakeRun("item um", helvetica)}, A::Left, true),
      Para({MakeRun("item dois", helvetica)}, A::Left, true),
      Para({MakeRun("centro\tfim", Format("Courier", 13))}, A::Center),
  }};
  EXPECT_EQ(ReadFixture("textedit.rtf"), expected);
}

}  // namespace
}  // namespace qv::richtext
