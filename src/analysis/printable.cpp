#include "analysis/printable.h"

namespace qv {

std::string PrintableText(std::string_view text, std::string_view keep) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t k = 0; k < text.size(); ++k) {
    const auto c = static_cast<unsigned char>(text[k]);
    if (c < 0x20 || c == 0x7F) {
      out.push_back(keep.find(text[k]) != std::string_view::npos ? text[k] : '?');
    } else if (c == 0xC2 && k + 1 < text.size() &&
               (static_cast<unsigned char>(text[k + 1]) & 0xE0) == 0x80) {
      out.push_back('?');  // U+0080 to U+009F, two bytes in UTF-8
      ++k;
    } else {
      out.push_back(text[k]);
    }
  }
  return out;
}

}  // namespace qv
