#include "cli/terminal.h"

#include "analysis/printable.h"

namespace qv {

std::string ForTerminal(std::string text) {
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  return PrintableText(text, "\n");
}

std::string Printable(const std::string& text) {
  return PrintableText(text);
}

}  // namespace qv
