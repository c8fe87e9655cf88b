#include "cli/trialconvert.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "analysis/layout.h"
#include "analysis/plotdata.h"
#include "cli/terminal.h"

namespace qv {

namespace {

constexpr int kTextSize = 30;

// A text field whose every value reads as a number under --decimal-comma (and has at least one).
bool AllDecimalComma(const TDataTable& in, int field) {
  bool any = false;
  for (std::size_t r = 0; r < in.RecordCount(); ++r) {
    const TValue v = in.ValueAt(r, field);
    if (v.IsBlank()) continue;
    double x = 0.0;
    if (!ValueAsReal(v, true, x)) return false;
    any = true;
  }
  return any;
}

// Whether a field holds numbers for the conversion: a numeric field, or a text field of
// decimal-comma numbers.
std::vector<bool> NumericFields(const TDataTable& in, const TTrialConvert& c) {
  std::vector<bool> numeric(static_cast<std::size_t>(in.FieldCount()));
  for (int i = 0; i < in.FieldCount(); ++i) {
    const bool text =
        in.GetFieldType(i) == FieldType::String || in.GetFieldType(i) == FieldType::Other;
    numeric[static_cast<std::size_t>(i)] = !text || (c.decimalComma && AllDecimalComma(in, i));
  }
  return numeric;
}

// A field's values as a column of the new table: numbers for a numeric field (decimal commas
// read), texts otherwise.
TColumnValues CopyColumn(const TDataTable& in, int field, bool numeric, bool decimalComma) {
  TColumnValues column;
  const std::size_t n = in.RecordCount();
  if (!numeric) {
    column.texts.reserve(n);
    for (std::size_t r = 0; r < n; ++r) column.texts.push_back(in.ValueAt(r, field).AsText());
    return column;
  }
  column.numbers.resize(n);
  column.blank.resize(n);
  for (std::size_t r = 0; r < n; ++r) {
    const TValue v = in.ValueAt(r, field);
    double x = 0.0;
    column.blank[r] = v.IsBlank() || !ValueAsReal(v, decimalComma, x);
    column.numbers[r] = x;
  }
  return column;
}

TColumnValues CodeColumn(const TLevels& levels) {
  TColumnValues column;
  column.numbers.assign(levels.code.begin(), levels.code.end());
  return column;
}

// The field of a code column in the new table: a real field of codes when recoded, otherwise
// the input's field.
FieldDef CodeField(const TDataTable& in, int field, bool recode) {
  if (recode) return {in.FieldName(field), FieldType::Float, 0};
  return in.Field(field);
}

// The cells' values of a code column that is not recoded: the level's original value.
TColumnValues LevelValues(const TLevels& levels, const std::vector<std::uint32_t>& cells,
                          const FieldDef& field) {
  TColumnValues column;
  const bool text = field.type == FieldType::String || field.type == FieldType::Other;
  for (const std::uint32_t level : cells) {
    const TValue& v = levels.values[level];
    if (text) {
      column.texts.push_back(LabelText(v));
    } else {
      column.numbers.push_back(v.AsNumber());
    }
  }
  return column;
}

void WriteLegend(const std::string& path, const TDataTable& in, int genotype, int environment,
                 const TLevels& genotypes, const TLevels& environments) {
  TColumnValues column, code, label;
  std::size_t longest = kTextSize;
  for (const auto& [field, levels] :
       {std::pair{genotype, &genotypes}, std::pair{environment, &environments}}) {
    for (std::size_t k = 0; k < levels->labels.size(); ++k) {
      column.texts.push_back(in.FieldName(field));
      code.numbers.push_back(static_cast<double>(k + 1));
      label.texts.push_back(levels->labels[k]);
      longest = std::max(longest, levels->labels[k].size());
    }
  }
  TDataTable legend;
  legend.SetName(path);
  legend.SetType(TableType::Csv);
  legend.DefineFields({{"column", FieldType::String, kTextSize},
                       {"code", FieldType::Float, 0},
                       {"label", FieldType::String, static_cast<int>(longest)}});
  legend.CreateTable({std::move(column), std::move(code), std::move(label)});
}

std::string Quoted(const std::string& text) {
  return "\"" + Printable(text) + "\"";
}

// The line of the pooled residual of one response, and its part of the parameters line.
void ReportResidual(const TDataTable& in, const TTrialConvert& c, const TLevels& genotypes,
                    const TLevels& environments, const TLevels& blocks,
                    const TCellMeans::TResponse& response, std::ostream& out, std::ostream& err,
                    std::string& parameters) {
  const std::string name = in.FieldName(response.field);
  const TPooledResidual residual = PooledBlockResidual(
      PlotsOf(in, genotypes, environments, blocks, response.field, c.decimalComma),
      environments.labels.size());
  const bool balanced = response.minPlots == response.maxPlots;
  out << Printable(name) << ": ";
  if (balanced) {
    out << "r = " << response.minPlots;
  } else {
    out << "de " << response.minPlots << " a " << response.maxPlots << " parcelas por célula";
  }
  if (residual.df <= 0) {
    out << "; sem graus de liberdade no resíduo (gle = " << residual.df
        << "): cada genótipo precisa de mais de um bloco no ambiente.\n";
    return;
  }
  out << "; QME = " << General(residual.qme) << " e gle = " << residual.df << " (blocos "
      << Quoted(in.FieldName(c.block)) << " dentro dos ambientes)\n";
  parameters += " --var " + Printable(name) + ":gle=" + std::to_string(residual.df) +
                ",qme=" + General(residual.qme) + ",r=" + std::to_string(response.maxPlots);
  if (!balanced) {
    err << "Atenção: " << Printable(name) << " tem células com números diferentes de parcelas "
        << "(parcelas perdidas): as médias são as das parcelas presentes, e o QME e o gle vêm "
           "do ajuste por mínimos quadrados dos blocos e genótipos em cada ambiente. As análises "
           "usam um só r; nos parâmetros vai o das células completas, "
        << response.maxPlots << ".\n";
  }
  if (residual.disconnectedEnvironments > 0) {
    err << "Atenção: " << Printable(name) << ": em " << residual.disconnectedEnvironments
        << " ambiente(s) há blocos sem nenhum genótipo em comum; o resíduo conta só o que é "
           "estimável.\n";
  }
}

// Writes the table of cell means; prints its line and the warnings of missing values.
TCellMeans ConvertMeans(const TDataTable& in, const std::string& outPath, TableType type,
                        const TTrialConvert& c, const TLevels& genotypes,
                        const TLevels& environments, std::ostream& out, std::ostream& err) {
  const std::vector<bool> numeric = NumericFields(in, c);
  std::vector<int> responses;
  for (int i = 0; i < in.FieldCount(); ++i) {
    if (i == c.genotype || i == c.environment || i == c.block) continue;
    if (numeric[static_cast<std::size_t>(i)]) {
      responses.push_back(i);
    } else {
      err << "Atenção: o campo de texto " << Quoted(in.FieldName(i))
          << " ficou fora da tabela de médias.\n";
    }
  }
  const TCellMeans means = CellMeans(in, genotypes, environments, responses, c.decimalComma);

  std::vector<FieldDef> fields = {CodeField(in, c.genotype, c.recode),
                                  CodeField(in, c.environment, c.recode)};
  std::vector<TColumnValues> columns(2);
  if (c.recode) {
    for (const std::uint32_t level : means.genotype) columns[0].numbers.push_back(level + 1.0);
    for (const std::uint32_t level : means.environment) columns[1].numbers.push_back(level + 1.0);
  } else {
    columns[0] = LevelValues(genotypes, means.genotype, fields[0]);
    columns[1] = LevelValues(environments, means.environment, fields[1]);
  }
  for (const TCellMeans::TResponse& response : means.responses) {
    fields.push_back({in.FieldName(response.field), FieldType::Float, 0});
    TColumnValues column;
    column.numbers = response.mean;
    column.blank.resize(column.numbers.size());
    for (std::size_t k = 0; k < column.numbers.size(); ++k) {
      column.blank[k] = std::isnan(column.numbers[k]);
      if (column.blank[k]) column.numbers[k] = 0.0;
    }
    columns.push_back(std::move(column));
  }
  TDataTable table;
  table.SetName(outPath);
  table.SetType(type);
  table.DefineFields(fields);
  table.CreateTable(std::move(columns));

  const std::size_t cells = means.genotype.size();
  out << Printable(outPath) << ": " << cells << " registros e " << fields.size()
      << " campos gravados, as médias de " << means.plots << " parcelas.\n";
  if (means.missingCells > 0) {
    const auto [g, e] = means.missingExamples.front();
    err << "Atenção: falta" << (means.missingCells == 1 ? " " : "m ") << means.missingCells
        << " das " << genotypes.labels.size() * environments.labels.size()
        << " células (genótipo e ambiente sem nenhuma parcela), "
        << (means.missingCells == 1 ? "" : "por exemplo ") << "o genótipo "
        << Quoted(genotypes.labels[g]) << " no ambiente " << Quoted(environments.labels[e])
        << "; as análises pedem um registro de cada genótipo em cada ambiente.\n";
  }
  for (const TCellMeans::TResponse& response : means.responses) {
    const auto empty =
        static_cast<std::size_t>(std::count(response.plots.begin(), response.plots.end(), 0u));
    if (empty > 0) {
      err << "Atenção: " << Printable(in.FieldName(response.field)) << ": " << empty
          << " célula(s) sem nenhum valor ficaram em branco.\n";
    }
  }

  return means;
}

}  // namespace

void ConvertTrial(const TDataTable& in, const std::string& outPath, TableType type,
                  const TTrialConvert& c, std::ostream& out, std::ostream& err) {
  TLevels genotypes, environments;
  if (c.recode || c.means) {
    genotypes = CodeLevels(in, c.genotype);
    environments = CodeLevels(in, c.environment);
  }
  TCellMeans means;
  if (c.means) {
    means = ConvertMeans(in, outPath, type, c, genotypes, environments, out, err);
  } else {
    const std::vector<bool> numeric = NumericFields(in, c);
    std::vector<FieldDef> fields;
    std::vector<TColumnValues> columns;
    for (int i = 0; i < in.FieldCount(); ++i) {
      if (c.recode && (i == c.genotype || i == c.environment)) {
        fields.push_back({in.FieldName(i), FieldType::Float, 0});
        columns.push_back(CodeColumn(i == c.genotype ? genotypes : environments));
        continue;
      }
      FieldDef f = in.Field(i);
      const bool isNumeric = numeric[static_cast<std::size_t>(i)];
      if (isNumeric && (f.type == FieldType::String || f.type == FieldType::Other)) {
        f = {f.name, FieldType::Float, 0};
      }
      fields.push_back(f);
      columns.push_back(CopyColumn(in, i, isNumeric, c.decimalComma));
    }
    TDataTable table;
    table.SetName(outPath);
    table.SetType(type);
    table.DefineFields(fields);
    table.CreateTable(std::move(columns));
    out << Printable(outPath) << ": " << in.RecordCount() << " registros e " << fields.size()
        << " campos gravados.\n";
  }
  if (!c.recode && !c.means) return;
  out << "Genótipos (" << Quoted(in.FieldName(c.genotype)) << "): g = " << genotypes.labels.size()
      << "\nAmbientes (" << Quoted(in.FieldName(c.environment))
      << "): a = " << environments.labels.size() << '\n';
  if (c.recode) {
    const std::string legend = LegendPath(outPath);
    WriteLegend(legend, in, c.genotype, c.environment, genotypes, environments);
    out << "Legenda dos códigos: " << Printable(legend) << '\n';
  }
  if (!c.means || c.block < 0) return;
  const TLevels blocks = CodeLevels(in, c.block);
  std::string parameters;
  for (const TCellMeans::TResponse& response : means.responses) {
    ReportResidual(in, c, genotypes, environments, blocks, response, out, err, parameters);
  }
  out << "Parâmetros da análise: -g " << genotypes.labels.size() << " -a "
      << environments.labels.size() << parameters << '\n';
}

}  // namespace qv
