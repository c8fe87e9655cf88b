// pandoc, an independent RTF reader, reads our documents to the same text.
#include <gtest/gtest.h>

#include "../builders.h"
#include "../generator.h"
#include "clients.h"
#include "richtext/encoding.h"
#include "richtext/rtf.h"

namespace qv::richtext::clients {
namespace {

// The words of a text, in order. pandoc's own model folds blanks, drops empty paragraphs (empty
// list items too) and writes a bulleted item after "-"; pandoc 2.17 reads a UTF-16 surrogate pair
// in RTF as two U+FFFD whatever form it takes (LibreOffice's form too), so characters beyond the
// BMP are left out of the comparison on both sides.
std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = detail::NextUtf8(text, pos);
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0xA0) {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else if (c < 0x10000 && c != 0xFFFD) {
      detail::AppendUtf8(c, word);
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

std::vector<std::string> ExpectedWords(const TDocument& doc) {
  std::vector<std::string> words;
  for (const TParagraph& p : doc.paragraphs) {
    std::string text;
    for (const TRun& r : p.runs) text += r.text;
    const std::vector<std::string> w = Words(text);
    if (p.bullet && !w.empty()) words.push_back("-");  // an empty item is dropped
    words.insert(words.end(), w.begin(), w.end());
  }
  return words;
}

std::vector<std::string> PandocWords(const TDocument& doc, const TScratch& dir,
                                     const std::string& name) {
  Spit(dir / (name + ".rtf"), WriteRtf(doc));
  const fs::path out = dir / (name + ".txt");
  EXPECT_EQ(Run("pandoc -f rtf -t plain --wrap=none -o " + Quote(out.string()) + " " +
                    Quote((dir / (name + ".rtf")).string()),
                dir / "pandoc.log"),
            0)
      << Slurp(dir / "pandoc.log");
  return Words(Slurp(out));
}

TEST(SmokePandoc, ReadsOurReportAndShowcase) {
  QV_REQUIRE_PROGRAM("pandoc");
  TScratch dir;
  const TDocument report = ReportDocument(Slurp(fs::path(QV_GOLDEN_DIR) / "cruz_4x5.txt"));
  EXPECT_EQ(PandocWords(report, dir, "report"), ExpectedWords(report));
  const TDocument doc{{
      Para({MakeRun("Análise ", Format("Arial", 12)), MakeRun("negrito", Format("Arial", 12, true)),
            MakeRun(" ő € “aspas” 中文 Привет {chaves} \\barra; tab\tlinha\nfim",
                    Format("Courier New", 10, false, true, true, 0xFF0000))},
           TAlignment::Center),
      Para({MakeRun("", Format("Arial", 18))}),
      Para({MakeRun("marca um", Format("Arial", 12))}, TAlignment::Left, true),
      Para({MakeRun("marca dois", Format("Arial", 12))}, TAlignment::Left, true),
      Para({MakeRun("depois", Format("Arial", 12))}),
  }};
  EXPECT_EQ(PandocWords(doc, dir, "doc"), ExpectedWords(doc));
}

TEST(Pandoc, ReadsGeneratedDocuments) {
  QV_REQUIRE_PROGRAM("pandoc");
  TScratch dir;
  TDocumentGenerator gen(99, TGeneratorMode::Portable);
  for (int k = 0; k < 30; ++k) {
    const TDocument doc = Normalize(gen.Document());
    SCOPED_TRACE(WriteRtf(doc));
    ExpectSameSequence(PandocWords(doc, dir, "doc" + std::to_string(k)), ExpectedWords(doc));
  }
}

}  // namespace
}  // namespace qv::richtext::clients
