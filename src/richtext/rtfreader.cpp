// Reading RTF into a TDocument.
//
// An RTF file is a tree of groups ({...}) holding control words (\word or \wordN), control
// symbols (\' \~ \{ ...) and text. Character and paragraph properties belong to the group they
// are set in and are restored when it closes; a group whose first word is a destination
// (\fonttbl, \colortbl, \pict, \info, ...) holds something other than the document's text. The
// reader walks the input once with an explicit stack of group states (bounded in depth, so no
// input can exhaust the call stack or the memory), builds the font, colour and list tables as
// they come, and appends text to the runs of the current paragraph, a new run whenever the
// effective format changes.
//
// References: Microsoft, Rich Text Format (RTF) version 1.9.1 (2008) — groups,
// destinations, \uN and \ucN, \binN, the font character sets and the list tables; the older
// Word 6 paragraph numbering ({\*\pn}, \pntext) of version 1.5 (1997), which WordPad and the
// RichEdit controls still write.
#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "richtext/encoding.h"
#include "richtext/normal.h"
#include "richtext/rtf.h"

namespace qv::richtext {

namespace {

using detail::AppendUtf8;
using detail::kReplacement;

// Real documents nest groups a few dozen levels deep; a thousand is far beyond any of them and
// keeps the stack of group states small. Destinations that are skipped are not counted.
constexpr std::size_t kMaxDepth = 1000;
constexpr long long kParameterCap = 1'000'000'000'000LL;

enum class TDest : std::uint8_t {
  Text,               // the document's text
  FontTable,          // \fonttbl
  ColorTable,         // \colortbl
  ListTable,          // \listtable
  ListOverrideTable,  // \listoverridetable
  ListLabel,          // \listtext, \pntext: the label a list paragraph shows before its text
  Pn,                 // {\*\pn ...}: Word 6 numbering of the paragraph
  Ignore,             // a destination read for its control words only (\leveltext, \pntxtb)
};

enum class TListKind : std::uint8_t { None, Bullet, Numbered };

// Word processors format three kinds of characters apart: Western, East Asian (CJK) and
// complex, right-to-left or Indic scripts (Arabic, Hebrew, Thai, Devanagari). The control word
// last seen of \loch, \hich, \dbch, \rtlch and \ltrch says which one the words \af, \afs,
// \ab and \ai set, as Word and LibreOffice write them: after \dbch those of East Asian text,
// after \hich the Western font, otherwise those of complex text. \f sets the East Asian font
// after \dbch, the Western one otherwise; \fs, \b and \i set Western and East Asian text
// alike (and clear what \afs, \ab and \ai had set for East Asian text).
enum TScript { kWestern = 0, kAsian = 1, kComplex = 2 };
enum class TSelector : std::uint8_t { Low, High, DoubleByte, RightToLeft, LeftToRight };

// What one kind of characters has of its own; unset (-1) means as Western text has it, which is
// how readers that know one format only (RichEdit, pandoc) show such text.
struct TScriptFormat {
  int font = -1;
  int halfPoints = -1;
  int bold = -1, italic = -1;
};

struct TCharState {
  int font = -1;  // \fN of Western text; -1: the default font (\deffN)
  int halfPoints = 24;
  int color = 0;  // index into the colour table
  bool bold = false, italic = false, underline = false, hidden = false;
  TScriptFormat asian, complex;
  TSelector selector = TSelector::LeftToRight;
};

struct TParaState {
  TAlignment alignment = TAlignment::Left;
  int list = 0;   // \lsN
  int level = 0;  // \ilvlN
  TListKind pn = TListKind::None;
};

struct TGroup {
  TCharState ch;
  TParaState para;
  int uc = 1;  // fallback characters after \uN
  TDest dest = TDest::Text;
  TListKind pnKind = TListKind::None;  // what a {\*\pn} group declares
};

enum class TWord : std::uint8_t {
  SkipDestination,
  FontTable,
  ColorTable,
  ListTable,
  ListOverrideTable,
  ListLabel,
  Pn,
  IgnoreDestination,
  Ansi,
  Mac,
  Pc,
  Pca,
  AnsiCpg,
  Deff,
  Uc,
  U,
  Plain,
  Font,
  FontSize,
  Bold,
  Italic,
  Underline,
  UnderlineNone,
  Color,
  Hidden,
  AssocFont,
  AssocFontSize,
  AssocBold,
  AssocItalic,
  Selector,
  Pard,
  AlignLeft,
  AlignRight,
  AlignCenter,
  AlignJustify,
  ListOverride,
  ListLevel,
  Par,
  Line,
  Tab,
  Cell,
  Row,
  Section,
  FontCharset,
  FontCodePage,
  Red,
  Green,
  Blue,
  List,
  LevelDefinition,
  LevelNfc,
  ListId,
  ListOverrideEntry,
  PnBullet,
  PnNumbered,
  Char,  // a character named by a word (\emdash, \bullet, ...)
};

struct TWordInfo {
  TWord word;
  char32_t character = 0;
};

const std::unordered_map<std::string_view, TWordInfo>& Words() {
  static const std::unordered_map<std::string_view, TWordInfo> words = [] {
    std::unordered_map<std::string_view, TWordInfo> w;
    // Destinations whose content is not the document's text.
    for (const char* d : {"stylesheet",
                          "info",
                          "pict",
                          "object",
                          "header",
                          "headerl",
                          "headerr",
                          "headerf",
                          "footer",
                          "footerl",
                          "footerr",
                          "footerf",
                          "footnote",
                          "annotation",
                          "fldinst",
                          "xe",
                          "tc",
                          "txe",
                          "rxe",
                          "private",
                          "nonshppict",
                          "shp",
                          "shpinst",
                          "do",
                          "filetbl",
                          "revtbl",
                          "rsidtbl",
                          "generator",
                          "template",
                          "pgdsctbl",
                          "themedata",
                          "colorschememapping",
                          "latentstyles",
                          "datastore",
                          "xmlnstbl",
                          "mmathPr",
                          "userprops",
                          "docvar",
                          "objdata",
                          "bkmkstart",
                          "bkmkend",
                          "atnid",
                          "atnauthor",
                          "atndate",
                          "atnref",
                          "atrfstart",
                          "atrfend",
                          "author",
                          "operator",
                          "title",
                          "subject",
                          "keywords",
                          "comment",
                          "doccomm",
                          "company",
                          "manager",
                          "category",
                          "hlinkbase",
                          "falt",
                          "panose",
                          "fname",
                          "listname",
                          "ud",
                          "ftnsep",
                          "ftnsepc",
                          "ftncn",
                          "aftnsep",
                          "aftnsepc",
                          "aftncn",
                          "pnseclvl",
                          "background",
                          "wgrffmtfilter",
                          "fontemb",
                          "fontfile",
                          "expandedcolortbl",
                          "passwordhash",
                          "formfield",
                          "datafield",
                          "blipuid"}) {
      w[d] = {TWord::SkipDestination};
    }
    w["fonttbl"] = {TWord::FontTable};
    w["colortbl"] = {TWord::ColorTable};
    w["listtable"] = {TWord::ListTable};
    w["listoverridetable"] = {TWord::ListOverrideTable};
    w["listtext"] = {TWord::ListLabel};
    w["pntext"] = {TWord::ListLabel};
    w["pn"] = {TWord::Pn};
    for (const char* d : {"leveltext", "levelnumbers", "pntxta", "pntxtb", "lfolevel"}) {
      w[d] = {TWord::IgnoreDestination};
    }
    w["ansi"] = {TWord::Ansi};
    w["mac"] = {TWord::Mac};
    w["pc"] = {TWord::Pc};
    w["pca"] = {TWord::Pca};
    w["ansicpg"] = {TWord::AnsiCpg};
    w["deff"] = {TWord::Deff};
    w["uc"] = {TWord::Uc};
    w["u"] = {TWord::U};
    w["plain"] = {TWord::Plain};
    w["f"] = {TWord::Font};
    w["fs"] = {TWord::FontSize};
    w["b"] = {TWord::Bold};
    w["i"] = {TWord::Italic};
    for (const char* u : {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave",
                          "ulldash", "ulth", "ulthd", "ulthdash", "ulthdashd", "ulthdashdd",
                          "ulthldash", "ululdbwave", "ulw", "ulwave"}) {
      w[u] = {TWord::Underline};
    }
    w["ulnone"] = {TWord::UnderlineNone};
    w["cf"] = {TWord::Color};
    w["v"] = {TWord::Hidden};
    w["deleted"] = {TWord::Hidden};
    w["af"] = {TWord::AssocFont};
    w["afs"] = {TWord::AssocFontSize};
    w["ab"] = {TWord::AssocBold};
    w["ai"] = {TWord::AssocItalic};
    w["loch"] = {TWord::Selector, static_cast<char32_t>(TSelector::Low)};
    w["hich"] = {TWord::Selector, static_cast<char32_t>(TSelector::High)};
    w["dbch"] = {TWord::Selector, static_cast<char32_t>(TSelector::DoubleByte)};
    w["rtlch"] = {TWord::Selector, static_cast<char32_t>(TSelector::RightToLeft)};
    w["ltrch"] = {TWord::Selector, static_cast<char32_t>(TSelector::LeftToRight)};
    w["pard"] = {TWord::Pard};
    w["ql"] = {TWord::AlignLeft};
    w["qr"] = {TWord::AlignRight};
    w["qc"] = {TWord::AlignCenter};
    w["qj"] = {TWord::AlignJustify};
    w["qd"] = {TWord::AlignJustify};
    w["ls"] = {TWord::ListOverride};
    w["ilvl"] = {TWord::ListLevel};
    w["par"] = {TWord::Par};
    w["line"] = {TWord::Line};
    w["lbr"] = {TWord::Line};
    w["tab"] = {TWord::Tab};
    w["cell"] = {TWord::Cell};
    w["nestcell"] = {TWord::Cell};
    w["row"] = {TWord::Row};
    w["nestrow"] = {TWord::Row};
    w["sect"] = {TWord::Section};
    w["page"] = {TWord::Section};
    w["column"] = {TWord::Section};
    w["fcharset"] = {TWord::FontCharset};
    w["cpg"] = {TWord::FontCodePage};
    w["red"] = {TWord::Red};
    w["green"] = {TWord::Green};
    w["blue"] = {TWord::Blue};
    w["list"] = {TWord::List};
    w["listlevel"] = {TWord::LevelDefinition};
    w["levelnfc"] = {TWord::LevelNfc};
    w["levelnfcn"] = {TWord::LevelNfc};
    w["listid"] = {TWord::ListId};
    w["listoverride"] = {TWord::ListOverrideEntry};
    w["pnlvlblt"] = {TWord::PnBullet};
    w["pnlvlbody"] = {TWord::PnNumbered};
    w["pnlvl"] = {TWord::PnNumbered};
    const std::pair<const char*, char32_t> chars[] = {
        {"emdash", 0x2014},    {"endash", 0x2013},    {"emspace", 0x2003}, {"enspace", 0x2002},
        {"qmspace", 0x2005},   {"bullet", 0x2022},    {"lquote", 0x2018},  {"rquote", 0x2019},
        {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"zwj", 0x200D},     {"zwnj", 0x200C},
        {"zwbo", 0x200B},      {"ltrmark", 0x200E},   {"rtlmark", 0x200F}};
    for (const auto& [name, code] : chars) w[name] = {TWord::Char, code};
    return w;
  }();
  return words;
}

struct TFont {
  std::string name;
  int charset = -1;
  int codePage = 0;  // \cpgN
};

struct TList {
  int id = 0;
  std::vector<int> levelNfc;  // number format of each level; 23 is a bullet
};

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Lead bytes of the double-byte code pages: the byte after one belongs to the same character.
bool IsLeadByte(int codePage, unsigned char b) {
  switch (codePage) {
    case 932:
      return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936:
    case 949:
    case 950:
    case 1361:
      return b >= 0x81 && b <= 0xFE;
    default:
      return false;
  }
}

// A list label that is one symbol ("•", "·", "o", "▪", a Symbol or Wingdings glyph) marks a
// bulleted paragraph; anything else ("1.", "a)", "iv.") is a number.
bool IsBulletLabel(std::string_view label) {
  std::string text;
  for (const char c : label) {
    if (c != ' ' && c != '\t') text.push_back(c);
  }
  if (text.empty()) return false;
  std::size_t pos = 0;
  const char32_t first = detail::NextUtf8(text, pos);
  if (pos != text.size()) return false;
  const bool asciiAlnum =
      (first < 0x80 && (IsLetter(static_cast<char>(first)) || IsDigit(static_cast<char>(first))));
  return !asciiAlnum || first == 'o';
}

class TReader {
 public:
  explicit TReader(std::string_view in) : in_(in) {}

