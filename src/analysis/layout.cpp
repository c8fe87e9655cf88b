#include "analysis/layout.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

static_assert(LDBL_MANT_DIG == 64, "the report's digits assume x87 80-bit extended precision");

namespace qv {
namespace {

std::string RightAlign(std::string s, int width) {
  if (width > 0 && static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), ' ');
  return s;
}

std::string NonFinite(long double value) {
  if (std::isnan(value)) return "Nan";
  return std::signbit(value) ? "-Inf" : "+Inf";
}

// The value's decimal digits, as 18 significant digits (all that an 80-bit real holds) and its
// decimal exponent: value = 0.d1d2...d18 x 10^exponent. Rounding is then done on these decimal
// digits, half away from zero, as a person rounds a printed number: 0.1234565 to six decimals
// gives 0.123457 even though its nearest binary value lies a hair below the tie.
struct Decimal {
  bool negative = false;
  std::string digits;  // 18 digits, or "" for zero
  int exponent = 0;
};

Decimal ToDecimal(long double value) {
  Decimal d;
  d.negative = std::signbit(value);
  if (value == 0) return d;
  char buf[64];
  const long double magnitude = std::fabs(value);
  const auto asDouble = static_cast<double>(magnitude);
  if (static_cast<long double>(asDouble) == magnitude) {
    // The same digits as printf's (both are the exact value correctly rounded to 18 digits),
    // several times faster: a table export writes a million of them.
    const auto r =
        std::to_chars(buf, buf + sizeof buf - 1, asDouble, std::chars_format::scientific, 17);
    *r.ptr = '\0';
  } else {
    std::snprintf(buf, sizeof buf, "%.17Le", magnitude);
  }
  // buf = "d.ddddddddddddddddde[+-]xx"
  std::string s(buf);
  const auto e = s.find('e');
  d.digits = s.substr(0, 1) + s.substr(2, e - 2);
  d.exponent = std::atoi(s.c_str() + e + 1) + 1;
  return d;
}

// Rounds the digits to keep `keep` of them (keep may be <= 0), half away from zero.
// Returns the kept digits (possibly one more when rounding carries, e.g. 999 -> 1000), and
// adjusts the exponent accordingly.
std::string RoundDigits(const Decimal& d, int keep, int& exponent) {
  exponent = d.exponent;
  if (d.digits.empty()) return "";
  if (keep < 0) return "";
  std::string kept = d.digits.substr(0, std::min<std::size_t>(keep, d.digits.size()));
  while (static_cast<int>(kept.size()) < keep) kept.push_back('0');
  const bool roundUp = keep < static_cast<int>(d.digits.size()) && d.digits[keep] >= '5';
  if (roundUp) {
    int i = static_cast<int>(kept.size()) - 1;
    while (i >= 0 && kept[i] == '9') kept[i--] = '0';
    if (i >= 0) {
      ++kept[i];
    } else {
      kept.insert(kept.begin(), '1');
      ++exponent;
    }
  }
  return kept;
}

}  // namespace

std::string Int(long long value, int width) {
  return RightAlign(std::to_string(value), width);
}

std::string Fixed(long double value, int width, int decimals) {
  if (!std::isfinite(value)) return RightAlign(NonFinite(value), width);
  if (std::fabs(value) >= 1e36L) return Exp(value, width);
  const Decimal d = ToDecimal(value);
  int exponent = 0;
  // Digits before the point: exponent; after it: decimals.
  std::string kept = RoundDigits(d, d.exponent + decimals, exponent);
  // kept holds the digits from the first significant one down to 10^-decimals.
  std::string intPart, fracPart;
  const int totalDigits = exponent + decimals;  // digits from 10^(exponent-1) down to 10^-decimals
  if (static_cast<int>(kept.size()) < totalDigits) kept.append(totalDigits - kept.size(), '0');
  if (totalDigits <= 0) {
    intPart = "0";
    fracPart.assign(decimals, '0');
  } else {
    if (exponent > 0) {
      intPart = kept.substr(0, exponent);
      fracPart = kept.substr(exponent);
    } else {
      intPart = "0";
      fracPart = std::string(-exponent, '0') + kept;
    }
  }
  if (static_cast<int>(fracPart.size()) > decimals) fracPart.resize(decimals);
  while (static_cast<int>(fracPart.size()) < decimals) fracPart.push_back('0');
  std::string s = (d.negative ? "-" : "") + intPart;
  if (decimals > 0) s += "." + fracPart;
  return RightAlign(std::move(s), width);
}

std::string Exp(long double value, int width) {
  if (!std::isfinite(value)) return RightAlign(NonFinite(value), width);
  int n = width - 8;
  if (n < 2) n = 2;
  if (n > 18) n = 18;
  const Decimal d = ToDecimal(value);
  int exponent = 0;
  std::string kept = RoundDigits(d, n, exponent);
  if (kept.empty()) {
    kept.assign(n, '0');
    exponent = 1;
  }
  if (static_cast<int>(kept.size()) > n) kept.resize(n);  // a carry added a digit
  const int e = exponent - 1;                             // d.ddd x 10^e
  char expBuf[16];
  std::snprintf(expBuf, sizeof expBuf, "%c%04d", e < 0 ? '-' : '+', std::abs(e));
  std::string s;
  s += d.negative ? '-' : ' ';
  s += kept[0];
  s += '.';
  s += kept.substr(1);
  s += 'E';
  s += expBuf;
  return RightAlign(std::move(s), width);
}

std::string General(long double value, char decimalSeparator) {
  if (!std::isfinite(value)) return NonFinite(value);
  const Decimal d = ToDecimal(value);
  if (d.digits.empty()) return "0";
  int exponent = 0;
  std::string kept = RoundDigits(d, 15, exponent);
  if (kept.size() > 15) kept.resize(15);
  while (!kept.empty() && kept.back() == '0') kept.pop_back();
  std::string s = d.negative ? "-" : "";
  // After rounding the value is 0.kept x 10^exponent; fixed form for 1e-4 <= |v| < 1e15.
  if (exponent >= -3 && exponent <= 15) {
    if (exponent <= 0) {
      s += "0";
      s += decimalSeparator;
      s += std::string(-exponent, '0') + kept;
    } else {
      std::string intDigits = kept.substr(0, std::min<std::size_t>(exponent, kept.size()));
      intDigits.append(exponent - intDigits.size(), '0');
      s += intDigits;
      if (static_cast<int>(kept.size()) > exponent) {
        s += decimalSeparator;
        s += kept.substr(exponent);
      }
    }
  } else {
    s += kept[0];
    if (kept.size() > 1) {
      s += decimalSeparator;
      s += kept.substr(1);
    }
    s += 'E';
    s += std::to_string(exponent - 1);
  }
  return s;
}

std::string Separator(int width) {
  return std::string(width, '_');
}

std::string PadRight(std::string text, std::size_t width) {
  // Width in characters as the reader sees them: a UTF-8 continuation byte adds none.
  std::size_t chars = 0;
  for (unsigned char c : text) chars += (c & 0xC0) != 0x80;
  if (chars < width) text.append(width - chars, ' ');
  return text;
}

}  // namespace qv
