#include "cli/terminal.h"

namespace qv {

std::string ForTerminal(std::string text) {
  for (char& c : text) {
    if (c == '\r') {
      c = '\n';
    } else if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) {
      c = '?';
    }
  }
  return text;
}

std::string Printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

}  // namespace qv
