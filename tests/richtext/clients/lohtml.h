// What a reader of LibreOffice's HTML export sees: per paragraph its alignment, whether it is
// an item of a bulleted list, and each visible character with its format, as the HTML's
// elements and styles give it (<b>, <i>, <u>, <font face size color>, style="font-size: ...",
// <p align>, <ul><li>). Whitespace is not compared: HTML folds it, and LibreOffice breaks its
// source lines at blanks.
#pragma once

#include <cctype>
#include <cmath>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "../builders.h"
#include "markup.h"
#include "richtext/document.h"
#include "richtext/encoding.h"

namespace qv::richtext::clients {

struct TSeenChar {
  char32_t code;
  TCharFormat format;
  bool operator==(const TSeenChar&) const = default;
};

struct TSeenParagraph {
  TAlignment alignment = TAlignment::Left;
  bool bullet = false;
  std::vector<TSeenChar> chars;
  bool operator==(const TSeenParagraph&) const = default;
};

inline void PrintTo(const TSeenParagraph& p, std::ostream* os) {
  *os << "\n  P" << static_cast<int>(p.alignment) << (p.bullet ? "•" : "") << ":";
  const TCharFormat* last = nullptr;
  for (const TSeenChar& c : p.chars) {
    if (!last || !(*last == c.format)) {
      *os << " ";
      PrintTo(c.format, os);
      last = &c.format;
    }
    std::string utf8;
    richtext::detail::AppendUtf8(c.code, utf8);
    *os << utf8;
  }
}

inline bool IsBlank(char32_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0xA0;
}

// The same view of one of our documents. LibreOffice's HTML gives sizes in whole points,
// dropping a half point (its documents and RTF keep it: 9.5 points is "font-size: 9pt").
inline std::vector<TSeenParagraph> Seen(const TDocument& doc) {
  std::vector<TSeenParagraph> out;
  for (const TParagraph& p : doc.paragraphs) {
    TSeenParagraph s{p.alignment, p.bullet, {}};
    for (const TRun& r : p.runs) {
      for (std::size_t pos = 0; pos < r.text.size();) {
        const char32_t c = detail::NextUtf8(r.text, pos);
        if (IsBlank(c)) continue;
        TCharFormat f = r.format;
        f.pointSize = std::floor(f.pointSize);
        s.chars.push_back({c, f});
      }
    }
    out.push_back(std::move(s));
  }
  return out;
}

namespace detail_html {

inline std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

inline std::string Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n\"'");
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(" \t\r\n\"'") - first + 1));
}

struct TTag {
  std::string name;
  bool closing = false, selfClosing = false;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string Attribute(const std::string& key) const {
    for (const auto& [k, v] : attributes) {
      if (k == key) return v;
    }
    return {};
  }
};

inline TTag ParseTag(std::string_view text) {  // text between '<' and '>'
  TTag tag;
  std::size_t k = 0;
  if (k < text.size() && text[k] == '/') {
    tag.closing = true;
    ++k;
  }
  const std::size_t nameStart = k;
  while (k < text.size() && !std::isspace(static_cast<unsigned char>(text[k])) && text[k] != '/')
    ++k;
  tag.name = Lower(text.substr(nameStart, k - nameStart));
  tag.selfClosing = !text.empty() && text.back() == '/';
  while (k < text.size()) {
    while (k < text.size() && (std::isspace(static_cast<unsigned char>(text[k])) || text[k] == '/'))
      ++k;
    const std::size_t keyStart = k;
    while (k < text.size() && text[k] != '=' && !std::isspace(static_cast<unsigned char>(text[k])))
      ++k;
    std::string key = Lower(text.substr(keyStart, k - keyStart));
    std::string value;
    if (k < text.size() && text[k] == '=') {
      ++k;
      const char quote = k < text.size() ? text[k] : ' ';
      if (quote == '"' || quote == '\'') {
        const std::size_t end = text.find(quote, k + 1);
        value = std::string(text.substr(k + 1, end - k - 1));
        k = end == std::string_view::npos ? text.size() : end + 1;
      } else {
        const std::size_t valueStart = k;
        while (k < text.size() && !std::isspace(static_cast<unsigned char>(text[k]))) ++k;
        value = std::string(text.substr(valueStart, k - valueStart));
      }
    }
    if (!key.empty()) tag.attributes.emplace_back(std::move(key), std::move(value));
  }
  return tag;
}

inline std::uint32_t ParseColor(const std::string& v) {
  const std::string t = Trim(v);
  if (t.size() == 7 && t[0] == '#')
    return static_cast<std::uint32_t>(std::stoul(t.substr(1), nullptr, 16));
  return 0;
}

struct TState {
  std::string name;
  TCharFormat format;
  bool inBulletList = false, inNumberedList = false;
};