  TReadResult Read() {
    pos_ = in_.find('{');
    while (pos_ < in_.size() && !failed_) {
      const char c = in_[pos_];
      if (c == '{') {
        ++pos_;
        OpenGroup();
      } else if (c == '}') {
        ++pos_;
        CloseGroup();
        if (stack_.empty()) break;
      } else if (c == '\\') {
        ++pos_;
        ControlSequence();
      } else if (c == '\r' || c == '\n') {
        ++pos_;
      } else {
        TextSpan();
      }
    }
    if (failed_) return {std::nullopt, error_};
    FlushPending();
    if (hasText_) EndParagraph(lastParagraph_, false);
    return {std::move(doc_), {}};
  }

 private:
  TGroup& Top() { return stack_.back(); }

  // ---- groups -------------------------------------------------------------------------------

  void OpenGroup() {
    FlushPending();
    skip_ = 0;
    star_ = false;
    if (stack_.size() >= kMaxDepth) {
      failed_ = true;
      error_ = "O documento Rich Text (RTF) está danificado: tem grupos aninhados em mais de " +
               std::to_string(kMaxDepth) + " níveis.";
      return;
    }
    if (stack_.empty()) {
      stack_.emplace_back();
    } else {
      stack_.push_back(Top());
    }
    formatDirty_ = true;
  }

