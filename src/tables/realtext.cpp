#include "tables/realtext.h"

#include <charconv>
#include <cmath>
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
