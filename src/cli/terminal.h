// Text on the terminal. Message boxes separate their lines with a lone carriage return, which a
// terminal needs as a newline; and a message may quote a table's text (a field name, a cell, a
// file's name), whose control characters (an escape sequence, a carriage return) must not reach
// the terminal: they become "?".
#pragma once

#include <string>

namespace qv {

// A message for stderr: its lone "\r" become newlines, other control characters "?".
std::string ForTerminal(std::string text);
// A text from a file (a name, a label) on one line: every control character becomes "?".
std::string Printable(const std::string& text);

}  // namespace qv
