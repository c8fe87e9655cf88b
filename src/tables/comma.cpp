#include "tables/comma.h"

#include <charconv>
#include <system_error>

namespace qv {

namespace {

// What a byte becomes in a cleaned line (the three replacement steps at once).
constexpr char Cleaned(char c) {
  const auto code = static_cast<unsigned char>(c);
  if (c == 'E') return 'e';
  if (c == 'e') return c;
  if ((code >= 33 && code <= 44) || code == 47 || code >= 58) return ' ';
  return c;
}

bool Separates(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The decimal magnitude of a well-formed number that from_chars found out of range: positive
// when it is too large (at least 1 in magnitude), otherwise it is too small.
long long DecimalExponent(std::string_view token) {
  if (!token.empty() && token.front() == '-') token.remove_prefix(1);
  const std::size_t e = token.find('e');
  const std::string_view mantissa = token.substr(0, e);
  long long exponent = 0;
  if (e != std::string_view::npos) {
    std::string_view digits = token.substr(e + 1);
    const bool negative = !digits.empty() && digits.front() == '-';
    if (negative) digits.remove_prefix(1);
    for (const char c : digits) {
      exponent = exponent * 10 + (c - '0');
      if (exponent > 1'000'000'000) break;  // far beyond any real's range either way
    }
    if (negative) exponent = -exponent;
  }
  const std::size_t point = mantissa.find('.');
  const std::string_view whole = mantissa.substr(0, point);
  const std::size_t firstNonZero = whole.find_first_not_of('0');
  if (firstNonZero != std::string_view::npos) {
    return exponent + static_cast<long long>(whole.size() - firstNonZero);
  }
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : mantissa.substr(point + 1);
  const std::size_t zeros = fraction.find_first_not_of('0');
  return exponent - static_cast<long long>(zeros == std::string_view::npos ? 0 : zeros);
}

}  // namespace

void AppendCleanImportLine(std::string_view line, std::string& out) {
  const std::size_t start = out.size();
  for (const char raw : line) {
    const char c = Cleaned(raw);
    // A blank at the start, or after another blank, is dropped: leading blanks go and runs of
    // blanks become one.
    if (c == ' ' && (out.size() == start || out.back() == ' ')) continue;
    out.push_back(c);
  }
}

std::string CleanImportLine(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  AppendCleanImportLine(line, out);
  return out;
}

std::size_t CountTokens(std::string_view line) {
  std::size_t tokens = 0;
  bool inToken = false;
  for (const char c : line) {
    if (c == ' ') {
      inToken = false;
    } else if (!inToken) {
      inToken = true;
      ++tokens;
    }
  }
  return tokens;
}

TImportNumber ReadImportNumber(std::string_view token, double& value) {
  // from_chars alone would also take "inf", "nan" and hexadecimal digits after "0x"; a number
  // starts with a digit or the point, after at most one "-".
  const std::size_t first = !token.empty() && token.front() == '-' ? 1 : 0;
  if (first >= token.size() || !(IsDigit(token[first]) || token[first] == '.')) {
    return TImportNumber::NotANumber;
  }
  for (const char c : token) {
    if (!IsDigit(c) && c != '-' && c != '.' && c != 'e' && c != 'E') {
      return TImportNumber::NotANumber;
    }
  }
  const char* end = token.data() + token.size();
  double parsed = 0.0;
  const auto [ptr, ec] = std::from_chars(token.data(), end, parsed, std::chars_format::general);
  if (ptr != end) return TImportNumber::NotANumber;
  if (ec == std::errc::result_out_of_range) {
    if (DecimalExponent(token) > 0) return TImportNumber::Overflow;
    value = 0.0;  // below the smallest subnormal: the nearest real is zero
    return TImportNumber::Ok;
  }
  if (ec != std::errc()) return TImportNumber::NotANumber;
  value = parsed;
  return TImportNumber::Ok;
}

TImportRecords ReadImportRecords(std::string_view text, std::size_t columns) {
  TImportRecords r;
  r.columns = columns;
  r.numbers.resize(columns);
  r.blank.resize(columns);
  if (columns == 0) return r;
  std::size_t pos = 0;
  std::size_t line = 1;
  const std::size_t size = text.size();
  while (pos < size) {
    std::size_t got = 0;
    for (; got < columns; ++got) {
      while (pos < size && Separates(text[pos])) {
        if (text[pos] == '\n') ++line;
        ++pos;
      }
      if (pos >= size) break;
      const std::size_t start = pos;
      while (pos < size && !Separates(text[pos])) ++pos;
      const std::string_view token = text.substr(start, pos - start);
      double value = 0.0;
      const TImportNumber read = ReadImportNumber(token, value);
      if (read != TImportNumber::Ok) {
        // The record this token belongs to is not kept: drop the values it already took.
        for (std::size_t j = 0; j < got; ++j) {
          r.numbers[j].pop_back();
          r.blank[j].pop_back();
        }
        r.stop = read == TImportNumber::Overflow ? TImportRecords::TStop::Overflow
                                                 : TImportRecords::TStop::NotANumber;
        r.stopLine = line;
        r.stopToken = std::string(token);
        return r;
      }
      r.numbers[got].push_back(value);
      r.blank[got].push_back(false);
    }
    if (got == 0) break;  // only blank lines were left: no record
    if (got < columns) {
      r.missingAtEnd = columns - got;
      for (std::size_t j = got; j < columns; ++j) {
        r.numbers[j].push_back(0.0);
        r.blank[j].push_back(true);
      }
    }
    ++r.records;
    // The rest of the line of the record's last number is skipped.
    while (pos < size && text[pos] != '\n') ++pos;
    if (pos < size) {
      ++pos;
      ++line;
    }
  }
  return r;
}

}  // namespace qv
