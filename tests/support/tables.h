// Tables of genotype means for the tests that go through the run: a CSV file in a temporary
// folder, chosen by the scripted host's file dialog.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/scripted_host.h"

namespace qv::testing {

// A CSV table in a folder of its own, removed with the object; the host's file dialog
// chooses it.
class TempTable {
 public:
  TempTable(const std::string& csv, ScriptedHost& host);
  ~TempTable();
  TempTable(const TempTable&) = delete;
  TempTable& operator=(const TempTable&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path dir_, path_;
};

// A genotype-by-environment table as CSV rows "gen,env,<value>" from a row-major matrix.
std::string GxeCsv(int g, int a, const std::vector<std::string>& cells,
                   const std::string& header = "gen,env,yield");

// The worked tables of the closed-form method tests, cells row by row for GxeCsv: 2 genotypes
// x 2 environments, and 4 x 5 with a tie for the best response of environment 3 (60.7).
inline const std::vector<std::string> k2x2 = {"10", "12", "14", "20"};
inline const std::vector<std::string> k4x5 = {
    "52.3", "48.1", "60.7", "55.0", "49.9", "50.8", "51.2", "58.4", "57.3", "47.5",
    "47.6", "53.9", "60.7", "52.1", "51.0", "55.1", "46.4", "57.9", "59.8", "50.6"};

}  // namespace qv::testing
