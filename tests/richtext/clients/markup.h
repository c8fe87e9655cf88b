// Character references of the HTML and XML that LibreOffice and pdftotext write.
#pragma once

#include <string>
#include <string_view>

#include "richtext/encoding.h"

namespace qv::richtext::clients {

// The character an entity name stands for ("amp", "nbsp", "#233", "#xE9"), appended as UTF-8.
inline void AppendEntity(std::string_view name, std::string& out) {
  if (name == "amp") {
    out += '&';
  } else if (name == "lt") {
    out += '<';
  } else if (name == "gt") {
    out += '>';
  } else if (name == "quot") {
    out += '"';
  } else if (name == "apos") {
    out += '\'';
  } else if (name == "nbsp") {
    out += "\xC2\xA0";
  } else if (name.size() > 1 && name[0] == '#') {
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const unsigned long code =
        std::stoul(std::string(name.substr(hex ? 2 : 1)), nullptr, hex ? 16 : 10);
    detail::AppendUtf8(static_cast<char32_t>(code), out);
  }
}

// Text with its character references replaced.
inline std::string Unescape(std::string_view s) {
  std::string out;
  for (std::size_t k = 0; k < s.size(); ++k) {
    const std::size_t semi = s[k] == '&' ? s.find(';', k) : std::string_view::npos;
    if (semi == std::string_view::npos || semi - k > 12) {
      out += s[k];
      continue;
    }
    AppendEntity(s.substr(k + 1, semi - k - 1), out);
    k = semi;
  }
  return out;
}

}  // namespace qv::richtext::clients
