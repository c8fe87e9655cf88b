#include "cli/tablecli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <optional>

#include "analysis/plotdata.h"
#include "cli/terminal.h"
#include "cli/trialconvert.h"
#include "tables/datatable.h"
#include "tables/fieldnames.h"

namespace qv {
namespace {

constexpr int kUsage = 2;
constexpr int kFileError = 1;
constexpr int kNotWritten = 3;

// A refusal of the command line's arguments: exit status 2 with this message.
struct TUsageError {
  std::string message;
};

std::size_t Utf8Width(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string TypeText(const FieldDef& f) {
  switch (f.type) {
    case FieldType::Float:
      return "real";
    case FieldType::String:
      return "texto (" + std::to_string(f.size) + ")";
    case FieldType::Integer:
      return "inteiro";
    case FieldType::Currency:
      return "moeda";
    case FieldType::Date:
      return "data";
    case FieldType::Time:
      return "hora";
    case FieldType::Timestamp:
      return "data e hora";
    case FieldType::Logical:
      return "lógico";
    case FieldType::Other:
      break;
  }
  return "outro (memorando ou binário)";
}

// A whole-text number of 1 or more.
std::optional<std::size_t> PositiveNumber(std::string_view text) {
  std::size_t n = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || ptr != text.data() + text.size() || n == 0) return std::nullopt;
  return n;
}

TableType FormatOfName(const std::string& path) {
  const TableType type = TypeFromExtension(path);
  if (type != TableType::Auto) return type;
  throw TUsageError{"\"" + path + "\": o nome do arquivo deve terminar em .db (Paradox), .dbf " +
                    "(dBase) ou .csv"};
}

std::vector<std::string> FieldNames(const TDataTable& t) {
  std::vector<std::string> names;
  for (const FieldDef& f : t.Fields()) names.push_back(f.name);
  return names;
}

// A field by its name (as written, then in any letter case) or its 1-based number.
int FindField(const TDataTable& t, const std::string& which) {
  const std::vector<std::string> names = FieldNames(t);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == which) return static_cast<int>(i);
  }
  const auto lower = [](std::string s) {
    for (char& c : s) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
  };
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (lower(names[i]) == lower(which)) return static_cast<int>(i);
  }
  if (const auto n = PositiveNumber(which); n && *n <= names.size())
    return static_cast<int>(*n - 1);
  throw TUsageError{"a tabela não tem o campo \"" + Printable(which) + "\""};
}

