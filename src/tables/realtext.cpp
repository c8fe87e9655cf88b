#include "tables/realtext.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <system_error>

namespace qv {

namespace {

bool IsBlankChar(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The powers of ten a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The common case of a table's numbers, digits with at most one decimal point ("5.4108",
// "600", "-0.25"), read without from_chars: when the digits, point aside, form an integer
// m < 2^53 and there are f <= 22 of them after the point, m and 10^f are exact doubles and one
// division rounds m / 10^f correctly, which is the value from_chars gives (Clinger 1990).
// False, with nothing read, for every other text.
bool ParsePlainDecimal(std::string_view text, double& out) {
  std::uint64_t m = 0;
  int digits = 0, fraction = -1;  // fraction < 0 until the point
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      if (++digits > 19) return false;
      m = m * 10 + static_cast<unsigned>(c - '0');
      if (fraction >= 0) ++fraction;
    } else if (c == '.' && fraction < 0) {
      fraction = 0;
    } else {
      return false;
    }
  }
  if (digits == 0 || m > (std::uint64_t{1} << 53) || fraction > 22) return false;
  out = static_cast<double>(m) / kExactPowersOfTen[fraction > 0 ? fraction : 0];
  return true;
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
  if (!ParsePlainDecimal(text, value)) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return false;
  }
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