inline void ApplyStyle(const std::string& style, TCharFormat& f, TAlignment* alignment) {
  std::size_t start = 0;
  while (start < style.size()) {
    std::size_t end = style.find(';', start);
    if (end == std::string::npos) end = style.size();
    const std::string item = style.substr(start, end - start);
    start = end + 1;
    const auto colon = item.find(':');
    if (colon == std::string::npos) continue;
    const std::string key = Lower(Trim(item.substr(0, colon)));
    const std::string value = Lower(Trim(item.substr(colon + 1)));
    if (key == "font-weight")
      f.bold = value == "bold" || (std::isdigit(value[0]) && std::stoi(value) >= 600);
    if (key == "font-style") f.italic = value == "italic" || value == "oblique";
    if (key == "text-decoration") f.underline = value.find("underline") != std::string::npos;
    if (key == "font-size" && value.size() > 2 && value.substr(value.size() - 2) == "pt") {
      f.pointSize = std::stod(value.substr(0, value.size() - 2));
    }
    if (key == "color") f.color = ParseColor(value);
    if (key == "text-align" && alignment) {
      *alignment = value == "center"    ? TAlignment::Center
                   : value == "right"   ? TAlignment::Right
                   : value == "justify" ? TAlignment::Justify
                                        : TAlignment::Left;
    }
  }
}

}  // namespace detail_html

// `base`: LibreOffice's default paragraph format, which its HTML does not restate.
inline std::vector<TSeenParagraph> ReadLibreOfficeHtml(std::string_view html,
                                                       const TCharFormat& base) {
  using namespace detail_html;
  std::vector<TSeenParagraph> out;
  std::vector<TState> stack{{"body", base, false, false}};
  std::size_t paragraph = 0;  // 1 + the index of the open paragraph; 0: none
  std::size_t pos = html.find("<body");
  pos = pos == std::string_view::npos ? 0 : html.find('>', pos) + 1;
  while (pos < html.size()) {
    if (html[pos] == '<') {
      const std::size_t end = html.find('>', pos);
      if (end == std::string_view::npos) break;
      const TTag tag = ParseTag(html.substr(pos + 1, end - pos - 1));
      pos = end + 1;
      if (tag.name == "br" || tag.name == "meta" || tag.name == "img" || tag.name == "hr" ||
          tag.name == "col") {
        continue;
      }
      if (tag.closing) {
        for (std::size_t k = stack.size(); k-- > 1;) {
          if (stack[k].name == tag.name) {
            stack.resize(k);
            break;
          }
        }
        if (tag.name == "p" || tag.name == "li" || tag.name == "body") paragraph = 0;
        continue;
      }
      TState state = stack.back();
      state.name = tag.name;
      TCharFormat& f = state.format;
      if (tag.name == "b" || tag.name == "strong") f.bold = true;
      if (tag.name == "i" || tag.name == "em") f.italic = true;
      if (tag.name == "u") f.underline = true;
      if (tag.name == "ul") state.inBulletList = true, state.inNumberedList = false;
      if (tag.name == "ol") state.inNumberedList = true, state.inBulletList = false;
      if (tag.name == "font") {
        if (const std::string face = tag.Attribute("face"); !face.empty()) {
          f.fontFamily = Trim(face.substr(0, face.find(',')));
        }
        if (const std::string color = tag.Attribute("color"); !color.empty())
          f.color = ParseColor(color);
      }
      TAlignment alignment = TAlignment::Left;
      if (tag.name == "p" ||
          (tag.name.size() == 2 && tag.name[0] == 'h' && std::isdigit(tag.name[1]))) {
        const std::string align = Lower(tag.Attribute("align"));
        alignment = align == "center"    ? TAlignment::Center
                    : align == "right"   ? TAlignment::Right
                    : align == "justify" ? TAlignment::Justify
                                         : TAlignment::Left;
        ApplyStyle(tag.Attribute("style"), f, &alignment);
        out.push_back({alignment, stack.back().inBulletList, {}});
        paragraph = out.size();
      } else {
        ApplyStyle(tag.Attribute("style"), f, nullptr);
      }
      if (!tag.selfClosing) stack.push_back(std::move(state));
      continue;
    }
    const std::size_t end = std::min(html.find('<', pos), html.size());
    const std::string text = Unescape(html.substr(pos, end - pos));
    pos = end;
    for (std::size_t k = 0; k < text.size();) {
      const char32_t c = richtext::detail::NextUtf8(text, k);
      if (IsBlank(c)) continue;
      if (paragraph == 0) {
        out.push_back({TAlignment::Left, stack.back().inBulletList, {}});
        paragraph = out.size();
      }
      out[paragraph - 1].chars.push_back({c, stack.back().format});
    }
  }
  return out;
}

}  // namespace qv::richtext::clients
