#include "analysis/convert.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <string>

namespace qv {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view SkipLeadingBlanks(std::string_view s) {
  std::size_t k = 0;
  while (k < s.size() && s[k] == ' ') ++k;
  return s.substr(k);
}

}  // namespace

bool ConvertInteger(std::string_view text, std::int32_t& value) {
  std::string_view s = SkipLeadingBlanks(text);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  std::int64_t v = 0;
  for (char c : s) {
    int digit;
    if (IsDigit(c)) {
      digit = c - '0';
    } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
      digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    } else {
      return false;
    }
    v = v * base + digit;
    if (v > 0x80000000LL) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

bool ConvertReal(std::string_view text, double& value) {
  std::string_view s = SkipLeadingBlanks(text);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  // Validate the shape ourselves: digits, an optional "." and digits, an optional exponent.
  // (from_chars alone would also take "inf" and "nan".)
  std::size_t k = 0, mantissaDigits = 0;
  while (k < s.size() && IsDigit(s[k])) ++k, ++mantissaDigits;
  if (k < s.size() && s[k] == '.') {
    ++k;
    while (k < s.size() && IsDigit(s[k])) ++k, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return false;
  if (k < s.size() && (s[k] == 'e' || s[k] == 'E')) {
    ++k;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
    std::size_t expDigits = 0;
    while (k < s.size() && IsDigit(s[k])) ++k, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (k != s.size()) return false;
  double v = 0.0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return false;
  value = negative ? -v : v;
  return true;
}

}  // namespace qv
