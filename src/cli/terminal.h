// Texts shown on a terminal by the table commands of the command line.
#pragma once

#include <string>

namespace qv {

// A message for stderr: message boxes separate their lines with a lone "\r", which becomes a
// newline; other control characters (from a table's field names or a file's text) would move
// the cursor or forge lines, so they become "?".
std::string ForTerminal(std::string text);
// A text from a file (a name, a label) on one line: every control character becomes "?".
std::string Printable(std::string text);

}  // namespace qv
