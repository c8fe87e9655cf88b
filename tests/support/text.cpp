#include "support/text.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <stdexcept>

namespace qv::testing {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& line : Lines(text)) {
    if (line.rfind(prefix, 0) == 0) out.push_back(line);
  }
  return out;
}

std::string LineAfter(const std::vector<std::string>& lines, const std::string& after,
                      const std::string& prefix) {
  std::size_t k = 0;
  while (k < lines.size() && lines[k].find(after) == std::string::npos) ++k;
  for (++k; k < lines.size(); ++k)
    if (lines[k].rfind(prefix, 0) == 0) return lines[k];
  ADD_FAILURE() << "no line " << prefix << " after " << after;
  return "";
}

std::vector<double> Numbers(const std::string& line) {
  std::vector<double> v;
  std::istringstream in(line);
  for (std::string word; in >> word;) {
    std::size_t used = 0;
    try {
      const double x = std::stod(word, &used);
      if (used == word.size()) v.push_back(x);
    } catch (const std::logic_error&) {
    }
  }
  return v;
}

bool HasNonFinite(const std::string& text) {
  static const std::regex number(R"((^|[\s+-])(nan|inf)\b)", std::regex::icase);
  return std::regex_search(text, number);
}

}  // namespace qv::testing
