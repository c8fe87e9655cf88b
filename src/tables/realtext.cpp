#include "tables/realtext.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace qv {

namespace {

bool IsBlankChar(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

bool ParseReal(std::string_view text, double& out) {
  while (!text.empty() && IsBlankChar(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankChar(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // from_chars would also take "inf", "nan" and a second sign; a number starts with a digit or
  // with the decimal point.
  if (text.empty() || !((text.front() >= '0' && text.front() <= '9') || text.front() == '.')) {
    return false;
  }
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return false;
  out = negative ? -value : value;
  return true;
}

TNotAReal WhyNotAReal(std::string_view text) {
  while (!text.empty() && IsBlankChar(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankChar(text.back())) text.remove_suffix(1);
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  // R, SAS, Excel (in English and in Portuguese) and C's printf.
  static const char* const kMarks[] = {"na",        "n/a",     "nan",  "-nan",     "+nan",
                                       "inf",       "+inf",    "-inf", "infinity", "-infinity",
                                       "+infinity", "#n/a",    "#n/d", "#num!",    "#div/0!",
                                       "#valor!",   "#value!", "null", ".",        "-"};
  for (const char* mark : kMarks) {
    if (lower == mark) return TNotAReal::MissingMark;
  }
  double value = 0.0;
  const auto comma = lower.find(',');
  if (comma != std::string::npos && lower.find(',', comma + 1) == std::string::npos) {
    lower[comma] = '.';
    if (ParseReal(lower, value)) return TNotAReal::DecimalComma;
    lower[comma] = ',';
  }
  // A number's form (as ParseReal takes it) whose value a double cannot hold.
  std::string_view digits = lower;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
  if (!digits.empty() &&
      ((digits.front() >= '0' && digits.front() <= '9') || digits.front() == '.')) {
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range && ptr == end) return TNotAReal::OutOfRange;
  }
  return TNotAReal::Text;
}

std::string FormatReal(double value) {
  std::string text;
  AppendReal(text, value);
  return text;
}

void AppendReal(std::string& out, double value) {
  char buffer[64];
  const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec == std::errc()) out.append(buffer, ptr);
}

}  // namespace qv
