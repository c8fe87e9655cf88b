// quorvandelia-cli table ...: the table manager's operations without a window, for scripts and
// tests: a table's description, conversion between the three formats (and of trial files into
// tables of means, cli/trialconvert.h), adding, deleting and renaming fields, deleting records. They are the operations of TDataTable, so every change is
// written as the window writes it (the safe rewrite: the file is never left half written).
//
// Exit status as for analyze: 0 success; 1 a table that cannot be read or written (the file
// layer's message on stderr); 2 bad usage (an unknown field, a record that does not exist, a
// refused name, an output that is the input table); 3 standard output refused the text.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/trialconvert.h"

namespace CLI {
class App;
}

namespace qv {

class TTableCommands {
 public:
  // Adds the "table" command and its subcommands to app.
  explicit TTableCommands(CLI::App& app);

  // Whether the parsed command line chose "table".
  bool Chosen() const;
  int Run(std::ostream& out, std::ostream& err) const;

 private:
  // The options of a trial conversion, checked against the input table (throws TUsageError).
  TTrialConvert TrialOptions(const TDataTable& t) const;

  CLI::App* table_;
  CLI::App* info_;
  CLI::App* convert_;
  CLI::App* addField_;
  CLI::App* deleteField_;
  CLI::App* renameField_;
  CLI::App* deleteRecords_;
  std::string path_, output_;
  std::vector<std::string> items_;
  // table convert's options for trial files (cli/trialconvert.h)
  std::vector<std::string> recode_;
  std::string block_, genotypeColumn_, environmentColumn_;
  bool means_ = false, decimalComma_ = false;
};

}  // namespace qv
