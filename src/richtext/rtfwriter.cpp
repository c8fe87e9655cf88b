// Writing a TDocument as RTF.
//
// The output is 7-bit and line-oriented ("\par" and a CR LF at the end of every paragraph), so
// that it survives mail and version control and diffs well. Only what changes is written: the
// character formatting of a run is given by the control words that differ from the run before
// (RTF keeps character properties across paragraphs), and the paragraph formatting only when a
// paragraph's differs from the one before (\pard then resets it). A report of plain lines
// therefore costs one "\par" per line on top of its text.
#include <array>
#include <string>
#include <unordered_map>
#include <vector>

#include "richtext/encoding.h"
#include "richtext/normal.h"
#include "richtext/rtf.h"

namespace qv::richtext {

namespace {

using detail::AppendUtf8;
using detail::NextUtf8;

// Font family classes (\fmodern, \fswiss, \froman) let a reader that lacks the font choose a
// similar one; fixed pitch (\fprq1) matters most, as the report's columns rely on it.
std::string_view FamilyClass(std::string_view family) {
  static constexpr std::array<std::string_view, 9> modern{
      "Courier New",      "Courier", "Consolas", "Lucida Console", "Liberation Mono",
      "DejaVu Sans Mono", "Monaco",  "Cousine",  "Noto Sans Mono"};
  static constexpr std::array<std::string_view, 7> swiss{
      "Arial", "Helvetica", "Liberation Sans", "DejaVu Sans", "Verdana", "Tahoma", "Calibri"};
  static constexpr std::array<std::string_view, 6> roman{
      "Times New Roman", "Times", "Liberation Serif", "DejaVu Serif", "Georgia", "Cambria"};
  for (const auto name : modern) {
    if (family == name) return "\\fmodern\\fprq1";
  }
  for (const auto name : swiss) {
    if (family == name) return "\\fswiss\\fprq2";
  }
  for (const auto name : roman) {
    if (family == name) return "\\froman\\fprq2";
  }
  return "\\fnil";
}

class TWriter {
 public:
  explicit TWriter(const TDocument& doc) : doc_(doc) {}

  std::string Write() {
    CollectTables();
    std::size_t textBytes = 0;
    for (const TParagraph& p : doc_.paragraphs) {
      for (const TRun& r : p.runs) textBytes += r.text.size();
    }
    out_.reserve(textBytes + textBytes / 8 + 8 * doc_.paragraphs.size() + 1024);
    WriteHeader();
    for (const TParagraph& p : doc_.paragraphs) WriteParagraph(p);
    out_ += "}\r\n";
    return std::move(out_);
  }

 private:
  struct TState {
    int font = -1, halfPoints = 24, color = 0;  // -1: the first run sets its font in full
    bool bold = false, italic = false, underline = false;
  };
  struct TParagraphState {
    TAlignment alignment = TAlignment::Left;
    bool bullet = false;
    bool operator==(const TParagraphState&) const = default;
  };

  int FontIndex(const std::string& rawFamily) {
    if (auto it = fontByRaw_.find(rawFamily); it != fontByRaw_.end()) return it->second;
    const std::string family = detail::CleanFontFamily(rawFamily);
    int index = -1;
    for (std::size_t k = 0; k < fonts_.size(); ++k) {
      if (fonts_[k] == family) index = static_cast<int>(k);
    }
    if (index < 0) {
      index = static_cast<int>(fonts_.size());
      fonts_.push_back(family);
    }
    fontByRaw_.emplace(rawFamily, index);
    return index;
  }

  int ColorIndex(std::uint32_t color) {
    color &= 0xFFFFFF;
    auto [it, added] = colorIndex_.emplace(color, static_cast<int>(colors_.size()) + 1);
    if (added) colors_.push_back(color);
    return it->second;
  }

  // An empty paragraph is written in the format of its mark, the last run it has.
  static const TCharFormat& MarkFormat(const TParagraph& p) {
    static const TCharFormat kDefault;
    return p.runs.empty() ? kDefault : p.runs.back().format;
  }

  // The format of a paragraph's bullet: that of its first character.
  static const TCharFormat& LabelFormat(const TParagraph& p) {
    for (const TRun& r : p.runs) {
      if (detail::HasText(r.text)) return r.format;
    }
    return MarkFormat(p);
  }

