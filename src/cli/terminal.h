// Text on the terminal. Message boxes separate their lines with a lone carriage return, which a
// terminal needs as a newline; and a message may quote a table's text (a field name, a cell),
// whose control characters (an escape sequence, a carriage return) must not reach the
// terminal: they become "?".
#pragma once

#include <string>

#include "analysis/printable.h"

namespace qv {

inline std::string ForTerminal(std::string text) {
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  return PrintableText(text, "\n");
}

}  // namespace qv
