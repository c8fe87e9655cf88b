// What LibreOffice made of a document, read from its own format (flat ODT, "fodt"): per
// paragraph the alignment, the bullet, the exact text (<text:s/>, <text:tab/>,
// <text:line-break/> included) and each character's font, size, bold, italic, underline and
// colour, resolved through the span, paragraph, parent and default styles, for the script of
// the character (Western, East Asian or complex: ODF keeps a font, size, weight and posture for
// each). An empty paragraph shows the format of its mark (its paragraph style's text
// properties).
//
// This is the check of what LibreOffice opened. Its HTML export rounds sizes to whole points
// and, like its RTF export, drops the underline and colour of some runs next to right-to-left
// text; its own format keeps everything it read.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../builders.h"
#include "markup.h"
#include "richtext/document.h"
#include "richtext/encoding.h"

namespace qv::richtext::clients {

struct TOdfParagraph {
  TAlignment alignment = TAlignment::Left;
  bool bullet = false;
  std::u32string text;
  std::vector<TCharFormat> formats;  // one per character; the mark's for an empty paragraph
  bool operator==(const TOdfParagraph&) const = default;
};

inline void PrintTo(const TOdfParagraph& p, std::ostream* os) {
  *os << "\n  P" << static_cast<int>(p.alignment) << (p.bullet ? "•" : "") << ":";
  for (std::size_t k = 0; k < p.formats.size(); ++k) {
    if (k == 0 || !(p.formats[k] == p.formats[k - 1])) {
      *os << " ";
      PrintTo(p.formats[k], os);
    }
    if (k < p.text.size()) {
      std::string utf8;
      detail::AppendUtf8(p.text[k], utf8);
      *os << utf8;
    }
  }
}

// The script whose properties a character takes: 0 Western, 1 East Asian, 2 complex;
// characters of no script take the one before them (Western at the start).
inline int OdfScript(char32_t c, int previous) {
  if (c < 0x80) return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') ? 0 : previous;
  if ((c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0x9FFF) ||
      (c >= 0xAC00 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFAFF) ||
      (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF)) {
    return 1;
  }
  if ((c >= 0x0590 && c <= 0x08FF) || (c >= 0x0900 && c <= 0x0FFF) ||
      (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF)) {
    return 2;
  }
  if ((c >= 0xA0 && c <= 0xBF) || (c >= 0x2000 && c <= 0x2BFF) || (c >= 0x1D000 && c < 0x20000)) {
    return previous;
  }
  return 0;
}

// Our document in the same view.
inline std::vector<TOdfParagraph> OdfView(const TDocument& doc) {
  std::vector<TOdfParagraph> out;
  for (const TParagraph& p : doc.paragraphs) {
    TOdfParagraph o{p.alignment, p.bullet, {}, {}};
    for (const TRun& r : p.runs) {
      for (std::size_t pos = 0; pos < r.text.size();) {
        o.text.push_back(detail::NextUtf8(r.text, pos));
        o.formats.push_back(r.format);
      }
    }
    if (o.text.empty()) o.formats.push_back(p.runs.empty() ? TCharFormat{} : p.runs.back().format);
    out.push_back(std::move(o));
  }
  return out;
}

namespace detail_odf {

struct TElement {
  std::string name;
  std::map<std::string, std::string> attributes;
  bool closing = false, empty = false;
  std::string Get(const std::string& key) const {
    const auto it = attributes.find(key);
    return it == attributes.end() ? std::string() : it->second;
  }
};

inline TElement ParseElement(std::string_view tag) {  // between '<' and '>'
  TElement e;
  if (!tag.empty() && tag[0] == '/') {
    e.closing = true;
    tag.remove_prefix(1);
  }
  if (!tag.empty() && tag.back() == '/') {
    e.empty = true;
    tag.remove_suffix(1);
  }
  std::size_t k = tag.find_first_of(" \t\r\n");
  e.name = std::string(tag.substr(0, k));
  while (k != std::string_view::npos && k < tag.size()) {
    const std::size_t eq = tag.find('=', k);
    if (eq == std::string_view::npos) break;
    const std::size_t keyStart = tag.find_first_not_of(" \t\r\n", k);
    const char quote = tag[eq + 1];
    const std::size_t end = tag.find(quote, eq + 2);
    e.attributes[std::string(tag.substr(keyStart, eq - keyStart))] =
        Unescape(tag.substr(eq + 2, end - eq - 2));
    k = end + 1;
  }
  return e;
}

// Text and paragraph properties of one style, each possibly unset.
struct TProps {
  std::optional<std::string> font[3];
  std::optional<double> size[3];
  std::optional<bool> bold[3], italic[3], underline;
  std::optional<std::uint32_t> color;
  std::optional<TAlignment> alignment;
  std::string parent, listStyle;
};

inline void ReadTextProperties(const TElement& e, const std::map<std::string, std::string>& faces,
                               TProps& p) {
  static const char* const suffix[3] = {"", "-asian", "-complex"};
  for (int s = 0; s < 3; ++s) {
    const std::string fontName = e.Get(std::string("style:font-name") + suffix[s]);
    if (!fontName.empty()) {
      const auto it = faces.find(fontName);
      p.font[s] = it != faces.end() ? it->second : fontName;
    }
    const std::string size =
        e.Get(s == 0 ? "fo:font-size" : std::string("style:font-size") + suffix[s]);
    if (size.size() > 2 && size.substr(size.size() - 2) == "pt") p.size[s] = std::stod(size);
    const std::string weight =
        e.Get(s == 0 ? "fo:font-weight" : std::string("style:font-weight") + suffix[s]);
    if (!weight.empty())
      p.bold[s] = weight == "bold" || (std::isdigit(weight[0]) && std::stoi(weight) >= 600);
    const std::string posture =
        e.Get(s == 0 ? "fo:font-style" : std::string("style:font-style") + suffix[s]);
    if (!posture.empty()) p.italic[s] = posture == "italic" || posture == "oblique";
  }
  if (const std::string u = e.Get("style:text-underline-style"); !u.empty())
    p.underline = u != "none";
  if (const std::string c = e.Get("fo:color"); c.size() == 7) {
    p.color = static_cast<std::uint32_t>(std::stoul(c.substr(1), nullptr, 16));
  } else if (e.Get("style:use-window-font-color") == "true") {
    p.color = 0;
  }
}

inline std::string Unquote(std::string s) {
  if (s.size() >= 2 && (s.front() == '\'' || s.front() == '"')) s = s.substr(1, s.size() - 2);
  return s;
}

}  // namespace detail_odf

inline std::vector<TOdfParagraph> ReadFlatOdt(std::string_view xml) {
  using namespace detail_odf;
  std::map<std::string, std::string> faces;  // style:font-face name -> family
  std::map<std::string, TProps> styles;      // family + ":" + name -> props
  TProps defaults;                           // the default paragraph style
  std::map<std::string, bool> listBullets;   // list style -> level 1 is a bullet
  std::vector<TOdfParagraph> out;

  // Pass 1: styles. Pass 2: the text.
  TProps* current = nullptr;
  std::string currentList;
  for (std::size_t pos = 0; (pos = xml.find('<', pos)) != std::string_view::npos;) {
    const std::size_t end = xml.find('>', pos);
    const TElement e = ParseElement(xml.substr(pos + 1, end - pos - 1));
    pos = end + 1;
    if (e.closing) {
      if (e.name == "style:style" || e.name == "style:default-style") current = nullptr;
      if (e.name == "text:list-style") currentList.clear();
      continue;
    }
    if (e.name == "style:font-face") {
      faces[e.Get("style:name")] = Unquote(e.Get("svg:font-family"));
    } else if (e.name == "style:default-style" && e.Get("style:family") == "paragraph") {
      current = &defaults;
    } else if (e.name == "style:style") {
      current = &styles[e.Get("style:family") + ":" + e.Get("style:name")];
      current->parent = e.Get("style:parent-style-name");
      current->listStyle = e.Get("style:list-style-name");
      if (e.empty) current = nullptr;
    } else if (e.name == "style:text-properties" && current) {
      ReadTextProperties(e, faces, *current);
    } else if (e.name == "style:paragraph-properties" && current) {
      const std::string a = e.Get("fo:text-align");
      if (!a.empty()) {
        current->alignment = a == "center"                  ? TAlignment::Center
                             : (a == "end" || a == "right") ? TAlignment::Right
                             : a == "justify"               ? TAlignment::Justify
                                                            : TAlignment::Left;
      }
    } else if (e.name == "text:list-style") {
      currentList = e.Get("style:name");
    } else if (!currentList.empty() && e.Get("text:level") == "1" &&
               e.name.rfind("text:list-level-style-", 0) == 0) {
      listBullets[currentList] = e.name == "text:list-level-style-bullet";
    }
  }

  // The chain of styles a property is looked up in, innermost first.
  auto chain = [&](const std::string& family, std::string name, std::vector<const TProps*>& out) {
    for (int guard = 0; !name.empty() && guard < 32; ++guard) {
      const auto it = styles.find(family + ":" + name);
      if (it == styles.end()) break;
      out.push_back(&it->second);
      name = it->second.parent;
    }
  };
  auto resolve = [&](const std::vector<const TProps*>& props, int script) {
    auto first = [&](auto get, auto fallback) {
      for (const TProps* p : props) {
        if (const auto& value = get(*p)) return *value;
      }
      return fallback;
    };
    TCharFormat f;
    f.fontFamily = first([&](const TProps& p) { return p.font[script]; }, f.fontFamily);
    f.pointSize = first([&](const TProps& p) { return p.size[script]; }, f.pointSize);
    f.bold = first([&](const TProps& p) { return p.bold[script]; }, false);
    f.italic = first([&](const TProps& p) { return p.italic[script]; }, false);
    f.underline = first([](const TProps& p) { return p.underline; }, false);
    f.color = first([](const TProps& p) { return p.color; }, std::uint32_t{0});
    return f;
  };

  const std::size_t body = xml.find("<office:text");
  if (body == std::string_view::npos) return out;
  std::vector<std::string> lists;  // style names of the open text:list elements
  std::vector<std::string> spans;  // style names of the open text:span elements
  std::string paragraphStyle;
  bool inParagraph = false;
  int skipDepth = 0;                                   // inside an annotation or a frame
  std::vector<std::vector<const TProps*>> charStyles;  // per character, its style chain
  std::vector<const TProps*> paragraphChain;
  auto addText = [&](const std::string& utf8) {
    if (!inParagraph || skipDepth > 0) return;
    std::vector<const TProps*> styleChain;
    for (auto it = spans.rbegin(); it != spans.rend(); ++it) chain("text", *it, styleChain);
    styleChain.insert(styleChain.end(), paragraphChain.begin(), paragraphChain.end());
    styleChain.push_back(&defaults);
    for (std::size_t k = 0; k < utf8.size();) {
      out.back().text.push_back(detail::NextUtf8(utf8, k));
      charStyles.push_back(styleChain);
    }
  };
  // The formats of the paragraph's characters, once it ends.
  auto finish = [&] {
    inParagraph = false;
    TOdfParagraph& p = out.back();
    int script = 0;
    for (std::size_t k = 0; k < p.text.size(); ++k) {
      script = OdfScript(p.text[k], script);
      p.formats.push_back(resolve(charStyles[k], script));
    }
    if (p.text.empty()) {
      std::vector<const TProps*> c = paragraphChain;
      c.push_back(&defaults);
      p.formats.push_back(resolve(c, 0));
    }
  };
  for (std::size_t pos = body; pos < xml.size();) {
    if (xml[pos] != '<') {
      const std::size_t end = xml.find('<', pos);
      addText(Unescape(xml.substr(pos, end - pos)));
      pos = end;
      continue;
    }
    const std::size_t end = xml.find('>', pos);
    const TElement e = ParseElement(xml.substr(pos + 1, end - pos - 1));
    pos = end + 1;
    if (e.name == "office:annotation" || e.name == "draw:frame") {
      if (!e.empty) skipDepth += e.closing ? -1 : 1;
      continue;
    }
    if (e.name == "text:list") {
      if (e.closing) {
        lists.pop_back();
      } else {
        lists.push_back(e.Get("text:style-name").empty() && !lists.empty()
                            ? lists.back()
                            : e.Get("text:style-name"));
      }
    } else if (e.name == "text:p" || e.name == "text:h") {
      if (e.closing) {
        finish();
        continue;
      }
      paragraphStyle = e.Get("text:style-name");
      paragraphChain.clear();
      chain("paragraph", paragraphStyle, paragraphChain);
      TOdfParagraph p;
      for (const TProps* s : paragraphChain) {
        if (s->alignment) {
          p.alignment = *s->alignment;
          break;
        }
      }
      std::string list = lists.empty() ? std::string() : lists.back();
      if (list.empty() && !lists.empty()) {
        for (const TProps* s : paragraphChain) {
          if (!s->listStyle.empty()) {
            list = s->listStyle;
            break;
          }
        }
      }
      p.bullet = !lists.empty() && listBullets.count(list) && listBullets[list];
      out.push_back(std::move(p));
      charStyles.clear();
      inParagraph = true;
      if (e.empty) finish();
      continue;
    } else if (e.name == "text:span") {
      if (e.closing) {
        if (!spans.empty()) spans.pop_back();
      } else if (!e.empty) {
        spans.push_back(e.Get("text:style-name"));
      }
    } else if (inParagraph && skipDepth == 0 &&
               (e.name == "text:s" || e.name == "text:tab" || e.name == "text:line-break")) {
      const int count =
          e.name == "text:s" && !e.Get("text:c").empty() ? std::stoi(e.Get("text:c")) : 1;
      const std::string chars = e.name == "text:s"
                                    ? std::string(static_cast<std::size_t>(count), ' ')
                                : e.name == "text:tab" ? std::string("\t")
                                                       : std::string("\n");
      addText(chars);
    }
  }
  return out;
}

}  // namespace qv::richtext::clients
