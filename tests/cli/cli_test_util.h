// Running the command line in-process from a test: arguments in, exit status and output out.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "support/golden.h"

namespace qv::testing {

struct CliResult {
  int status;
  std::string out, err;
};

inline CliResult Cli(std::vector<std::string> args) {
  args.insert(args.begin(), "quorvandelia-cli");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
  return {status, out.str(), err.str()};
}

}  // namespace qv::testing
