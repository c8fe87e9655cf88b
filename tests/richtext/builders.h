// Small builders and a readable printout of documents for the Rich Text tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "richtext/document.h"

namespace qv::richtext {

inline TRun MakeRun(std::string text, TCharFormat format = {}) {
  return {std::move(text), std::move(format)};
}

inline TParagraph Para(std::vector<TRun> runs, TAlignment alignment = TAlignment::Left,
                       bool bullet = false) {
  return {std::move(runs), alignment, bullet};
}

inline TCharFormat Format(std::string family, double points, bool bold = false, bool italic = false,
                          bool underline = false, std::uint32_t color = 0) {
  return {std::move(family), points, bold, italic, underline, color};
}

// gtest prints documents this way when an expectation fails.
inline void PrintTo(const TCharFormat& f, std::ostream* os) {
  *os << "[" << f.fontFamily << " " << f.pointSize << (f.bold ? " b" : "") << (f.italic ? " i" : "")
      << (f.underline ? " u" : "") << " #" << std::hex << f.color << std::dec << "]";
}
inline void PrintTo(const TRun& r, std::ostream* os) {
  PrintTo(r.format, os);
  *os << '"' << r.text << '"';
}
inline void PrintTo(const TParagraph& p, std::ostream* os) {
  *os << "\n  P" << static_cast<int>(p.alignment) << (p.bullet ? "•" : "") << ":";
  for (const TRun& r : p.runs) {
    *os << " ";
    PrintTo(r, os);
  }
}
inline void PrintTo(const TDocument& d, std::ostream* os) {
  *os << d.paragraphs.size() << " paragraphs";
  for (const TParagraph& p : d.paragraphs) PrintTo(p, os);
}

}  // namespace qv::richtext
