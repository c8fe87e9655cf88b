// The rules of the canonical form (document.h) that the writer, the reader and Normalize share,
// so that a document written and read back is its own canonical form.
#pragma once

#include <string>
#include <string_view>

#include "richtext/document.h"

namespace qv::richtext::detail {

constexpr int kMaxHalfPoints = 3276;  // 1638 points, the largest size word processors accept

// C0 controls other than tab and line break: not part of a document's text.
bool IsDroppedControl(char32_t code);

// Text without dropped controls, invalid UTF-8 replaced by U+FFFD.
std::string CleanText(std::string_view text);

// True when some character survives CleanText.
bool HasText(std::string_view text);
bool HasText(const TParagraph& paragraph);

// A font name without controls, line breaks, tabs or surrounding blanks.
std::string CleanFontFamily(std::string_view family);

// A size in RTF half points (\fsN): rounded, within [1, kMaxHalfPoints]; 20 for a size that is
// not a finite positive number.
int HalfPoints(double pointSize);

TCharFormat CleanFormat(const TCharFormat& format);

}  // namespace qv::richtext::detail
