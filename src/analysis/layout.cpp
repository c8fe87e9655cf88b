#include "analysis/layout.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

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

// The value's decimal digits, all of them, and its decimal exponent: value =
// 0.d1d2d3... x 10^exponent. Every 80-bit value is m 2^e with a 64-bit integer m, so its decimal
// expansion is finite: the digits of m 2^e when e >= 0, and of m 5^-e with the point moved -e
// places when e < 0 (m 2^e = m 5^-e / 10^-e). They are formed exactly, in big-integer
// arithmetic, so that a value is rounded once, from its exact binary value: rounding an
// 18-digit image first would print zeros for the digits of large integers past the 18th, and
// would round a value just below a tie (0.12345649999999999999 to six decimals) twice, upward.
struct Decimal {
  bool negative = false;
  std::string digits;  // no leading or trailing zeros; "" for zero
  int exponent = 0;
};

// A non-negative integer in base 10^9, least significant limb first.
class BigDecimal {
 public:
  explicit BigDecimal(std::uint64_t m) {
    while (m > 0) {
      limbs_.push_back(static_cast<std::uint32_t>(m % kBase));
      m /= kBase;
    }
  }
  void Multiply(std::uint32_t factor) {  // factor < 2^32; limb * factor + carry < 2^64
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : limbs_) {
      const std::uint64_t x = static_cast<std::uint64_t>(limb) * factor + carry;
      limb = static_cast<std::uint32_t>(x % kBase);
      carry = x / kBase;
    }
    while (carry > 0) {
      limbs_.push_back(static_cast<std::uint32_t>(carry % kBase));
      carry /= kBase;
    }
  }
  void MultiplyByPower(std::uint32_t base, int power, std::uint32_t chunk, int chunkPower) {
    for (; power >= chunkPower; power -= chunkPower) Multiply(chunk);
    std::uint32_t rest = 1;
    for (; power > 0; --power) rest *= base;
    if (rest > 1) Multiply(rest);
  }
  std::string Digits() const {
    if (limbs_.empty()) return "";
    std::string s = std::to_string(limbs_.back());
    char buf[16];
    for (std::size_t k = limbs_.size() - 1; k-- > 0;) {
      std::snprintf(buf, sizeof buf, "%09u", static_cast<unsigned>(limbs_[k]));
      s += buf;
    }
    return s;
  }

 private:
  static constexpr std::uint64_t kBase = 1000000000;
  std::vector<std::uint32_t> limbs_;
};

Decimal ToDecimal(long double value) {
  Decimal d;
  d.negative = std::signbit(value);
  if (value == 0) return d;
  int e2 = 0;
  const long double fraction = std::frexp(std::fabs(value), &e2);  // in [0.5, 1)
  auto m = static_cast<std::uint64_t>(std::ldexp(fraction, 64));   // exact: 64 bits
  e2 -= 64;
  while ((m & 1) == 0) {  // fewer factors to multiply by
    m >>= 1;
    ++e2;
  }
  BigDecimal n(m);
  // 2^30 and 5^13 are the largest powers that keep a limb product below 2^64.
  if (e2 >= 0) {
    n.MultiplyByPower(2, e2, 1u << 30, 30);
  } else {
    n.MultiplyByPower(5, -e2, 1220703125u, 13);
  }
  std::string digits = n.Digits();
  // value = digits x 10^(min(e2, 0)) = 0.digits x 10^(size + min(e2, 0))
  d.exponent = static_cast<int>(digits.size()) + (e2 < 0 ? e2 : 0);
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  d.digits = std::move(digits);
  return d;
}

// Rounds the digits to keep `keep` of them (keep may be <= 0), half away from zero: the digits
// are exact, so the value is at or past the tie exactly when the first digit dropped is 5 or
// more.
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

// Fixed's usual case without the big integers: value = m 2^-k with a 64-bit m, so
// value 10^decimals = m 10^decimals / 2^k, exact in 128 bits for decimals <= 19; the quotient
// is the rounded figure's digits and the remainder says whether the dropped part is at or past
// the half. The same single rounding, half away from zero, from the exact binary value as the
// general path. False (nothing written) when the value does not fit: the general path then.
__extension__ typedef unsigned __int128 TUInt128;

