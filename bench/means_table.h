// The table of genotype means the table benchmarks work on: 600 genotypes × 600 environments
// (the program's capacity), two code fields and two responses, one with some blanks.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "tables/datatable.h"

namespace qv::bench {

constexpr int kGenotypes = 600;
constexpr int kEnvironments = 600;

// Writes the table at path (its format from the extension), in one write.
inline void WriteMeansTable(const std::string& path) {
  TDataTable t;
  t.SetName(path);
  t.DefineFields({{"gen", FieldType::Float, 0},
                  {"env", FieldType::Float, 0},
                  {"prod", FieldType::Float, 0},
                  {"altura", FieldType::Float, 0}});
  t.CreateTable();
  t.Open();
  t.BeginBatch();
  for (int g = 1; g <= kGenotypes; ++g) {
    for (int e = 1; e <= kEnvironments; ++e) {
      t.Append();
      t.SetValue(0, TValue::Number(g));
      t.SetValue(1, TValue::Number(e));
      t.SetValue(2, TValue::Number(3.0 + g / 7.0 - e / 13.0));
      if ((g + e) % 17 != 0) t.SetValue(3, TValue::Number(1.0 / (g + e)));  // some blanks
      t.Post();
    }
  }
  t.EndBatch();
}

// The benchmark's own folder for its tables (removed by its main at the end).
inline std::filesystem::path BenchDir() {
  static const std::filesystem::path dir = [] {
    const std::filesystem::path d =
        std::filesystem::temp_directory_path() / ("qv-bench-tables-" + std::to_string(getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

// The 600 × 600 table of a format (".db", ".dbf", ".csv"), written on first use; its path.
inline const std::string& MeansTable(const std::string& extension) {
  static std::map<std::string, std::string> written;
  auto it = written.find(extension);
  if (it != written.end()) return it->second;
  const std::string path = (BenchDir() / ("medias" + extension)).string();
  WriteMeansTable(path);
  return written.emplace(extension, path).first->second;
}

// A fresh copy of the format's table, for the operations that change it.
inline std::string FreshMeansTable(const std::string& extension) {
  const std::string copy = (BenchDir() / ("copia" + extension)).string();
  std::filesystem::copy_file(MeansTable(extension), copy,
                             std::filesystem::copy_options::overwrite_existing);
  return copy;
}

}  // namespace qv::bench
