// The desktop program's command line: its own options, read before the window system starts
// (so that --help and --version work without a display).
#pragma once

#include <string>
#include <vector>

namespace qv::ui {

struct TCommandLine {
  bool help = false;
  bool version = false;
  bool showHiddenAnalyses = false;
  std::string error;  // an option the program does not know
};

// Reads the arguments left after the window system took its own (-platform, -style, ...).
TCommandLine ReadCommandLine(const std::vector<std::string>& arguments);
// Whether the arguments ask only for the help or the version (no window needed).
bool AsksHelpOrVersion(const std::vector<std::string>& arguments);
std::string HelpText();
std::string VersionText();

}  // namespace qv::ui
