#include "richtext/document.h"

#include <cmath>

#include "richtext/encoding.h"
#include "richtext/normal.h"

namespace qv::richtext {

namespace detail {

bool IsDroppedControl(char32_t code) {
  return code < 0x20 && code != '\t' && code != '\n';
}

std::string CleanText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
      if (!IsDroppedControl(c)) out.push_back(static_cast<char>(c));
      ++pos;
      continue;
    }
    AppendUtf8(NextUtf8(text, pos), out);
  }
  return out;
}

bool HasText(std::string_view text) {
  for (const char c : text) {
    if (!IsDroppedControl(static_cast<unsigned char>(c))) return true;
  }
  return false;
}

bool HasText(const TParagraph& paragraph) {
  for (const TRun& run : paragraph.runs) {
    if (HasText(run.text)) return true;
  }
  return false;
}

std::string CleanFontFamily(std::string_view family) {
  std::string clean = CleanText(family);
  std::string out;
  for (const char c : clean) {
    if (c != '\t' && c != '\n') out.push_back(c);
  }
  const auto first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

int HalfPoints(double pointSize) {
  if (!std::isfinite(pointSize) || pointSize <= 0) return 20;
  if (pointSize >= kMaxHalfPoints / 2.0) return kMaxHalfPoints;
  const long halfPoints = std::lround(pointSize * 2);
  return halfPoints < 1 ? 1 : static_cast<int>(halfPoints);
}

TCharFormat CleanFormat(const TCharFormat& format) {
  TCharFormat out = format;
  out.fontFamily = CleanFontFamily(format.fontFamily);
  out.pointSize = HalfPoints(format.pointSize) / 2.0;
  out.color &= 0xFFFFFF;
  return out;
}

}  // namespace detail

TDocument Normalize(const TDocument& doc) {
  TDocument out;
  out.paragraphs.reserve(doc.paragraphs.size());
  for (const TParagraph& p : doc.paragraphs) {
    TParagraph q;
    q.alignment = p.alignment;
    q.bullet = p.bullet;
    for (const TRun& run : p.runs) {
      std::string text = detail::CleanText(run.text);
      if (text.empty()) continue;
      TCharFormat format = detail::CleanFormat(run.format);
      if (!q.runs.empty() && q.runs.back().format == format) {
        q.runs.back().text += text;
      } else {
        q.runs.push_back({std::move(text), std::move(format)});
      }
    }
    if (q.runs.empty()) {
      // An empty line keeps the format of its paragraph mark, the last run it had.
      q.runs.push_back(
          {{}, p.runs.empty() ? TCharFormat{} : detail::CleanFormat(p.runs.back().format)});
    }
    out.paragraphs.push_back(std::move(q));
  }
  return out;
}

std::string PlainText(const TDocument& doc) {
  std::string out;
  for (std::size_t k = 0; k < doc.paragraphs.size(); ++k) {
    if (k > 0) out.push_back('\n');
    for (const TRun& run : doc.paragraphs[k].runs) out += run.text;
  }
  return out;
}

}  // namespace qv::richtext
