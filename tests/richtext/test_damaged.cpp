// Damaged and hostile input: a document or a clear message, never a crash, a hang or memory
// out of proportion to the input. (The fuzzer in fuzz/ searches for more of the same.)
#include <gtest/gtest.h>

#include <ctime>
#include <random>

#include "builders.h"
#include "richtext/rtf.h"

namespace qv::richtext {
namespace {

const std::string kTooDeep =
    "O documento Rich Text (RTF) está danificado: tem grupos aninhados em mais de 1000 níveis.";

std::string Repeat(std::string_view s, std::size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (std::size_t k = 0; k < n; ++k) out += s;
  return out;
}

std::string TextOf(std::string_view rtf) {
  const TReadResult r = ReadRtf(rtf);
  EXPECT_TRUE(r.document) << r.error;
  return r.document ? PlainText(*r.document) : "<error>";
}

TEST(DamagedRtf, EveryTruncationStillOpens) {
  // A full-featured document cut at every byte: what was read so far is the document.
  TDocument doc{
      {Para({MakeRun("Análise ő 😀\tx\ny", Format("Arial", 11, true))}, TAlignment::Center),
       Para({MakeRun("marca", Format("Courier New", 10, false, true, true, 0xFF))},
            TAlignment::Right, true)}};
  const std::string rtf = WriteRtf(doc);
  for (std::size_t n = 0; n <= rtf.size(); ++n) {
    const TReadResult r = ReadRtf(std::string_view(rtf).substr(0, n));
    ASSERT_EQ(r.document.has_value(), n >= 5) << n;
    if (r.document) {
      ASSERT_EQ(*r.document, Normalize(*r.document)) << n;
    }
  }
  EXPECT_EQ(*ReadRtf(rtf.substr(0, rtf.size() - 3)).document, doc) << "only the final brace lost";
}

TEST(DamagedRtf, UnbalancedBraces) {
  EXPECT_EQ(TextOf("{\\rtf1 a}b}c"), "a") << "the document ends where its group closes";
  EXPECT_EQ(TextOf("{\\rtf1 a}}}}"), "a");
  EXPECT_EQ(TextOf("{\\rtf1 {\\b a{{{"), "a");
  const TDocument d = *ReadRtf("{\\rtf1 {\\b a{{{").document;
  EXPECT_TRUE(d.paragraphs[0].runs[0].format.bold);
}

TEST(DamagedRtf, NestingDepthIsBounded) {
  EXPECT_EQ(TextOf("{\\rtf1 " + Repeat("{", 998) + "x" + Repeat("}", 999)), "x");
  for (const std::size_t depth : {1000u, 5000u, 1000000u}) {
    const TReadResult r = ReadRtf("{\\rtf1 " + Repeat("{", depth) + "x" + Repeat("}", depth) + "}");
    EXPECT_FALSE(r.document) << depth;
    EXPECT_EQ(r.error, kTooDeep);
  }
  // Groups inside a destination that is skipped are only counted, however deep.
  EXPECT_EQ(TextOf("{\\rtf1 {\\*\\x " + Repeat("{", 100000) + Repeat("}", 100000) + "}a}"), "a");
  EXPECT_EQ(TextOf("{\\rtf1 a{\\pict " + Repeat("{", 100000)), "a");
}

TEST(DamagedRtf, BinaryData) {
  EXPECT_EQ(TextOf("{\\rtf1 a\\bin99999999999999999999 xyz}"), "a") << "counts beyond the file";
  EXPECT_EQ(TextOf("{\\rtf1 a\\bin2 }{b}"), "ab") << "braces inside the data are data";
  EXPECT_EQ(TextOf("{\\rtf1 a\\bin-5 b}"), "ab");
  EXPECT_EQ(TextOf("{\\rtf1 a{\\pict\\bin3 }}}}b}"), "ab");
}

TEST(DamagedRtf, CutShortControls) {
  struct Case {
    const char* rtf;
    const char* text;
  } cases[] = {
      {"{\\rtf1 a\\", "a"},
      {"{\\rtf1 a\\'", "a"},
      {"{\\rtf1 a\\'4", "a"},
      {"{\\rtf1 a\\'zzb}", "azzb"},
      {"{\\rtf1 a\\u", "a"},
      {"{\\rtf1 a\\u-", "a"},
      {"{\\rtf1 a\\u65", "aA"},
      {"{\\rtf1 \\uc5\\u65 bcdefgh}", "Agh"},
      {"{\\rtf1 \\uc99999999\\u65 "
       "bcdefghijklmnopqrstuvwxyz}",
       "Arstuvwxyz"},  // \uc capped at 16
      {"{\\rtf1 \\u-99999?x}", "\uFFFDx"},
      {"{\\rtf1 {\\*", ""},
      {"{\\rtf1 {\\fonttbl{\\f0 Ari", ""},
      {"{\\rtf1 {\\colortbl;\\red9", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(TextOf(c.rtf), c.text) << c.rtf;
}

TEST(DamagedRtf, LongWordsAndNumbers) {
  EXPECT_EQ(TextOf("{\\rtf1 a\\" + Repeat("x", 100000) + " b}"), "ab");
  EXPECT_EQ(TextOf("{\\rtf1 a\\f" + Repeat("9", 100000) + " b}"), "ab");
}

TEST(DamagedRtf, RandomBytesAfterTheHeader) {
  std::mt19937 rng(12);
  for (int k = 0; k < 300; ++k) {
    std::string rtf = "{\\rtf1 ";
    const int n = std::uniform_int_distribution<int>(0, 400)(rng);
    for (int i = 0; i < n; ++i) {
      static const char alphabet[] = "{}\\'*;0123456789-abcdefuqrtlnpsinx \r\n\x80\xFF";
      rtf += alphabet[std::uniform_int_distribution<int>(0, sizeof alphabet - 2)(rng)];
    }
    const TReadResult r = ReadRtf(rtf);
    ASSERT_NE(r.document.has_value(), !r.error.empty()) << rtf;
    if (r.document) {
      ASSERT_EQ(*r.document, Normalize(*r.document)) << rtf;
    }
  }
}

// The thread's CPU time of a reading, in seconds: unlike the wall clock it does not count the
// time other processes take the processor, so a busy machine does not fail the test.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// The best of three readings, in seconds of CPU time.
double ReadingTime(const std::string& input) {
  double best = 1e9;
  for (int k = 0; k < 3; ++k) {
    const double start = ThreadSeconds();
    const TReadResult r = ReadRtf(input);
    best = std::min(best, ThreadSeconds() - start);
    EXPECT_TRUE(r.document) << r.error;
  }
  return best;
}

TEST(DamagedRtf, TimeGrowsInProportionToTheInput) {
  // Each kind of trouble at n and 4n repetitions: four times the input may take about four
  // times as long (eight, with room for noise), never the sixteen of a quadratic cost.
  const std::vector<std::pair<std::string, std::string>> kinds{
      {"{\\rtf1 ", "{\\b}"},
      {"{\\rtf1 ", "\\u20013?"},
      {"{\\rtf1 ", "{\\*\\x {}}"},
      {"{\\rtf1 {\\fonttbl", "{\\f1 A;}"},
      {"{\\rtf1 {\\colortbl", "\\red1;"},
      {"{\\rtf1 ", "\\par"},
      {"{\\rtf1 ", "\\f1 a\\f2 b"},
      {"{\\rtf1\\ansicpg932 ", "\\'82"},
      {"{\\rtf1 ", "{\\listtext x}\\ls1 a\\par"},
  };
  for (const auto& [head, unit] : kinds) {
    const double small = ReadingTime(head + Repeat(unit, 1 << 15));
    const double large = ReadingTime(head + Repeat(unit, 1 << 17));
    EXPECT_LT(large, 8 * small + 0.03) << unit << ": " << small << " s, then " << large << " s";
  }
}

}  // namespace
}  // namespace qv::richtext
