// Helpers of the method tests: a small CSV table in a temporary folder, run through the
// scripted host of the run's tests, and golden reports read byte for byte.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "../analysis/scripted_host.h"
#include "analysis/host.h"

namespace qv::testing {

inline std::string ReadBinary(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline std::string Golden(const std::string& name) {
  return ReadBinary(std::filesystem::path(QV_GOLDEN_DIR) / name);
}

// A CSV table in a folder of its own, removed with the object; the host's file dialog
// chooses it.
class TempTable {
 public:
  TempTable(const std::string& csv, ScriptedHost& host) {
    static int serial = 0;
    dir_ = std::filesystem::temp_directory_path() /
           ("qv_methods_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    std::filesystem::create_directories(dir_);
    const auto path = dir_ / "t.csv";
    std::ofstream(path, std::ios::binary) << csv;
    host.file = path.string();
  }
  ~TempTable() { std::filesystem::remove_all(dir_); }
  TempTable(const TempTable&) = delete;
  TempTable& operator=(const TempTable&) = delete;

 private:
  std::filesystem::path dir_;
};

// A genotype-by-environment table as CSV rows "gen,env,<value>" from a row-major matrix.
inline std::string GxeCsv(int g, int a, const std::vector<std::string>& cells,
                          const std::string& header = "gen,env,yield") {
  std::string csv = header + "\n";
  for (int i = 1; i <= g; ++i) {
    for (int j = 1; j <= a; ++j) {
      csv += std::to_string(i) + "," + std::to_string(j) + "," +
             cells[static_cast<std::size_t>((i - 1) * a + (j - 1))] + "\n";
    }
  }
  return csv;
}

// The worked tables of the closed-form method tests, cells row by row for GxeCsv: 2 genotypes
// x 2 environments, and 4 x 5 with a tie for the best response of environment 3 (60.7).
inline const std::vector<std::string> k2x2 = {"10", "12", "14", "20"};
inline const std::vector<std::string> k4x5 = {
    "52.3", "48.1", "60.7", "55.0", "49.9", "50.8", "51.2", "58.4", "57.3", "47.5",
    "47.6", "53.9", "60.7", "52.1", "51.0", "55.1", "46.4", "57.9", "59.8", "50.6"};

// Whether a text shows a non-finite number, as the layouts ("Nan", "+Inf", "-Inf") or the C
// library ("nan", "inf") would write it.
inline bool HasNonFinite(const std::string& text) {
  static const std::regex number(R"((^|[\s+-])(nan|inf)\b)", std::regex::icase);
  return std::regex_search(text, number);
}

}  // namespace qv::testing