  void CloseGroup() {
    FlushPending();
    ResolveSurrogate();
    skip_ = 0;
    star_ = false;
    if (stack_.empty()) return;
    const TGroup closing = stack_.back();
    if (closing.dest == TDest::FontTable && font_.open && !font_.entry.name.empty()) {
      CommitFont();
    }
    stack_.pop_back();
    if (closing.dest == TDest::Pn && !stack_.empty() && closing.pnKind != TListKind::None &&
        Top().dest != TDest::Pn) {
      Top().para.pn = closing.pnKind;
    }
    formatDirty_ = true;
  }

  // Skips the rest of the current group (a destination that is not shown) and closes it.
  // Nested groups are only counted; \binN data is stepped over, since it may hold braces.
  void SkipGroup() {
    FlushPending();
    if (stack_.size() <= 1) {  // the document itself is never skipped
      star_ = false;
      return;
    }
    int depth = 1;
    while (pos_ < in_.size()) {
      const char c = in_[pos_++];
      if (c == '{') {
        ++depth;
      } else if (c == '}') {
        if (--depth == 0) break;
      } else if (c == '\\' && pos_ < in_.size()) {
        if (!IsLetter(in_[pos_])) {
          ++pos_;
          continue;
        }
        const std::size_t start = pos_;
        while (pos_ < in_.size() && IsLetter(in_[pos_])) ++pos_;
        if (in_.substr(start, pos_ - start) == "bin") {
          bool has = false;
          const long long n = Parameter(has);
          SkipBinary(has ? n : 0);
        }
      }
    }
    skip_ = 0;
    star_ = false;
    stack_.pop_back();
    formatDirty_ = true;
  }

