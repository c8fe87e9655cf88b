// The largest report the program writes, for the benchmarks that read, write or show it:
// Plaisted & Peterson on a 600 x 600 table with two responses (359,400 pair rows, about
// 360,000 lines and 17 MB), made once by the command line from a CSV table.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "cli/cli.h"

namespace qv::bench {

inline const std::string& PlaistedReport() {
  static const std::string report = [] {
    namespace fs = std::filesystem;
    const fs::path table =
        fs::temp_directory_path() / ("qv-bench-plaisted-" + std::to_string(getpid()) + ".csv");
    {
      std::ofstream csv(table);
      csv << "gen,env,y1,y2\n";
      char line[96];
      for (int i = 1; i <= 600; ++i) {
        for (int j = 1; j <= 600; ++j) {
          std::snprintf(line, sizeof line, "%d,%d,%.6f,%.6f\n", i, j,
                        5 + 0.01 * i + 0.02 * j + std::sin(i * j), 100 + std::cos(i + 2.0 * j));
          csv << line;
        }
      }
    }
    const std::string path = table.string();
    const char* argv[] = {"quorvandelia-cli",
                          "analyze",
                          "--method",
                          "plaisted",
                          path.c_str(),
                          "-g",
                          "600",
                          "-a",
                          "600",
                          "-r",
                          "2",
                          "--qme",
                          "1"};
    std::ostringstream out, err;
    const int status = qv::RunCli(static_cast<int>(std::size(argv)), argv, out, err);
    fs::remove(table);
    if (status != 0) {
      std::fprintf(stderr, "the report could not be made: %s\n", err.str().c_str());
      std::exit(1);
    }
    return out.str();
  }();
  return report;
}

}  // namespace qv::bench
