#include "tables/legend.h"

#include <cmath>
#include <filesystem>

#include "tables/datatable.h"
#include "tables/realtext.h"
#include "tables/tableerror.h"

namespace qv {

namespace {

std::string Text(const TValue& value) {
  if (value.IsText()) return value.AsText();
  if (value.IsNumber()) return FormatReal(value.AsNumber());
  return {};
}

}  // namespace

std::string LegendPath(const std::string& tablePath) {
  std::filesystem::path p(tablePath);
  p.replace_extension(".legend.csv");
  return p.string();
}

TCodeLegend ReadLegend(const std::string& path) {
  TDataTable table;
  table.SetName(path);
  table.SetType(TableType::Csv);
  table.Open();
  int column = -1, code = -1, label = -1;
  for (int f = 0; f < table.FieldCount(); ++f) {
    const std::string& name = table.FieldName(f);
    if (name == "column") column = f;
    if (name == "code") code = f;
    if (name == "label") label = f;
  }
  if (column < 0 || code < 0 || label < 0) {
    detail::ThrowTableError(path, "a legenda deve ter os campos column, code e label.");
  }
  TCodeLegend legend;
  for (std::size_t r = 0; r < table.RecordCount(); ++r) {
    double number = 0;
    if (!table.ValueAt(r, code).ToReal(number) || number != std::floor(number) ||
        std::fabs(number) > 1e15) {
      continue;
    }
    legend[Text(table.ValueAt(r, column))][static_cast<long long>(number)] =
        Text(table.ValueAt(r, label));
  }
  return legend;
}

}  // namespace qv