// |value| = m 2^-k with the 64-bit m of the extended format: read from its bits for a normal
// value (frexp and ldexp are library calls on extended reals); false for zero and the subnormal
// values, which are left to frexp.
bool MantissaOf(long double value, std::uint64_t& m, int& k) {
  unsigned char bytes[sizeof(long double)];
  std::memcpy(bytes, &value, sizeof bytes);
  std::uint16_t signAndExponent = 0;
  std::memcpy(&m, bytes, sizeof m);
  std::memcpy(&signAndExponent, bytes + 8, sizeof signAndExponent);
  const int biased = signAndExponent & 0x7FFF;
  if (biased == 0 || biased == 0x7FFF || (m >> 63) == 0) return false;
  k = 16383 + 63 - biased;
  return true;
}

// Writes the figure ending at `end` and returns where it starts; nullptr when the value does not
// fit (then nothing is written and the general path is taken). buf must hold 64 characters.
char* FixedFast(long double value, int decimals, char* end) {
  if (decimals < 0 || decimals > 19) return nullptr;
  TUInt128 power = 1;
  for (int i = 0; i < decimals; ++i) power *= 10;
  std::uint64_t digits = 0;
  if (value != 0) {
    std::uint64_t m = 0;
    int k = 0;
    if (!MantissaOf(value, m, k)) {
      int e2 = 0;
      const long double fraction = std::frexp(std::fabs(value), &e2);
      m = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
      k = 64 - e2;  // |value| = m / 2^k
    }
    if (k <= 0) return nullptr;
    const TUInt128 scaled = static_cast<TUInt128>(m) * power;  // < 2^64 10^19 < 2^128
    TUInt128 q = 0;
    if (k < 128) {
      q = scaled >> k;
      const TUInt128 rest = scaled - (q << k);
      if (rest >= (static_cast<TUInt128>(1) << (k - 1))) ++q;
    } else if (k == 128) {
      // A value below 2^-64, as the covariances of parameters that hardly share anything are:
      // the quotient is 0, and the figure rounds to a unit in its last place at the half.
      q = scaled >> 127;
    }  // k > 128: scaled / 2^k < 2^127.2 / 2^129 < 1/2, a zero figure
    if (q >> 63) return nullptr;
    digits = static_cast<std::uint64_t>(q);
  }
  const auto scale = static_cast<std::uint64_t>(power);
  char* p = end;
  std::uint64_t frac = digits % scale;
  std::uint64_t whole = digits / scale;
  for (int i = 0; i < decimals; ++i) {
    *--p = static_cast<char>('0' + frac % 10);
    frac /= 10;
  }
  if (decimals > 0) *--p = '.';
  do {
    *--p = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole > 0);
  if (std::signbit(value)) *--p = '-';
  return p;
}

// Appends text right-aligned in width characters.
void AppendRightAligned(std::string& out, std::string_view text, int width) {
  if (width > 0 && static_cast<int>(text.size()) < width) {
    out.append(static_cast<std::size_t>(width) - text.size(), ' ');
  }
  out.append(text);
}

}  // namespace

void AppendInt(std::string& out, long long value, int width) {
  char buf[24];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  AppendRightAligned(out, std::string_view(buf, static_cast<std::size_t>(end - buf)), width);
}

void AppendFixed(std::string& out, long double value, int width, int decimals) {
  char buf[64];
  char* const end = buf + sizeof buf;
  if (std::isfinite(value) && std::fabs(value) < 1e36L) {
    if (const char* start = FixedFast(value, decimals, end)) {
      AppendRightAligned(out, std::string_view(start, static_cast<std::size_t>(end - start)),
                         width);
      return;
    }
  }
  out += Fixed(value, width, decimals);
}

std::string Int(long long value, int width) {
  return RightAlign(std::to_string(value), width);
}

std::string Fixed(long double value, int width, int decimals) {
  if (!std::isfinite(value)) return RightAlign(NonFinite(value), width);
  if (std::fabs(value) >= 1e36L) return Exp(value, width);
  char buf[64];
  char* const end = buf + sizeof buf;
  if (const char* start = FixedFast(value, decimals, end)) {
    return RightAlign(std::string(start, static_cast<std::size_t>(end - start)), width);
  }
  return detail::FixedExact(value, width, decimals);
}

std::string detail::FixedExact(long double value, int width, int decimals) {
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
