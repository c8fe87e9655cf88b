#include "support/tables.h"

#include <unistd.h>

#include <fstream>

namespace qv::testing {

TempTable::TempTable(const std::string& csv, ScriptedHost& host) {
  static int serial = 0;
  dir_ = std::filesystem::temp_directory_path() /
         ("qv_tests_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
  std::filesystem::create_directories(dir_);
  path_ = dir_ / "t.csv";
  std::ofstream(path_, std::ios::binary) << csv;
  host.file = path_.string();
}

TempTable::~TempTable() {
  std::filesystem::remove_all(dir_);
}

std::string GxeCsv(int g, int a, const std::vector<std::string>& cells, const std::string& header) {
  std::string csv = header + "\n";
  for (int i = 1; i <= g; ++i) {
    for (int j = 1; j <= a; ++j) {
      csv += std::to_string(i) + "," + std::to_string(j) + "," +
             cells[static_cast<std::size_t>((i - 1) * a + (j - 1))] + "\n";
    }
  }
  return csv;
}

}  // namespace qv::testing
