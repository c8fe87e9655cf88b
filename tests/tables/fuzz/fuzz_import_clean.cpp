// libFuzzer target for the line cleaner and the reading of the numbers: any bytes, as the
// lines of a text file given to the import.
//
// Besides the sanitizers' findings it checks what the cleaner and the reader promise: a cleaned
// line holds only digits, "-", ".", "e", blanks and control characters, never starts with a
// blank nor holds two in a row, and cleans to itself; the records read are whole (every column
// as long as the record count), finite, and never more than the lines of the text; a stop names
// a line of the text and a token that is not a number.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tables/comma.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "import clean fuzz: %s\n", what);
    std::abort();
  }
}

void CheckCleanLine(std::string_view line) {
  const std::string cleaned = qv::CleanImportLine(line);
  Check(cleaned.size() <= line.size(), "a cleaned line is never longer");
  Check(cleaned.empty() || cleaned.front() != ' ', "no blank at the start");
  Check(cleaned.find("  ") == std::string::npos, "no two blanks in a row");
  std::size_t tokens = 0;
  bool inToken = false;
  for (const char c : cleaned) {
    const auto code = static_cast<unsigned char>(c);
    Check(code < 32 || c == ' ' || c == '-' || c == '.' || c == 'e' || (c >= '0' && c <= '9'),
          "only what a number is made of survives");
    if (c == ' ') {
      inToken = false;
    } else if (!inToken) {
      inToken = true;
      ++tokens;
    }
  }
  Check(qv::CountTokens(cleaned) == tokens, "CountTokens counts the runs between blanks");
  Check(qv::CleanImportLine(cleaned) == cleaned, "a cleaned line cleans to itself");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The cleaned text as the temporary file holds it: one line per line of the input.
  std::string text;
  std::size_t columns = 0, lines = 0;
  for (std::size_t pos = 0; pos < bytes.size();) {
    std::size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = bytes.substr(pos, end - pos);
    CheckCleanLine(line);
    const std::size_t start = text.size();
    qv::AppendCleanImportLine(line, text);
    columns = std::max(columns, qv::CountTokens(std::string_view(text).substr(start)));
    text.push_back('\n');
    ++lines;
    pos =
        end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n'
            ? end + 2
            : end + 1;
  }
  const qv::TImportRecords r = qv::ReadImportRecords(text, columns);
  Check(r.columns == columns && r.numbers.size() == columns && r.blank.size() == columns,
        "one column per token of the widest line");
  Check(r.records <= lines, "no more records than lines");
  for (std::size_t j = 0; j < columns; ++j) {
    Check(r.numbers[j].size() == r.records && r.blank[j].size() == r.records, "whole records");
    for (std::size_t k = 0; k < r.records; ++k) {
      Check(std::isfinite(r.numbers[j][k]), "never an infinity or a NaN");
    }
  }
  if (r.stop == qv::TImportRecords::TStop::End) {
    Check(r.stopToken.empty(), "no token without a stop");
  } else {
    Check(r.stopLine >= 1 && r.stopLine <= lines, "the stop names a line of the text");
    double v = 0;
    const qv::TImportNumber read = qv::ReadImportNumber(r.stopToken, v);
    Check(read != qv::TImportNumber::Ok, "the token that stopped it is not a number");
    Check((read == qv::TImportNumber::Overflow) == (r.stop == qv::TImportRecords::TStop::Overflow),
          "the stop says why");
  }
  return 0;
}
