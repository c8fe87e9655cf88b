#include "plots/labels.h"

#include <filesystem>
#include <system_error>

#include "tables/legend.h"
#include "tables/tableerror.h"

namespace qv::plots {

namespace {

std::string Named(const std::map<int, std::string>& names, int code) {
  const auto it = names.find(code);
  return it != names.end() && !it->second.empty() ? it->second : std::to_string(code);
}

std::map<int, std::string> ColumnNames(const TCodeLegend& legend, const std::string& column) {
  std::map<int, std::string> names;
  const auto it = legend.find(column);
  if (it == legend.end()) return names;
  for (const auto& [code, label] : it->second) {
    if (code >= 1 && code <= 1000000) names[static_cast<int>(code)] = label;
  }
  return names;
}

}  // namespace

std::string TPlotLabels::Genotype(int i) const {
  return Named(genotypes, i);
}

std::string TPlotLabels::Environment(int j) const {
  return Named(environments, j);
}

TPlotLabelsRead LabelsForTable(const TDataTable& table, const TAnalysisParams& params) {
  TPlotLabelsRead read;
  if (table.Name().empty()) return read;
  const std::string path = LegendPath(table.Name());
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return read;
  const auto& fields = table.FieldDefs();
  const auto fieldName = [&](int column) {
    return column >= 1 && column <= static_cast<int>(fields.size())
               ? fields[static_cast<std::size_t>(column - 1)].name
               : std::string();
  };
  try {
    const TCodeLegend legend = ReadLegend(path);
    read.labels.genotypes = ColumnNames(legend, fieldName(params.colGenot));
    read.labels.environments = ColumnNames(legend, fieldName(params.colAmb));
  } catch (const TableError& e) {
    read.warning = std::string("A legenda dos códigos não foi usada nos gráficos: ") + e.what();
  }
  return read;
}

}  // namespace qv::plots