  // Only what is written enters the tables, so that a document and its canonical form are
  // written alike.
  void CollectTables() {
    FontIndex(TCharFormat{}.fontFamily);  // \deff0: the report window's font
    for (const TParagraph& p : doc_.paragraphs) {
      hasBullets_ = hasBullets_ || p.bullet;
      if (p.bullet) FontIndex(LabelFormat(p).fontFamily);
      if (!detail::HasText(p)) {
        FontIndex(MarkFormat(p).fontFamily);
        ColorIndex(MarkFormat(p).color);
      }
      for (const TRun& r : p.runs) {
        if (!detail::HasText(r.text)) continue;
        FontIndex(r.format.fontFamily);
        ColorIndex(r.format.color);
      }
    }
    if (colors_.empty()) ColorIndex(0);
  }

  void WriteHeader() {
    out_ += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\r\n{\\fonttbl";
    for (std::size_t k = 0; k < fonts_.size(); ++k) {
      out_ += "{\\f" + std::to_string(k);
      out_ += FamilyClass(fonts_[k]);
      out_ += "\\fcharset0 ";
      WriteText(fonts_[k], true);
      out_ += ";}";
    }
    out_ += "}\r\n{\\colortbl;";
    for (const std::uint32_t c : colors_) {
      out_ += "\\red" + std::to_string(c >> 16) + "\\green" + std::to_string((c >> 8) & 0xFF) +
              "\\blue" + std::to_string(c & 0xFF) + ";";
    }
    out_ += "}\r\n";
    if (hasBullets_) {
      // One list whose first level is a bullet (\levelnfc23), referred to by \ls1.
      out_ +=
          "{\\*\\listtable{\\list\\listtemplateid1\\listsimple{\\listlevel\\levelnfc23"
          "\\levelnfcn23\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat1\\levelspace0"
          "\\levelindent0{\\leveltext\\'01\\u8226\\'3f;}{\\levelnumbers;}\\fi-360\\li720\\lin720}"
          "\\listid1}}\r\n{\\*\\listoverridetable{\\listoverride\\listid1\\listoverridecount0"
          "\\ls1}}\r\n";
    }
    // A4 with 1.5 cm side margins: 85 characters of 10-point Courier New to a line, so that
    // the widest report lines (84 characters) print without wrapping and keep their columns.
    out_ +=
        "{\\*\\generator Quorvandelia;}\\paperw11906\\paperh16838\\margl851\\margr851"
        "\\margt1134\\margb1134\\viewkind4\\pard\\plain\r\n";
  }

  void ControlWord(std::string_view word, int parameter) {
    out_ += '\\';
    out_ += word;
    out_ += std::to_string(parameter);
    delimit_ = true;
  }
  void ControlWord(std::string_view word) {
    out_ += '\\';
    out_ += word;
    delimit_ = true;
  }

  // Word processors format Western, East Asian and complex (right-to-left, Indic) text apart:
  // \f is the Western font, \af after \dbch the East Asian one, \af, \afs, \ab and \ai
  // after \rtlch the font, size, bold and italic of complex text; \fs, \b and \i serve
  // Western and East Asian text. A run's format is given for all three, so that every
  // character of it shows in it.
  void SetFormat(const TCharFormat& format) {
    const int font = FontIndex(format.fontFamily);
    const int halfPoints = detail::HalfPoints(format.pointSize);
    const int color = ColorIndex(format.color);
    const bool fontChanged = font != state_.font;
    const bool complexChanged = fontChanged || halfPoints != state_.halfPoints ||
                                format.bold != state_.bold || format.italic != state_.italic;
    if (fontChanged) ControlWord("f", state_.font = font);
    if (halfPoints != state_.halfPoints) ControlWord("fs", state_.halfPoints = halfPoints);
    if (complexChanged) {
      ControlWord("rtlch");
      ControlWord("af", font);
      ControlWord("afs", halfPoints);
      ControlWord(format.bold ? "ab" : "ab0");
      ControlWord(format.italic ? "ai" : "ai0");
      ControlWord("ltrch");
    }
    if (fontChanged) {
      ControlWord("dbch");
      ControlWord("af", font);
      ControlWord("loch");
    }
    if (color != state_.color) ControlWord("cf", state_.color = color);
    if (format.bold != state_.bold) {
      ControlWord((state_.bold = format.bold) ? "b" : "b0");
    }
    if (format.italic != state_.italic) {
      ControlWord((state_.italic = format.italic) ? "i" : "i0");
    }
    if (format.underline != state_.underline) {
      ControlWord((state_.underline = format.underline) ? "ul" : "ulnone");
    }
  }

  void SetParagraph(const TParagraph& p) {
    const TParagraphState wanted{p.alignment, p.bullet};
    if (!(wanted == paragraph_)) {
      paragraph_ = wanted;
      ControlWord("pard");
      switch (p.alignment) {
        case TAlignment::Left:
          break;
        case TAlignment::Right:
          ControlWord("qr");
          break;
        case TAlignment::Center:
          ControlWord("qc");
          break;
        case TAlignment::Justify:
          ControlWord("qj");
          break;
      }
      if (p.bullet) {
        out_ += "\\ls1\\ilvl0\\fi-360\\li720{\\*\\pn\\pnlvlblt\\pnf0\\pnindent360{\\pntxtb\\'95}}";
        delimit_ = false;
      }
    }
    if (p.bullet) {
      // The bullet as text, for readers that draw list labels from it.
      out_ +=
          "{\\listtext\\f" + std::to_string(FontIndex(LabelFormat(p).fontFamily)) + " \\'95\\tab}";
      delimit_ = false;
    }
  }

  void WriteParagraph(const TParagraph& p) {
    SetParagraph(p);
    if (!detail::HasText(p)) {
      SetFormat(MarkFormat(p));
    } else {
      for (const TRun& r : p.runs) {
        if (!detail::HasText(r.text)) continue;
        SetFormat(r.format);
        WriteText(r.text, false);
      }
    }
    out_ += "\\par\r\n";
    delimit_ = false;
  }

  void Delimit() {
    if (delimit_) out_ += ' ';
    delimit_ = false;
  }

  void WriteCodePoint(char32_t code, bool fontName) {
    if (code == '\t' || code == '\n') {
      if (!fontName) ControlWord(code == '\t' ? "tab" : "line");
      return;
    }
    if (detail::IsDroppedControl(code)) return;
    const int byte = detail::UnicodeToCp1252(code);
    static constexpr char kHex[] = "0123456789abcdef";
    if (byte >= 0x7F || (fontName && byte == ';')) {
      out_ += "\\'";
      out_ += kHex[byte >> 4];
      out_ += kHex[byte & 15];
      delimit_ = false;
    } else if (byte >= 0) {
      Delimit();
      if (byte == '\\' || byte == '{' || byte == '}') out_ += '\\';
      out_ += static_cast<char>(byte);
    } else {
      // Outside code page 1252: UTF-16 code units as signed 16-bit \uN, each followed by the
      // one fallback character \uc1 announces.
      auto unit = [&](unsigned value) {
        out_ += "\\u";
        out_ += std::to_string(value >= 0x8000 ? static_cast<int>(value) - 0x10000
                                               : static_cast<int>(value));
        out_ += "\\'3f";
        delimit_ = false;
      };
      if (code >= 0x10000) {
        unit(0xD800 + ((code - 0x10000) >> 10));
        unit(0xDC00 + ((code - 0x10000) & 0x3FF));
      } else {
        unit(code);
      }
    }
  }

  void WriteText(std::string_view text, bool fontName) {
    std::size_t pos = 0;
    while (pos < text.size()) {
      // Printable ASCII without RTF's special characters goes out as it is.
      std::size_t end = pos;
      while (end < text.size()) {
        const auto c = static_cast<unsigned char>(text[end]);
        if (c < 0x20 || c >= 0x7F || c == '\\' || c == '{' || c == '}' || c == ';') break;
        ++end;
      }
      if (end > pos) {
        Delimit();
        out_.append(text.data() + pos, end - pos);
        pos = end;
        continue;
      }
      WriteCodePoint(NextUtf8(text, pos), fontName);
    }
  }

  const TDocument& doc_;
  std::string out_;
  std::vector<std::string> fonts_;
  std::unordered_map<std::string, int> fontByRaw_;
  std::vector<std::uint32_t> colors_;
  std::unordered_map<std::uint32_t, int> colorIndex_;
  bool hasBullets_ = false;
  bool delimit_ = false;  // a control word was written last and needs its delimiting blank
  TState state_;
  TParagraphState paragraph_;
};

}  // namespace

std::string WriteRtf(const TDocument& doc) {
  return TWriter(doc).Write();
}

}  // namespace qv::richtext
