// Plain text as a document: files that are not Rich Text, and the report text.
#include "richtext/encoding.h"
#include "richtext/normal.h"
#include "richtext/rtf.h"

namespace qv::richtext {

namespace {

// One paragraph per line; lines end in CR LF, LF or CR, and a final line end closes the last
// line instead of opening an empty one.
TDocument DocumentOfLines(std::string_view text, const TCharFormat& format) {
  const TCharFormat clean = detail::CleanFormat(format);
  TDocument doc;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    TParagraph p;
    p.runs.push_back({detail::CleanText(text.substr(start, end - start)), clean});
    doc.paragraphs.push_back(std::move(p));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      ++end;
    }
    start = end + 1;
  }
  return doc;
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size());
  char32_t high = 0;
  for (std::size_t k = 0; k + 1 < bytes.size(); k += 2) {
    const auto b0 = static_cast<unsigned char>(bytes[k]);
    const auto b1 = static_cast<unsigned char>(bytes[k + 1]);
    const char32_t unit = bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (high) detail::AppendUtf8(detail::kReplacement, out);
      high = unit;
      continue;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
      detail::AppendUtf8(
          high ? 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00) : detail::kReplacement, out);
      high = 0;
      continue;
    }
    if (high) detail::AppendUtf8(detail::kReplacement, out);
    high = 0;
    detail::AppendUtf8(unit, out);
  }
  if (high || bytes.size() % 2) detail::AppendUtf8(detail::kReplacement, out);
  return out;
}

}  // namespace

TReadResult ReadDocument(std::string_view bytes, const TCharFormat& plainFormat) {
  if (LooksLikeRtf(bytes)) return ReadRtf(bytes);
  if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
    const bool bigEndian = bytes[0] == '\xFE';
    return {DocumentOfLines(Utf16ToUtf8(bytes.substr(2), bigEndian), plainFormat), {}};
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (detail::IsValidUtf8(bytes)) return {DocumentOfLines(bytes, plainFormat), {}};
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 4);
  for (const char b : bytes) {
    detail::AppendUtf8(detail::Cp1252ToUnicode(static_cast<unsigned char>(b)), text);
  }
  return {DocumentOfLines(text, plainFormat), {}};
}

TCharFormat ReportFormat() {
  return TCharFormat{"Courier New", 10, false, false, false, 0x000000};
}

TDocument ReportDocument(std::string_view reportText) {
  return DocumentOfLines(reportText, ReportFormat());
}

bool IsRtfFileName(std::string_view path) {
  if (path.size() < 4) return false;
  const std::string_view ext = path.substr(path.size() - 4);
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return ext[0] == '.' && lower(ext[1]) == 'r' && lower(ext[2]) == 't' && lower(ext[3]) == 'f';
}

}  // namespace qv::richtext