  void SkipBinary(long long n) {
    const std::size_t left = in_.size() - pos_;
    pos_ +=
        n <= 0 ? 0 : static_cast<std::size_t>(std::min<long long>(n, static_cast<long long>(left)));
  }

  // A control word's numeric parameter (optional '-', digits), capped, and its delimiting blank.
  long long Parameter(bool& has) {
    has = false;
    bool negative = false;
    if (pos_ + 1 < in_.size() && in_[pos_] == '-' && IsDigit(in_[pos_ + 1])) {
      negative = true;
      ++pos_;
    }
    long long value = 0;
    while (pos_ < in_.size() && IsDigit(in_[pos_])) {
      has = true;
      if (value < kParameterCap) value = value * 10 + (in_[pos_] - '0');
      ++pos_;
    }
    if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
    return negative ? -value : value;
  }

  // ---- control words and symbols --------------------------------------------------------------

  void ControlSequence() {
    if (pos_ >= in_.size()) return;
    const char c = in_[pos_];
    if (IsLetter(c)) {
      const std::size_t start = pos_;
      while (pos_ < in_.size() && IsLetter(in_[pos_])) ++pos_;
      const std::string_view word = in_.substr(start, pos_ - start);
      bool has = false;
      const long long param = Parameter(has);
      ControlWord(word, has, param);
      return;
    }
    ++pos_;
    if (c == '\'') {
      int value = 0, digits = 0;
      while (digits < 2 && pos_ < in_.size() && HexValue(in_[pos_]) >= 0) {
        value = value * 16 + HexValue(in_[pos_++]);
        ++digits;
      }
      if (digits < 2) return;  // cut short: nothing to show
      if (star_) return SkipGroup();
      if (skip_ > 0) {
        --skip_;
        return;
      }
      AddByte(static_cast<unsigned char>(value));
      return;
    }
    if (c == '*') {
      star_ = true;
      return;
    }
    if (star_) return SkipGroup();
    if (skip_ > 0) {
      --skip_;
      return;
    }
    switch (c) {
      case '\\':
      case '{':
      case '}':
        AddByte(static_cast<unsigned char>(c));
        break;
      case '~':
        EmitCodePoint(0x00A0);
        break;
      case '-':
        EmitCodePoint(0x00AD);
        break;
      case '_':
        EmitCodePoint(0x2011);
        break;
      case '\t':
        EmitCodePoint('\t');
        break;
      case '\r':
      case '\n':
        if (Top().dest == TDest::Text) Paragraph();
        break;
      default:
        break;  // \:, \| and unknown symbols
    }
  }