// NAME, NAME:real, NAME:texto or NAME:texto:N (a text field of N characters; 30 without N).
FieldDef ParseFieldDefinition(const std::string& definition) {
  constexpr int kTextSize = 30;
  const auto endsWith = [&](std::string_view suffix) {
    return definition.size() > suffix.size() &&
           definition.compare(definition.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  if (endsWith(":real")) return {definition.substr(0, definition.size() - 5), FieldType::Float, 0};
  if (endsWith(":texto"))
    return {definition.substr(0, definition.size() - 6), FieldType::String, kTextSize};
  const std::size_t colon = definition.rfind(':');
  const std::size_t marker = definition.rfind(":texto:");
  if (marker != std::string::npos && marker + 6 == colon) {
    const auto size = PositiveNumber(std::string_view(definition).substr(colon + 1));
    if (!size || *size > 255) {
      throw TUsageError{"\"" + Printable(definition) +
                        "\": o tamanho de um campo de texto vai de 1 a 255"};
    }
    return {definition.substr(0, marker), FieldType::String, static_cast<int>(*size)};
  }
  return {definition, FieldType::Float, 0};
}

// "N", "N-M" and lists of them separated by commas; 1-based, as the grid numbers records.
std::vector<std::size_t> ParseRecords(const std::vector<std::string>& items, std::size_t count) {
  std::vector<std::size_t> records;
  for (const std::string& item : items) {
    std::size_t start = 0;
    while (start <= item.size()) {
      const std::size_t comma = std::min(item.find(',', start), item.size());
      const std::string_view part = std::string_view(item).substr(start, comma - start);
      const std::size_t dash = part.find('-');
      const auto first = PositiveNumber(part.substr(0, dash));
      const auto last =
          dash == std::string_view::npos ? first : PositiveNumber(part.substr(dash + 1));
      if (!first || !last || *last < *first) {
        throw TUsageError{"\"" + Printable(std::string(part)) +
                          "\" não é um número de registro nem um intervalo N-M"};
      }
      if (*last > count) {
        throw TUsageError{"o registro " + std::to_string(*last) + " não existe (a tabela tem " +
                          std::to_string(count) + " registros)"};
      }
      for (std::size_t r = *first; r <= *last; ++r) records.push_back(r - 1);
      start = comma + 1;
    }
  }
  return records;
}

void OpenTable(TDataTable& t, const std::string& path) {
  t.SetName(path);
  FormatOfName(path);
  t.Open();
}

void Info(const TDataTable& t, std::ostream& out) {
  out << "Tabela: " << Printable(t.Name()) << '\n'
      << "Formato: " << t.FormatName() << '\n'
      << "Código de página: " << t.CodePage() << '\n'
      << "Registros: " << t.RecordCount() << '\n'
      << "Campos: " << t.FieldCount() << '\n';
  std::size_t width = 0;
  for (const FieldDef& f : t.Fields()) width = std::max(width, Utf8Width(Printable(f.name)));
  const std::size_t numberWidth = std::to_string(t.FieldCount()).size();
  for (int i = 0; i < t.FieldCount(); ++i) {
    const std::string number = std::to_string(i + 1);
    const std::string name = Printable(t.FieldName(i));
    out << "  " << std::string(numberWidth - number.size(), ' ') << number << "  " << name
        << std::string(width - Utf8Width(name), ' ') << "  " << TypeText(t.Field(i)) << '\n';
  }
}

}  // namespace

TTableCommands::TTableCommands(CLI::App& app) {
  table_ =
      app.add_subcommand("table", "Opera sobre tabelas: descrição, conversão, campos e registros.");
  table_->require_subcommand(1);
  table_->footer(
      "Toda alteração grava a tabela inteira num arquivo novo ao lado do antigo e só então o "
      "põe no lugar dele:\numa falha no meio deixa a tabela como estava.\nSaída: 0 sucesso; 1 "
      "erro ao ler ou gravar uma tabela; 2 uso inválido; 3 a saída padrão recusou o texto.");
  const auto tableArgument = [this](CLI::App* command) {
    command->add_option("TABLE", path_, "Tabela (.db Paradox, .dbf dBase ou .csv)")->required();
  };

  info_ = table_->add_subcommand(
      "info", "Formato, código de página, campos (tipos e tamanhos) e número de registros.");
  tableArgument(info_);

  convert_ = table_->add_subcommand(
      "convert",
      "Copia a tabela IN para OUT, no formato da extensão de OUT, com os valores exatos.");
  convert_->add_option("IN", path_, "Tabela de entrada")->required();
  convert_->add_option("OUT", output_, "Tabela de saída (substituída se existir)")->required();
  convert_
      ->add_option("--recode", recode_,
                   "GEN,ENV: os rótulos dessas colunas viram códigos 1..g e 1..a, na ordem em "
                   "que aparecem; a legenda vai para OUT.legend.csv")
      ->delimiter(',')
      ->expected(2);
  convert_->add_flag("--means", means_,
                     "Uma linha por genótipo e ambiente: a média das parcelas de cada campo "
                     "numérico");
  convert_->add_option("--block", block_,
                       "Com --means: campo dos blocos; dá r, QME e gle das análises individuais");
  convert_->add_option("--genotype-column", genotypeColumn_,
                       "Com --means sem --recode: campo dos genótipos (padrão: o 1o)");
  convert_->add_option("--environment-column", environmentColumn_,
                       "Com --means sem --recode: campo dos ambientes (padrão: o 2o)");
  convert_->add_flag("--decimal-comma", decimalComma_,
                     "Lê textos como \"12,5\" como números (planilhas em português)");
  convert_->footer(
      "OUT nunca pode ser a própria IN. Numa tabela dBase, textos perdem os espaços do fim.\n"
      "QME e gle de --block: o resíduo do modelo ambiente + bloco(ambiente) + genótipo +\n"
      "genótipo x ambiente, isto é, das análises em blocos de cada ambiente somadas. Parcelas\n"
      "perdidas (em branco ou ausentes) são tratadas por mínimos quadrados.");

  addField_ =
      table_->add_subcommand("add-field", "Acrescenta campos em branco após os existentes.");
  tableArgument(addField_);
  addField_->add_option("FIELD", items_, "NOME (real), NOME:real, NOME:texto (30) ou NOME:texto:N")
      ->required();

  deleteField_ = table_->add_subcommand("delete-field", "Apaga campos (por nome ou número).");
  tableArgument(deleteField_);
  deleteField_->add_option("FIELD", items_, "Campo, por nome ou número (1 = o primeiro)")
      ->required();

  renameField_ = table_->add_subcommand(
      "rename-field", "Dá novos nomes a campos, todos numa só gravação da tabela.");
  tableArgument(renameField_);
  renameField_->add_option("RENAME", items_, "Pares CAMPO NOVO_NOME (campo por nome ou número)")
      ->required();

  deleteRecords_ = table_->add_subcommand("delete-records", "Apaga registros pelos seus números.");
  tableArgument(deleteRecords_);
  deleteRecords_
      ->add_option("RECORDS", items_,
                   "Números de registro (1 = o primeiro), N-M, ou "
                   "listas separadas por vírgulas")
      ->required();
}

TTrialConvert TTableCommands::TrialOptions(const TDataTable& t) const {
  TTrialConvert c;
  c.recode = !recode_.empty();
  c.means = means_;
  c.decimalComma = decimalComma_;
  if (!block_.empty() && !means_) throw TUsageError{"--block só vale com --means"};
  if ((!genotypeColumn_.empty() || !environmentColumn_.empty()) && !means_) {
    throw TUsageError{"--genotype-column e --environment-column só valem com --means"};
  }
  if (c.recode && (!genotypeColumn_.empty() || !environmentColumn_.empty())) {
    throw TUsageError{"--recode já diz as colunas de genótipos e ambientes"};
  }
  if (c.recode) {
    c.genotype = FindField(t, recode_[0]);
    c.environment = FindField(t, recode_[1]);
  } else if (c.means) {
    c.genotype = FindField(t, genotypeColumn_.empty() ? "1" : genotypeColumn_);
    c.environment = FindField(t, environmentColumn_.empty() ? "2" : environmentColumn_);
  }
  if (c.genotype >= 0 && c.genotype == c.environment) {
    throw TUsageError{"genótipos e ambientes devem estar em campos diferentes"};
  }
  if (!block_.empty()) {
    c.block = FindField(t, block_);
    if (c.block == c.genotype || c.block == c.environment) {
      throw TUsageError{"o campo dos blocos deve ser outro que os de genótipos e ambientes"};
    }
  }
  if (c.recode && t.IsFileOfTable(LegendPath(output_))) {
    throw TUsageError{"a legenda \"" + Printable(LegendPath(output_)) +
                      "\" seria gravada sobre a própria tabela de entrada; nada foi gravado"};
  }
  return c;
}

bool TTableCommands::Chosen() const {
  return table_->parsed();
}

int TTableCommands::Run(std::ostream& out, std::ostream& err) const {
  try {
    TDataTable t;
    OpenTable(t, path_);
    if (info_->parsed()) {
      Info(t, out);
    } else if (convert_->parsed()) {
      const TableType type = FormatOfName(output_);
      if (t.IsFileOfTable(output_)) {
        throw TUsageError{"a saída \"" + Printable(output_) +
                          "\" é a própria tabela de entrada (ou um arquivo dela); nada foi "
                          "gravado"};
      }
      if (recode_.empty() && !means_ && block_.empty() && !decimalComma_ &&
          genotypeColumn_.empty() && environmentColumn_.empty()) {
        t.SaveCopy(output_, type);
        out << Printable(output_) << ": " << t.RecordCount() << " registros e " << t.FieldCount()
            << " campos gravados.\n";
      } else {
        ConvertTrial(t, output_, type, TrialOptions(t), out, err);
      }
    } else if (addField_->parsed()) {
      std::vector<std::string> names = FieldNames(t);
      std::vector<FieldDef> defs;
      for (const std::string& definition : items_) {
        const FieldDef f = ParseFieldDefinition(definition);
        const std::string problem = NewFieldNameProblem(t.ResolvedType(), names, f.name);
        if (!problem.empty()) throw TUsageError{"\"" + Printable(f.name) + "\": " + problem};
        names.push_back(f.name);
        defs.push_back(f);
      }
      t.AddFields(defs);
    } else if (deleteField_->parsed()) {
      std::vector<int> fields;
      for (const std::string& which : items_) fields.push_back(FindField(t, which));
      std::sort(fields.begin(), fields.end());
      if (std::unique(fields.begin(), fields.end()) - fields.begin() == t.FieldCount()) {
        throw TUsageError{"a tabela ficaria sem campos; para apagá-la, apague o arquivo"};
      }
      t.DeleteFields(fields);
    } else if (renameField_->parsed()) {
      if (items_.size() % 2 != 0) {
        throw TUsageError{"rename-field espera pares CAMPO NOVO_NOME; \"" +
                          Printable(items_.back()) + "\" ficou sem par"};
      }
      std::vector<std::string> names = FieldNames(t);
      std::vector<TFieldRename> renames;
      for (std::size_t k = 0; k < items_.size(); k += 2) {
        const int field = FindField(t, items_[k]);
        const std::string& newName = items_[k + 1];
        const std::string problem = FieldRenameProblem(t.ResolvedType(), names, field, newName);
        if (!problem.empty()) throw TUsageError{"\"" + Printable(newName) + "\": " + problem};
        names[static_cast<std::size_t>(field)] = newName;
        renames.push_back({field, newName});
      }
      t.RenameFields(renames);
    } else if (deleteRecords_->parsed()) {
      std::vector<std::size_t> records = ParseRecords(items_, t.RecordCount());
      std::sort(records.begin(), records.end());
      records.erase(std::unique(records.begin(), records.end()), records.end());
      t.DeleteRecords(records);
      out << records.size() << " registros apagados; a tabela tem agora " << t.RecordCount()
          << ".\n";
    }
  } catch (const TUsageError& e) {
    err << "quorvandelia-cli: " << ForTerminal(e.message) << '\n';
    return kUsage;
  } catch (const TableError& e) {
    err << "quorvandelia-cli: " << ForTerminal(e.what()) << '\n';
    return kFileError;
  } catch (const TPlotDataError& e) {
    err << "quorvandelia-cli: " << ForTerminal(Printable(path_)) << ": " << ForTerminal(e.what())
        << '\n';
    return kFileError;
  }
  out.flush();
  if (!out) {
    err << "quorvandelia-cli: não foi possível escrever na saída padrão (disco cheio ou saída "
           "fechada)\n";
    return kNotWritten;
  }
  return 0;
}

}  // namespace qv
