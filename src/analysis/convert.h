// Conversion of the dialog entries to numbers.
//
// Leading blanks are skipped, then an optional sign and digits. The real form also takes a
// decimal point (always ".", whatever the system's locale) and an exponent; the integer form
// also takes hexadecimal written "$1F" or "0x1F". An empty entry, a decimal comma, or any
// character left over (a trailing blank included) is a failure, so a mistyped value never
// reaches the data.
#pragma once

#include <cstdint>
#include <string_view>

namespace qv {

bool ConvertInteger(std::string_view text, std::int32_t& value);
bool ConvertReal(std::string_view text, double& value);

}  // namespace qv