  void ControlWord(std::string_view word, bool has, long long param) {
    FlushPending();  // the bytes so far are in the font and destination they were written in
    const auto& words = Words();
    const auto it = words.find(word);
    if (word == "bin") {
      SkipBinary(has ? param : 0);
      if (skip_ > 0) --skip_;
      return;
    }
    if (it == words.end()) {
      if (star_) SkipGroup();
      return;
    }
    const TWord w = it->second.word;
    if (star_) {
      star_ = false;
      if (w != TWord::ListTable && w != TWord::ListOverrideTable && w != TWord::Pn &&
          w != TWord::ListLabel && w != TWord::IgnoreDestination) {
        return SkipGroup();
      }
    }
    if (skip_ > 0) {
      --skip_;
      return;
    }
    const int p = static_cast<int>(std::clamp<long long>(param, -2'000'000'000, 2'000'000'000));
    const bool on = !has || p != 0;
    TGroup& g = Top();
    TCharState& ch = g.ch;
    TParaState& para = g.para;
    switch (w) {
      case TWord::SkipDestination:
        if (stack_.size() > 1) SkipGroup();
        return;
      case TWord::FontTable:
        return SetDestination(TDest::FontTable);
      case TWord::ColorTable:
        return SetDestination(TDest::ColorTable);
      case TWord::ListTable:
        return SetDestination(TDest::ListTable);
      case TWord::ListOverrideTable:
        return SetDestination(TDest::ListOverrideTable);
      case TWord::ListLabel:
        return SetDestination(TDest::ListLabel);
      case TWord::IgnoreDestination:
        return SetDestination(TDest::Ignore);
      case TWord::Pn:
        if (g.dest == TDest::Text) {
          SetDestination(TDest::Pn);
        } else if (stack_.size() > 1) {
          SkipGroup();
        }
        return;
      case TWord::Ansi:
        docPage_ = 1252;
        return;
      case TWord::Mac:
        docPage_ = 10000;
        return;
      case TWord::Pc:
        docPage_ = 437;
        return;
      case TWord::Pca:
        docPage_ = 850;
        return;
      case TWord::AnsiCpg:
        if (has && p > 0) docPage_ = p;
        return;
      case TWord::Deff:
        if (has) defaultFont_ = p;
        return;
      case TWord::Uc:
        if (has && p >= 0) g.uc = std::min(p, 16);
        return;
      case TWord::U: {
        long long v = has ? param : 0;
        if (v < 0) v += 65536;
        if (v < 0 || v > 0x10FFFF) {
          EmitCodePoint(kReplacement);
        } else if (v == '\t' || !detail::IsDroppedControl(static_cast<char32_t>(v))) {
          EmitCodePoint(static_cast<char32_t>(v));  // \u10 is no line break: \line is
        }
        skip_ = Top().uc;
        return;
      }
      case TWord::Plain:
        ch = TCharState{};
        break;
      case TWord::Font:
        if (g.dest == TDest::FontTable) {
          StartFont(p);
          return;
        }
        (ch.selector == TSelector::DoubleByte ? ch.asian.font : ch.font) = p;
        break;
      case TWord::FontSize:
        if (has && p > 0) {
          ch.halfPoints = std::min(p, detail::kMaxHalfPoints);
          ch.asian.halfPoints = -1;
        }
        break;
      case TWord::Bold:
        ch.bold = on;
        ch.asian.bold = -1;
        break;
      case TWord::Italic:
        ch.italic = on;
        ch.asian.italic = -1;
        break;
      case TWord::Underline:
        ch.underline = on;
        break;
      case TWord::UnderlineNone:
        ch.underline = false;
        break;
      case TWord::Color:
        ch.color = has ? p : 0;
        break;
      case TWord::Hidden:
        ch.hidden = on;
        break;
      case TWord::AssocFont:
        (ch.selector == TSelector::DoubleByte ? ch.asian.font
         : ch.selector == TSelector::High     ? ch.font
                                              : ch.complex.font) = p;
        break;
      case TWord::AssocFontSize:
        if (has && p > 0) {
          AssociatedScript(ch).halfPoints = std::min(p, detail::kMaxHalfPoints);
        }
        break;
      case TWord::AssocBold:
        AssociatedScript(ch).bold = on;
        break;
      case TWord::AssocItalic:
        AssociatedScript(ch).italic = on;
        break;
      case TWord::Selector:
        ch.selector = static_cast<TSelector>(it->second.character);
        break;
      case TWord::Pard:
        para = TParaState{};
        return;
      case TWord::AlignLeft:
        para.alignment = TAlignment::Left;
        return;
      case TWord::AlignRight:
        para.alignment = TAlignment::Right;
        return;
      case TWord::AlignCenter:
        para.alignment = TAlignment::Center;
        return;
      case TWord::AlignJustify:
        para.alignment = TAlignment::Justify;
        return;
      case TWord::ListOverride:
        if (g.dest == TDest::ListOverrideTable) {
          if (!overrides_.empty()) overrides_.back().second = p;
        } else {
          para.list = p;
        }
        return;
      case TWord::ListLevel:
        para.level = std::clamp(p, 0, 8);
        return;
      case TWord::Par:
        if (g.dest == TDest::Text) Paragraph();
        return;
      case TWord::Line:
        EmitCodePoint('\n');
        return;
      case TWord::Tab:
        EmitCodePoint('\t');
        return;
      case TWord::Cell:
        if (g.dest == TDest::Text) {
          FlushPending();
          if (pendingCellTab_) {
            pendingCellTab_ = false;
            EmitCodePoint('\t');
          }
          pendingCellTab_ = true;
        }
        return;
      case TWord::Row:
      case TWord::Section:
        if (g.dest == TDest::Text) {
          FlushPending();
          pendingCellTab_ = false;
          if (hasText_) Paragraph();
        }
        return;
      case TWord::FontCharset:
        if (g.dest == TDest::FontTable) font_.entry.charset = p;
        return;
      case TWord::FontCodePage:
        if (g.dest == TDest::FontTable) font_.entry.codePage = p;
        return;
      case TWord::Red:
      case TWord::Green:
      case TWord::Blue:
        if (g.dest == TDest::ColorTable) {
          const std::uint32_t v = static_cast<std::uint32_t>(std::clamp(p, 0, 255));
          const int shift = w == TWord::Red ? 16 : w == TWord::Green ? 8 : 0;
          color_ = (color_ & ~(0xFFu << shift)) | (v << shift);
          colorSet_ = true;
        }
        return;
      case TWord::List:
        if (g.dest == TDest::ListTable) lists_.emplace_back();
        return;
      case TWord::LevelDefinition:
        if (g.dest == TDest::ListTable && !lists_.empty()) lists_.back().levelNfc.push_back(0);
        return;
      case TWord::LevelNfc:
        if (!lists_.empty() && !lists_.back().levelNfc.empty()) lists_.back().levelNfc.back() = p;
        return;
      case TWord::ListId:
        if (g.dest == TDest::ListTable && !lists_.empty()) {
          lists_.back().id = p;
        } else if (g.dest == TDest::ListOverrideTable && !overrides_.empty()) {
          overrides_.back().first = p;
        }
        return;
      case TWord::ListOverrideEntry:
        if (g.dest == TDest::ListOverrideTable) overrides_.emplace_back(0, 0);
        return;
      case TWord::PnBullet:
        if (g.dest == TDest::Pn) g.pnKind = TListKind::Bullet;
        return;
      case TWord::PnNumbered:
        if (g.dest == TDest::Pn) g.pnKind = TListKind::Numbered;
        return;
      case TWord::Char:
        EmitCodePoint(it->second.character);
        return;
    }
    formatDirty_ = true;
  }

