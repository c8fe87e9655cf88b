// Random documents for the property tests: every character class the writer treats apart
// (RTF's own characters, code page 1252, the rest of the BMP, astral planes), every format
// attribute, alignments, bullets, empty runs and paragraphs.
//   Clean: only what a document can hold, any Unicode scalar value included.
//   Dirty: also what the writer must repair: control characters, invalid UTF-8, sizes that
//     are not half points, colours above 24 bits, font names with surrounding blanks.
//   Portable: what a word processor keeps as it is: letters and symbols of several scripts,
//     RTF's own characters, tabs and line breaks, ordinary font names and sizes (no
//     noncharacters, private-use or format characters, no empty font name).
#pragma once

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "richtext/document.h"
#include "richtext/encoding.h"

namespace qv::richtext {

enum class TGeneratorMode { Clean, Dirty, Portable };

class TDocumentGenerator {
 public:
  TDocumentGenerator(unsigned seed, TGeneratorMode mode) : rng_(seed), mode_(mode) {}

  TDocument Document() {
    TDocument d;
    const int paragraphs = Uniform(0, 8);
    for (int k = 0; k < paragraphs; ++k) d.paragraphs.push_back(Paragraph());
    return d;
  }

 private:
  int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(int percent) { return Uniform(1, 100) <= percent; }
  template <class T>
  const T& Pick(const std::vector<T>& v) {
    return v[static_cast<std::size_t>(Uniform(0, static_cast<int>(v.size()) - 1))];
  }

  TParagraph Paragraph() {
    TParagraph p;
    p.alignment = static_cast<TAlignment>(Uniform(0, 3));
    p.bullet = Chance(25);
    const int runs = Uniform(0, 5);
    TCharFormat format = Format();
    for (int k = 0; k < runs; ++k) {
      if (!Chance(20)) format = Format();  // sometimes two runs of one format side by side
      p.runs.push_back({Text(), format});
    }
    return p;
  }

  TCharFormat Format() {
    static const std::vector<std::string> cleanFonts{
        "Courier New", "Arial",     "Times New Roman", "Liberation Mono", "",
        "Fonte Ç",     "ＭＳ 明朝", "Semi;colon",      "{Chaves}\\",      "Symbol"};
    static const std::vector<std::string> dirtyFonts{" Espaços ", "Tab\tFonte", "\x01X", "\xFF"};
    static const std::vector<std::string> portableFonts{
        "Courier New", "Arial", "Times New Roman", "Liberation Mono", "Liberation Sans",
        "DejaVu Serif", "Fonte Ç"};
    TCharFormat f;
    f.fontFamily = mode_ == TGeneratorMode::Portable             ? Pick(portableFonts)
                   : mode_ == TGeneratorMode::Dirty && Chance(15) ? Pick(dirtyFonts)
                                                                  : Pick(cleanFonts);
    if (mode_ == TGeneratorMode::Portable) {
      f.pointSize = Uniform(12, 72) / 2.0;
    } else if (mode_ == TGeneratorMode::Clean || Chance(70)) {
      f.pointSize = Uniform(1, 3276) / 2.0;
      if (Chance(50)) f.pointSize = Pick(std::vector<double>{8, 10, 12, 14, 18});
    } else {
      f.pointSize =
          Pick(std::vector<double>{10.3, 0.1, -4, 0, 1e9, std::numeric_limits<double>::quiet_NaN(),
                                   std::numeric_limits<double>::infinity()});
    }
    f.bold = Chance(30);
    f.italic = Chance(30);
    f.underline = Chance(30);
    f.color = Chance(50) ? 0
                         : static_cast<std::uint32_t>(rng_()) &
                               (mode_ == TGeneratorMode::Dirty ? ~0u : 0xFFFFFF);
    return f;
  }

  char32_t CodePoint() {
    static const std::vector<char32_t> special{'\\', '{', '}', ';', '-', '0', '9', ' ', '\t', '\n'};
    static const std::vector<char32_t> latin{U'á', U'é', U'í', U'ó', U'ú', U'ã', U'õ', U'ç',
                                             U'Á', U'Ç', U'ê', U'à', U'ü', U'ñ', 0xA0, 0xAD};
    static const std::vector<char32_t> cp1252{0x20AC, 0x201A, 0x0192, 0x2026, 0x2030, 0x0160,
                                              0x2039, 0x0152, 0x017D, 0x2018, 0x2019, 0x201C,
                                              0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122,
                                              0x0178, 0x81,   0x8D,   0x8F,   0x90,   0x9D};
    static const std::vector<char32_t> other{0x0151, 0x03A9, 0x0416,  0x05D0,  0x0639,  0x4E2D,
                                             0x65E5, 0xD55C, 0x2265,  0xFFFD,  0xFEFF,  0x2028,
                                             0xE000, 0xFFFF, 0x1F600, 0x1D504, 0x20BB7, 0x10FFFF};
    if (mode_ == TGeneratorMode::Portable) {
      static const std::vector<char32_t> portable{
          U'á', U'ç', U'Ã', U'€', U'“', U'”', U'•', U'—', U'ő', U'Ω', U'Ж', U'א', U'ع', U'中',
          U'日', U'한', U'≥', U'∑', U'😀', U'𝔄', U'\\', U'{', U'}', U';', U'\t', U'\n'};
      return Chance(60) ? static_cast<char32_t>(Uniform(0x21, 0x7E)) : Pick(portable);
    }
    switch (Uniform(0, 9)) {
      case 0:
        return Pick(special);
      case 1:
        return Pick(latin);
      case 2:
        return Pick(cp1252);
      case 3:
        return Pick(other);
      case 4: {
        char32_t c = static_cast<char32_t>(Uniform(0xA0, 0xFFFD));
        return c >= 0xD800 && c <= 0xDFFF ? U'x' : c;
      }
      case 5:
        return static_cast<char32_t>(Uniform(0x10000, 0x10FFFF));
      default:
        return static_cast<char32_t>(Uniform(0x20, 0x7E));
    }
  }

  std::string Text() {
    std::string s;
    const int length = Chance(10) ? 0 : Uniform(1, 12);
    for (int k = 0; k < length; ++k) {
      if (mode_ == TGeneratorMode::Dirty && Chance(8)) {
        static const std::vector<std::string> dirt{
            "\r", "\x01", std::string(1, '\0'), "\x1F", "\x80", "\xFF", "\xE4\xB8", "\xED\xA0\x80"};
        s += Pick(dirt);
      } else {
        detail::AppendUtf8(CodePoint(), s);
      }
    }
    return s;
  }

  std::mt19937 rng_;
  TGeneratorMode mode_;
};

}  // namespace qv::richtext
