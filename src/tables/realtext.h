// Reals as text, the same way in every table format and whatever the user's locale.
//
// The C library's strtod and printf follow LC_NUMERIC, and a Qt program on a Portuguese desktop
// runs with a decimal comma; a table read there must give the same numbers as anywhere else.
// These two functions use std::from_chars/std::to_chars, which never look at the locale.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// Reads a real written with "." as decimal point, an optional sign and an optional exponent.
// Blanks (spaces, tabs, line ends) around the number are allowed; anything else left over,
// an empty text, "inf", "nan", hexadecimal and values beyond the range of a double are not.
bool ParseReal(std::string_view text, double& out);

// Why a text that ParseReal refuses is not a number, as far as a message can help: a number
// written with a decimal comma ("1,5", as spreadsheets set to Portuguese write it), a number
// beyond the range of a double ("1e309"), a mark other programs write for a missing or
// undefined value ("NA", "NaN", "Inf", "#N/D"), or text of any other kind. The first three are
// numbers gone wrong: a CSV column of numbers that holds them is still a column of numbers.
enum class TNotAReal { Text, DecimalComma, OutOfRange, MissingMark };
TNotAReal WhyNotAReal(std::string_view text);

// The shortest text that ParseReal reads back to exactly the same double ("0.1", "1e-300",
// "-2.5e+17", "42"): fixed notation unless the exponent form is shorter.
std::string FormatReal(double value);
// FormatReal's text appended to out, without a string of its own (for writing many numbers).
void AppendReal(std::string& out, double value);

}  // namespace qv