  void SetDestination(TDest dest) {
    FlushPending();
    if (stack_.size() > 1) Top().dest = dest;
  }

  // ---- text -----------------------------------------------------------------------------------

  void TextSpan() {
    const std::size_t start = pos_;
    while (pos_ < in_.size()) {
      const char c = in_[pos_];
      if (c == '\\' || c == '{' || c == '}' || c == '\r' || c == '\n') break;
      ++pos_;
    }
    std::string_view span = in_.substr(start, pos_ - start);
    if (star_) {
      pos_ = start;
      return SkipGroup();
    }
    while (skip_ > 0 && !span.empty()) {
      --skip_;
      span.remove_prefix(1);
    }
    const TDest dest = Top().dest;
    if (dest == TDest::FontTable || dest == TDest::ColorTable) {
      for (const char c : span) {
        if (c == ';') {
          FlushPending();
          dest == TDest::FontTable ? CommitFont() : CommitColor();
        } else if (dest == TDest::FontTable && font_.open) {
          AddByte(static_cast<unsigned char>(c));
        }
      }
      return;
    }
    if (dest != TDest::Text && dest != TDest::ListLabel) return;
    std::size_t k = 0;
    while (k < span.size()) {
      std::size_t end = k;
      if (pending_.empty()) {
        while (end < span.size() && static_cast<unsigned char>(span[end]) >= 0x20 &&
               static_cast<unsigned char>(span[end]) < 0x80) {
          ++end;
        }
      }
      if (end > k) {
        Emit(span.substr(k, end - k));
        k = end;
      } else {
        AddByte(static_cast<unsigned char>(span[k++]));
      }
    }
  }

  int CurrentCodePage() const {
    const TGroup& g = stack_.back();
    if (g.dest == TDest::FontTable) return FontCodePage(font_.entry);
    const TScriptFormat& other = g.ch.selector == TSelector::DoubleByte    ? g.ch.asian
                                 : g.ch.selector == TSelector::RightToLeft ? g.ch.complex
                                                                           : TScriptFormat{};
    int number = other.font >= 0 ? other.font : g.ch.font;
    if (number < 0) number = defaultFont_;
    const auto it = fonts_.find(number);
    return it == fonts_.end() ? docPage_ : FontCodePage(it->second);
  }

  int FontCodePage(const TFont& font) const {
    if (font.codePage > 0) return font.codePage;
    const int page = detail::CodePageOfCharset(font.charset);
    return page ? page : docPage_;
  }

  // One byte of text in the current code page: \'xx or a byte of the file itself.
  void AddByte(unsigned char b) {
    if (expectTrail_) {
      pending_.push_back(static_cast<char>(b));
      expectTrail_ = false;
      return;
    }
    if (b < 0x80) {
      FlushPending();
      if (b == '\t') {
        EmitCodePoint('\t');
      } else if (b >= 0x20) {
        const char c = static_cast<char>(b);
        Emit(std::string_view(&c, 1));
      }
      return;
    }
    const int page = CurrentCodePage();
    if (page == 1252) {
      FlushPending();
      EmitCodePoint(detail::Cp1252ToUnicode(b));
      return;
    }
    if (!pending_.empty() && pendingPage_ != page) FlushPending();
    pendingPage_ = page;
    pending_.push_back(static_cast<char>(b));
    expectTrail_ = IsLeadByte(page, b);
  }

  void FlushPending() {
    expectTrail_ = false;
    if (pending_.empty()) return;
    std::string decoded;
    decoder_.Decode(pendingPage_, pending_, decoded);
    pending_.clear();
    std::string clean;
    for (std::size_t k = 0; k < decoded.size();) {
      const char32_t c = detail::NextUtf8(decoded, k);
      if (c == '\t' || !detail::IsDroppedControl(c)) AppendUtf8(c, clean);
    }
    Emit(clean);
  }

  void ResolveSurrogate() {
    if (highSurrogate_ == 0) return;
    highSurrogate_ = 0;
    EmitCodePoint(kReplacement);
  }

