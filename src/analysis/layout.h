// Number layouts of the report. Every column of every table is written by one of these four
// rules, so a report can be read (and compared with a textbook) column by column:
//
//   Int(w)      whole number right-aligned in w characters
//   Fixed(w,d)  fixed point with d decimals, right-aligned in w characters
//   Exp(w)      " d.ddddE+dddd" with w - 8 significant digits
//   General     up to 15 significant digits, fixed or exponent form, no padding
//
// A number wider than its field takes the room it needs and shifts the rest of the line.
// The decimal separator is always "." except in General, which takes the caller's.
#pragma once

#include <string>

namespace qv {

std::string Int(long long value, int width);
std::string Fixed(long double value, int width, int decimals);
std::string Exp(long double value, int width);
std::string General(long double value, char decimalSeparator = '.');

// Int and Fixed appended to out, the same text without a string of its own: for the tables of
// many rows (Plaisted & Peterson's has one per pair of genotypes).
void AppendInt(std::string& out, long long value, int width);
void AppendFixed(std::string& out, long double value, int width, int decimals);

namespace detail {
// Fixed by big-integer arithmetic for every value; Fixed takes a 128-bit shortcut where the
// value allows it. The tests hold the two to the same text.
std::string FixedExact(long double value, int width, int decimals);
}  // namespace detail

// The separator line of the report tables, without its line end.
inline constexpr int kSeparatorWidth = 78;
std::string Separator(int width = kSeparatorWidth);

// Pads a label with blanks on the right to the given width in characters (labels of rows).
std::string PadRight(std::string text, std::size_t width);

}  // namespace qv
