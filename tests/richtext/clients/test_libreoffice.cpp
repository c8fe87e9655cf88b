// LibreOffice Writer opens what we write with the same text and attributes, and what it writes
// opens in ours the same way. Smoke* tests run with every test run; the others are slower and
// carry the ctest label "slow" (ctest -L clients runs them all).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "../builders.h"
#include "../generator.h"
#include "clients.h"
#include "fodt.h"
#include "lohtml.h"
#include "markup.h"
#include "richtext/rtf.h"

namespace qv::richtext::clients {
namespace {

// LibreOffice's default paragraph format, which its HTML export leaves unsaid.
const TCharFormat kLibreOfficeDefault = Format("Liberation Serif", 12);
const char* const kText = "txt:Text (encoded):UTF8";

void ExpectSameParagraphs(const std::vector<TOdfParagraph>& got,
                          const std::vector<TOdfParagraph>& want) {
  ExpectSameSequence(got, want);
}

// What LibreOffice should show of a document. It takes the last \par for the end of the
// document, so an empty last paragraph has its default format rather than its mark's.
std::vector<TOdfParagraph> ExpectedInLibreOffice(const TDocument& doc) {
  std::vector<TOdfParagraph> view = OdfView(doc);
  if (!view.empty() && view.back().text.empty()) view.back().formats = {kLibreOfficeDefault};
  return view;
}

// Everything the report window can set, in one document.
TDocument Showcase() {
  const TCharFormat mono = Format("Courier New", 10);
  using A = TAlignment;
  return {{
      Para({MakeRun("Análise da variável PROD\t12.500000", mono)}),
      Para({MakeRun("Texto ", Format("Times New Roman", 12)),
            MakeRun("negrito 太字", Format("Times New Roman", 12, true)),
            MakeRun(" itálico مائل", Format("Times New Roman", 12, false, true)),
            MakeRun(" sublinhado", Format("Times New Roman", 12, false, false, true)),
            MakeRun(" tudo junto", Format("Arial", 14, true, true, true, 0x1F6B3A)),
            MakeRun(" pequeno vermelho", Format("Arial", 9.5, false, false, false, 0xFF0000)),
            MakeRun(" 中文 Привет ő € 😀 عربي", Format("Courier New", 11))},
           A::Justify),
      Para({MakeRun("Centralizado", Format("Arial", 18))}, A::Center),
      Para({MakeRun("À direita", Format("Liberation Sans", 10, false, true))}, A::Right),
      Para({MakeRun("", Format("Arial", 24))}),
      Para({MakeRun("marca um", Format("Times New Roman", 12))}, A::Left, true),
      Para({MakeRun("marca dois", Format("Times New Roman", 12, true))}, A::Center, true),
      Para({MakeRun("linha\nquebrada {chaves} \\barra; fim", mono)}),
  }};
}

// The lines LibreOffice's text export gives: a paragraph per line (a line break too), a
// bulleted paragraph after its indent, bullet and blank.
void ExpectTextExport(const std::string& exported, const TDocument& doc) {
  std::string text = exported;
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::size_t k = 0;
  for (const TParagraph& p : doc.paragraphs) {
    std::string expected;
    for (const TRun& r : p.runs) expected += r.text;
    // A paragraph is as many lines as it has line breaks, plus one (a final break gives an
    // empty last line).
    std::vector<std::string> wanted{""};
    for (const char c : expected) {
      if (c == '\n') {
        wanted.emplace_back();
      } else {
        wanted.back().push_back(c);
      }
    }
    bool first = true;
    for (const std::string& want : wanted) {
      ASSERT_LT(k, lines.size()) << "missing: " << want;
      std::string got = lines[k++];
      if (p.bullet && first) {
        const auto bullet = got.find("•");
        ASSERT_NE(bullet, std::string::npos) << got;
        EXPECT_EQ(got.substr(0, bullet).find_first_not_of(' '), std::string::npos) << got;
        got = got.substr(bullet + std::string("•").size());
        if (!got.empty()) got.erase(0, 1);  // the blank after the bullet
      }
      if (want.empty())
        got.erase(0, got.find_first_not_of(' ') == std::string::npos ? got.size() : 0);
      EXPECT_EQ(got, want);
      first = false;
    }
  }
  EXPECT_EQ(k, lines.size());
}

TEST(SmokeLibreOffice, OpensOurDocumentWithItsTextAndAttributes) {
  QV_REQUIRE_PROGRAM("soffice");
  TScratch dir;
  const TDocument doc = Showcase();
  Spit(dir / "showcase.rtf", WriteRtf(doc));
  SofficeConvert({dir / "showcase.rtf"}, kText, dir.Path());
  SofficeConvert({dir / "showcase.rtf"}, "html", dir.Path());
  SofficeConvert({dir / "showcase.rtf"}, "fodt", dir.Path());
  ExpectTextExport(Slurp(dir / "showcase.txt"), doc);
  EXPECT_EQ(ReadLibreOfficeHtml(Slurp(dir / "showcase.html"), kLibreOfficeDefault), Seen(doc));
  ExpectSameParagraphs(ReadFlatOdt(Slurp(dir / "showcase.fodt")), ExpectedInLibreOffice(doc));
}

// The words of a PDF page as pdftotext -bbox gives them.
struct TPdfWord {
  int page;
  double xMin, yMin, xMax;
  std::string text;
};

std::vector<TPdfWord> PdfWords(const std::string& bboxHtml) {
  std::vector<TPdfWord> words;
  int page = 0;
  for (std::size_t pos = 0; (pos = bboxHtml.find('<', pos)) != std::string::npos; ++pos) {
    if (bboxHtml.compare(pos, 5, "<page") == 0) ++page;
    if (bboxHtml.compare(pos, 5, "<word") != 0) continue;
    auto attribute = [&](const char* name) {
      const std::size_t at = bboxHtml.find(std::string(name) + "=\"", pos);
      return std::stod(bboxHtml.substr(at + std::strlen(name) + 2));
    };
    const std::size_t start = bboxHtml.find('>', pos) + 1;
    const std::size_t end = bboxHtml.find("</word>", start);
    const std::string text = Unescape(bboxHtml.substr(start, end - start));
    words.push_back({page, attribute("xMin"), attribute("yMin"), attribute("xMax"), text});
  }
  // pdftotext gives them in its own reading order (column by column where it sees columns);
  // the report's order is line by line.
  std::stable_sort(words.begin(), words.end(), [](const TPdfWord& a, const TPdfWord& b) {
    if (a.page != b.page) return a.page < b.page;
    if (std::abs(a.yMin - b.yMin) > 0.5) return a.yMin < b.yMin;
    return a.xMin < b.xMin;
  });
  return words;
}

// A report saved as Rich Text and printed to PDF by LibreOffice keeps its fixed-width columns:
// every word of every line starts at its column times the width of a character, and no line
// wraps. The word positions come from pdftotext -bbox; pdftotext -layout rebuilds blanks with a
// heuristic that can shift a column by one, so it cannot tell an aligned PDF from one that is
// not.
void ExpectColumnsKept(const std::string& report, const TScratch& dir, const std::string& name) {
  Spit(dir / (name + ".rtf"), WriteRtf(ReportDocument(report)));
  SofficeConvert({dir / (name + ".rtf")}, "pdf", dir.Path());
  ASSERT_EQ(Run("pdftotext -bbox " + Quote((dir / (name + ".pdf")).string()) + " " +
                    Quote((dir / (name + ".html")).string()),
                dir / "pdftotext.log"),
            0);
  const std::vector<TPdfWord> words = PdfWords(Slurp(dir / (name + ".html")));
  std::size_t w = 0;
  double x0 = NAN, charWidth = NAN;
  std::stringstream lines(report);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t column = 0, pos = 0;
    const TPdfWord* first = nullptr;
    while ((pos = line.find_first_not_of(' ', column)) != std::string::npos) {
      const std::size_t end = std::min(line.find(' ', pos), line.size());
      const std::string word = line.substr(pos, end - pos);
      // Columns count characters, not bytes.
      std::size_t charColumn = 0;
      for (std::size_t k = 0; k < pos; ++k) charColumn += (line[k] & 0xC0) != 0x80;
      ASSERT_LT(w, words.size()) << "missing from the PDF: " << line;
      const TPdfWord& got = words[w++];
      ASSERT_EQ(got.text, word) << line;
      if (std::isnan(x0)) {
        std::size_t chars = 0;
        for (const char c : word) chars += (c & 0xC0) != 0x80;
        charWidth = (got.xMax - got.xMin) / static_cast<double>(chars);
        x0 = got.xMin - charWidth * static_cast<double>(charColumn);
      }
      EXPECT_NEAR(got.xMin, x0 + charWidth * static_cast<double>(charColumn), 0.05)
          << "column " << charColumn << " of: " << line;
      if (!first) first = &got;
      EXPECT_EQ(got.page, first->page) << "wrapped: " << line;
      EXPECT_NEAR(got.yMin, first->yMin, 0.01) << "wrapped: " << line;
      column = end;
    }
  }
  EXPECT_EQ(w, words.size());
}

TEST(SmokeLibreOffice, SavedReportKeepsItsColumnsInPdf) {
  QV_REQUIRE_PROGRAM("soffice");
  QV_REQUIRE_PROGRAM("pdftotext");
  TScratch dir;
  // The widest report lines the program writes (84 characters), with accents.
  ExpectColumnsKept(Slurp(fs::path(QV_GOLDEN_DIR) / "cruz_4x5.txt"), dir, "cruz");
}

TEST(LibreOffice, MoreReportsKeepTheirColumnsInPdf) {
  QV_REQUIRE_PROGRAM("soffice");
  QV_REQUIRE_PROGRAM("pdftotext");
  TScratch dir;
  for (const char* golden : {"ammi_5x8", "eberhart_4x5", "wricke_onofri_r3", "toler_4x6",
                             "plaisted_2x2_r1", "silvatoler_4x8"}) {
    SCOPED_TRACE(golden);
    ExpectColumnsKept(Slurp(fs::path(QV_GOLDEN_DIR) / (std::string(golden) + ".txt")), dir, golden);
  }
}

// LibreOffice's RTF export writes right-to-left runs (with the blanks and signs that follow
// them) without their underline and colour, though its own document has them, as the flat ODT
// shows; those two are not compared on such characters.
std::vector<std::pair<char32_t, TCharFormat>> CharactersForRtfExport(const TDocument& doc) {
  std::vector<std::pair<char32_t, TCharFormat>> out;
  for (const TOdfParagraph& p : ExpectedInLibreOffice(doc)) {
    int script = 0;
    for (std::size_t k = 0; k < p.formats.size(); ++k) {
      const char32_t c = k < p.text.size() ? p.text[k] : 0;
      TCharFormat f = p.formats[k];
      script = OdfScript(c, script);
      if (script == 2) f.underline = false, f.color = 0;
      out.emplace_back(c, f);
    }
    out.emplace_back(U'¶', TCharFormat{"", static_cast<double>(p.alignment), p.bullet});
  }
  return out;
}

// Generated documents (letters and symbols of several scripts, RTF's own characters, tabs,
// line breaks, every attribute, empty paragraphs, bullets): LibreOffice opens them with our
// text and attributes, and what it writes of them as RTF reads as the same documents.
TEST(LibreOffice, GeneratedDocumentsKeepTextAndAttributes) {
  QV_REQUIRE_PROGRAM("soffice");
  TScratch dir;
  TDocumentGenerator gen(2024, TGeneratorMode::Portable);
  std::vector<TDocument> docs;
  std::vector<fs::path> files;
  for (const char* sub : {"fodt", "rtf", "txt"}) fs::create_directories(dir / sub);
  for (int k = 0; k < 30; ++k) {
    TDocument doc = Normalize(gen.Document());
    if (doc.paragraphs.empty()) continue;
    files.push_back(dir / ("doc" + std::to_string(k) + ".rtf"));
    Spit(files.back(), WriteRtf(doc));
    docs.push_back(std::move(doc));
  }
  SofficeConvert(files, "fodt", dir / "fodt");
  SofficeConvert(files, "rtf", dir / "rtf");
  SofficeConvert(files, kText, dir / "txt");
  for (std::size_t k = 0; k < docs.size(); ++k) {
    const std::string stem = files[k].stem().string();
    SCOPED_TRACE(stem + "\n" + WriteRtf(docs[k]));
    ExpectTextExport(Slurp(dir / "txt" / (stem + ".txt")), docs[k]);
    ExpectSameParagraphs(ReadFlatOdt(Slurp(dir / "fodt" / (stem + ".fodt"))),
                         ExpectedInLibreOffice(docs[k]));
    const TReadResult back = ReadRtf(Slurp(dir / "rtf" / (stem + ".rtf")));
    ASSERT_TRUE(back.document) << back.error;
    ExpectSameSequence(CharactersForRtfExport(*back.document), CharactersForRtfExport(docs[k]));
  }
}

// The fixtures in data/richtext/libreoffice were made by one LibreOffice; the one installed
// writes them again, and they read the same.
TEST(LibreOffice, FixturesWrittenAgainReadTheSame) {
  QV_REQUIRE_PROGRAM("soffice");
  TScratch dir;
  const fs::path sources = fs::path(QV_TEST_DATA) / "richtext" / "libreoffice";
  SofficeConvert({sources / "formats.fodt"}, "rtf", dir.Path());
  SofficeConvert({sources / "web.html"}, "rtf", dir.Path(), "HTML (StarWriter)");
  for (const char* name : {"formats.rtf", "web.rtf"}) {
    const TReadResult fresh = ReadRtf(Slurp(dir / name));
    const TReadResult committed = ReadRtf(Slurp(sources / name));
    ASSERT_TRUE(fresh.document && committed.document);
    EXPECT_EQ(*fresh.document, *committed.document) << name;
  }
}

}  // namespace
}  // namespace qv::richtext::clients