  void EmitCodePoint(char32_t c) {
    FlushPending();
    if (c >= 0xD800 && c <= 0xDBFF) {
      ResolveSurrogate();
      highSurrogate_ = c;
      return;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) {
      if (highSurrogate_ == 0) {
        c = kReplacement;
      } else {
        c = 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (c - 0xDC00);
        highSurrogate_ = 0;
      }
    }
    if (detail::IsDroppedControl(c)) return;
    char buffer[4];
    std::string utf8;
    if (c < 0x80) {
      buffer[0] = static_cast<char>(c);
      return Emit(std::string_view(buffer, 1));
    }
    AppendUtf8(c, utf8);
    Emit(utf8);
  }

  // Decoded text (UTF-8, no dropped controls) to the current destination.
  void Emit(std::string_view text) {
    if (text.empty()) return;
    if (highSurrogate_ != 0) ResolveSurrogate();
    TGroup& g = stack_.back();
    switch (g.dest) {
      case TDest::Text:
        break;
      case TDest::FontTable:
        if (font_.open) font_.entry.name += text;
        return;
      case TDest::ListLabel:
        label_ += text;
        return;
      default:
        return;
    }
    if (g.ch.hidden) return;
    if (pendingCellTab_) {
      pendingCellTab_ = false;
      AppendToRun("\t");
    }
    AppendToRun(text);
  }

  // Text goes to the last run when its format is that run's, else to a new run. Where East
  // Asian characters are formatted apart from the others, each character takes the format of
  // its script; characters of no script (blanks, digits, punctuation, symbols) take the script
  // of the character before them in the paragraph, as word processors lay them out.
  void AppendToRun(std::string_view text) {
    if (formatDirty_) {
      formatDirty_ = false;
      for (const int script : {kWestern, kAsian, kComplex})
        formats_[script] = ResolveFormat(script);
      scriptsApart_ =
          !(formats_[kWestern] == formats_[kAsian]) || !(formats_[kWestern] == formats_[kComplex]);
      runScript_ = -1;
    }
    if (!scriptsApart_) {
      AppendSegment(text, kWestern);
    } else {
      std::size_t start = 0;
      for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t at = pos;
        const int script = ScriptOf(detail::NextUtf8(text, pos));
        if (script >= 0) lastScript_ = script;
        if (lastScript_ != runScript_ && at > start) {
          AppendSegment(text.substr(start, at - start), runScript_);
          start = at;
        }
        runScript_ = lastScript_;
      }
      AppendSegment(text.substr(start), runScript_);
    }
    hasText_ = true;
    lastParagraph_ = stack_.back().para;
  }

  void AppendSegment(std::string_view text, int script) {
    if (text.empty()) return;
    const TCharFormat& format = formats_[script < 0 ? kWestern : script];
    if (paragraph_.runs.empty() || !(paragraph_.runs.back().format == format)) {
      paragraph_.runs.push_back({{}, format});
    }
    paragraph_.runs.back().text.append(text);
  }

  // The kind of a character (kWestern, kAsian, kComplex), or -1 for one of no script of its
  // own: blanks, digits, punctuation, symbols, mathematical letters, emoji.
  static int ScriptOf(char32_t c) {
    if (c < 0x80) return (c | 0x20) >= 'a' && (c | 0x20) <= 'z' ? kWestern : -1;
    if ((c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0x9FFF) ||
        (c >= 0xA960 && c <= 0xA97F) || (c >= 0xAC00 && c <= 0xD7FF) ||
        (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
        (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF)) {
      return kAsian;
    }
    // Hebrew, Arabic, Syriac, Thaana, the Indic scripts, Thai, Lao, Tibetan; their
    // presentation forms.
    if ((c >= 0x0590 && c <= 0x08FF) || (c >= 0x0900 && c <= 0x0FFF) ||
        (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF)) {
      return kComplex;
    }
    if ((c >= 0xA0 && c <= 0xBF) || c == 0xD7 || c == 0xF7 || (c >= 0x2000 && c <= 0x2BFF) ||
        (c >= 0x1D000 && c <= 0x1FFFF) || c == 0xFFFD) {
      return -1;
    }
    return kWestern;
  }

  static TScriptFormat& AssociatedScript(TCharState& ch) {
    return ch.selector == TSelector::DoubleByte ? ch.asian : ch.complex;
  }

  TCharFormat ResolveFormat(int script) const {
    const TCharState& ch = stack_.back().ch;
    const TScriptFormat& own = script == kAsian     ? ch.asian
                               : script == kComplex ? ch.complex
                                                    : TScriptFormat{};
    TCharFormat f;
    int number = own.font >= 0 ? own.font : ch.font;
    if (number < 0) number = defaultFont_;
    if (const auto it = fonts_.find(number); it != fonts_.end()) f.fontFamily = it->second.name;
    f.pointSize = (own.halfPoints > 0 ? own.halfPoints : ch.halfPoints) / 2.0;
    f.bold = own.bold >= 0 ? own.bold == 1 : ch.bold;
    f.italic = own.italic >= 0 ? own.italic == 1 : ch.italic;
    f.underline = ch.underline;
    if (ch.color >= 0 && static_cast<std::size_t>(ch.color) < colors_.size() &&
        colors_[ch.color] >= 0) {
      f.color = static_cast<std::uint32_t>(colors_[ch.color]);
    }
    return f;
  }

  // ---- paragraphs -----------------------------------------------------------------------------

  void Paragraph() {
    FlushPending();
    EndParagraph(stack_.back().para, true);
  }

  void EndParagraph(const TParaState& props, bool markFormat) {
    ResolveSurrogate();
    pendingCellTab_ = false;
    if (!hasText_) {
      if (!markFormat) return;
      paragraph_.runs.assign(1, {{}, ResolveFormat(kWestern)});
    }
    TListKind kind = ListKindOf(props);
    if (kind == TListKind::None && !label_.empty()) {
      kind = IsBulletLabel(label_) ? TListKind::Bullet : TListKind::Numbered;
    }
    paragraph_.bullet = kind == TListKind::Bullet;
    if (!paragraph_.bullet && !label_.empty()) {
      // A number stays in the text, where it still says which item this is.
      const auto first = label_.find_first_not_of(' ');
      if (first != std::string::npos) paragraph_.runs.front().text.insert(0, label_, first);
    }
    paragraph_.alignment = props.alignment;
    doc_.paragraphs.push_back(std::move(paragraph_));
    paragraph_ = TParagraph{};
    label_.clear();
    hasText_ = false;
    formatDirty_ = true;
    lastScript_ = 0;
  }

  TListKind ListKindOf(const TParaState& props) const {
    if (props.list > 0) {
      for (const auto& [listId, number] : overrides_) {
        if (number != props.list) continue;
        for (const TList& list : lists_) {
          if (list.id != listId || list.levelNfc.empty()) continue;
          const int nfc =
              list.levelNfc[std::min<std::size_t>(props.level, list.levelNfc.size() - 1)];
          return nfc == 23 ? TListKind::Bullet : TListKind::Numbered;
        }
      }
    }
    return props.pn;
  }

  // ---- tables ---------------------------------------------------------------------------------

  void StartFont(int number) {
    FlushPending();
    if (font_.open && !font_.entry.name.empty()) CommitFont();
    font_.open = true;
    font_.number = number;
    font_.entry = TFont{};
  }

  void CommitFont() {
    FlushPending();
    if (!font_.open) return;
    font_.entry.name = detail::CleanFontFamily(font_.entry.name);
    fonts_[font_.number] = std::move(font_.entry);
    font_.open = false;
    font_.entry = TFont{};
  }

  void CommitColor() {
    colors_.push_back(colorSet_ ? static_cast<long>(color_) : -1);
    color_ = 0;
    colorSet_ = false;
  }

  std::string_view in_;
  std::size_t pos_ = 0;
  std::vector<TGroup> stack_;
  bool failed_ = false;
  std::string error_;

  int docPage_ = 1252;
  int defaultFont_ = 0;
  std::unordered_map<int, TFont> fonts_;
  struct {
    bool open = false;
    int number = 0;
    TFont entry;
  } font_;
  std::vector<long> colors_;  // -1: automatic
  std::uint32_t color_ = 0;
  bool colorSet_ = false;
  std::vector<TList> lists_;
  std::vector<std::pair<int, int>> overrides_;  // (\listid, \ls)

  int skip_ = 0;       // fallback characters of the last \uN still to skip
  bool star_ = false;  // \* seen: the next destination may be skipped if unknown
  char32_t highSurrogate_ = 0;
  std::string pending_;  // bytes of a code page that iconv decodes together
  int pendingPage_ = 1252;
  bool expectTrail_ = false;
  detail::TCodePageDecoder decoder_;

  TDocument doc_;
  TParagraph paragraph_;
  bool hasText_ = false;
  bool formatDirty_ = true;
  TCharFormat formats_[3];     // of each kind of characters, while not dirty
  bool scriptsApart_ = false;  // they differ
  int lastScript_ = 0;         // of the last character with a script in this paragraph
  int runScript_ = -1;         // whose format the last run has
  bool pendingCellTab_ = false;
  std::string label_;
  TParaState lastParagraph_;
};

std::string_view AfterBlanks(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  while (!bytes.empty() &&
         (bytes[0] == ' ' || bytes[0] == '\t' || bytes[0] == '\r' || bytes[0] == '\n')) {
    bytes.remove_prefix(1);
  }
  return bytes;
}

}  // namespace

bool LooksLikeRtf(std::string_view bytes) {
  return AfterBlanks(bytes).substr(0, 5) == "{\\rtf";
}

TReadResult ReadRtf(std::string_view bytes) {
  if (!LooksLikeRtf(bytes)) {
    return {std::nullopt, "O arquivo não é um documento Rich Text (RTF)."};
  }
  return TReader(AfterBlanks(bytes)).Read();
}

}  // namespace qv::richtext
