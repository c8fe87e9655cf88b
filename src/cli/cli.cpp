#include "cli/cli.h"

#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "analysis/convert.h"
#include "analysis/printable.h"
#include "analysis/run.h"
#include "analysis/session.h"
#include "cli/importcli.h"
#include "cli/runplots.h"
#include "cli/tablecli.h"
#include "cli/terminal.h"
#include "commands/commands.h"
#include "plots/labels.h"
#include "richtext/rtf.h"
#include "tables/datatable.h"
#include "tables/safefile.h"

#ifndef QV_VERSION
#define QV_VERSION "0.0.0"
#endif

namespace qv {
namespace {

// Exit statuses (cli.h).
constexpr int kSuccess = 0;
constexpr int kNotAnalysed = 1;
constexpr int kUsage = 2;
constexpr int kNotWritten = 3;

// The entries of one --var: for the variable a field name or number names, gle, QME and r
// given as the dialog's entries would be typed.
struct TVariableEntries {
  std::string variable;  // as given: a field's name, or its number (1-based)
  std::optional<std::string> gle, qme, r;
  int field = 0;      // the field it names, once the table's fields are known
  bool used = false;  // its variable's dialog was answered with it
};

struct TCliOptions {
  std::string method, table, g, a, r, gle, qme, alpha = "0.05", output, results;
  std::string plots, plotFormat = "svg", highlight;
  std::string genotypeColumn, environmentColumn;
  std::vector<std::string> vars;
  std::vector<TVariableEntries> perVariable;
  bool scanStart = false;
};

// The fields of the table that a name or a 1-based number given on the command line names: by
// name when some field has that name (all of them, when several do), else by number.
std::vector<int> FieldsNamed(const std::vector<std::string>& fields, const std::string& which) {
  std::vector<int> found;
  for (std::size_t k = 0; k < fields.size(); ++k) {
    if (fields[k] == which) found.push_back(static_cast<int>(k) + 1);
  }
  if (!found.empty()) return found;
  std::int32_t n = 0;
  if (!which.empty() && which.find_first_not_of("0123456789") == std::string::npos &&
      ConvertInteger(which, n) && n >= 1 && n <= static_cast<int>(fields.size())) {
    found.push_back(n);
  }
  return found;
}

// The parameters dialog, answered from the options. Phase 1 takes g, a, r, Alpha and the code
// columns; phase 2 takes gle, QME and r of the variable (its --var, else the common options).
// The per-variable dialog cannot be asked again: a second showing for the same field means
// its entries were refused, and the run is ended. Fields are told apart by their position, so
// that two fields of the same name each get their own dialog.
class TCliForm : public TParametersForm {
 public:
  explicit TCliForm(TCliOptions& o) : o_(o) {
    entries_[Control::EditAlpha] = o.alpha;
    entries_[Control::EditNum_gen] = o.g;
    entries_[Control::EditNum_amb] = o.a;
    entries_[Control::EditNum_rep] = o.r;
    entries_[Control::EditGLE] = o.gle;
    entries_[Control::EditQME] = o.qme;
  }
  void SetCaption(const std::string&) override {}
  void SetControlVisible(Control, bool) override {}
  void SetListItems(Control list, const std::vector<std::string>& items) override {
    (list == Control::ListBoxgenot ? genotItems_ : ambItems_) = items;
    selected_[list] = -1;
  }
  void SelectListItem(Control list, int index) override {
    const auto& items = list == Control::ListBoxgenot ? genotItems_ : ambItems_;
    selected_[list] = index >= 0 && index < static_cast<int>(items.size()) ? index : -1;
  }
  int SelectedIndex(Control list) const override { return selected_.at(list); }
  std::string EntryText(Control edit) const override { return entries_.at(edit); }

  void VariableStarted(int field, const std::string&) override {
    field_ = field;
    shown_ = false;
  }

  void ShowModal(TParamsPhase phase, const std::string& variable) override {
    if (phase == TParamsPhase::Variable) {
      if (shown_) {
        throw TRunAborted("os parâmetros da variável " + PrintableText(variable) + " (campo " +
                          std::to_string(field_) + ") foram recusados (--gle, --qme, -r ou --var)");
      }
      shown_ = true;
      entries_[Control::EditGLE] = o_.gle;
      entries_[Control::EditQME] = o_.qme;
      entries_[Control::EditNum_rep] = o_.r;
      for (TVariableEntries& v : o_.perVariable) {
        if (v.field != field_) continue;
        v.used = true;
        if (v.gle) entries_[Control::EditGLE] = *v.gle;
        if (v.qme) entries_[Control::EditQME] = *v.qme;
        if (v.r) entries_[Control::EditNum_rep] = *v.r;
      }
      return;
    }
    ResolveVariables();
    if (!o_.genotypeColumn.empty()) selected_[Control::ListBoxgenot] = Column(o_.genotypeColumn);
    if (!o_.environmentColumn.empty())
      selected_[Control::ListBoxAmb] = Column(o_.environmentColumn);
  }

 private:
  // A column given by name, or by its 1-based number.
  int Column(const std::string& columnText) const {
    const std::vector<int> fields = FieldsNamed(genotItems_, columnText);
    if (fields.size() > 1) {
      throw TRunAborted("a tabela tem " + std::to_string(fields.size()) + " campos chamados \"" +
                        PrintableText(columnText) + "\"; indique a coluna pelo número");
    }
    if (fields.empty()) {
      throw TRunAborted("a tabela não tem a coluna \"" + PrintableText(columnText) + "\"");
    }
    return fields.front() - 1;
  }

  // Each --var must name one field of the table.
  void ResolveVariables() {
    for (TVariableEntries& v : o_.perVariable) {
      const std::vector<int> fields = FieldsNamed(genotItems_, v.variable);
      if (fields.empty()) {
        throw TRunAborted("--var: a tabela não tem a variável \"" + PrintableText(v.variable) +
                          "\"");
      }
      if (fields.size() > 1) {
        throw TRunAborted("--var: a tabela tem " + std::to_string(fields.size()) +
                          " campos chamados \"" + PrintableText(v.variable) +
                          "\"; indique a variável pelo número do campo (--var " +
                          std::to_string(fields.front()) + ":...)");
      }
      v.field = fields.front();
      for (const TVariableEntries& other : o_.perVariable) {
        if (&other == &v) break;
        if (other.field == v.field) {
          throw TRunAborted("--var: \"" + PrintableText(other.variable) + "\" e \"" +
                            PrintableText(v.variable) + "\" são o mesmo campo (" +
                            std::to_string(v.field) + ")");
        }
      }
    }
  }

  TCliOptions& o_;
  int field_ = 0;
  bool shown_ = false;
  std::vector<std::string> genotItems_, ambItems_;
  std::map<Control, int> selected_{{Control::ListBoxgenot, -1}, {Control::ListBoxAmb, -1}};
  std::map<Control, std::string> entries_;
};

class TCliHost : public THost {
 public:
  TCliHost(TCliOptions& o, std::ostream& err) : o_(o), form_(o), err_(err) {}
  std::optional<std::string> ChooseTableFile() override { return o_.table; }
  TParametersForm& Params() override { return form_; }
  bool Confirm(const std::string&) override { return true; }
  bool WarnYesNo(const std::string& text) override {
    err_ << ForTerminal(text) << '\n';
    return false;
  }
  void Warn(const std::string& text) override { err_ << ForTerminal(text) << '\n'; }
  void Inform(const std::string& text) override { err_ << ForTerminal(text) << '\n'; }
  void ShowMessage(const std::string& text) override { err_ << ForTerminal(text) << '\n'; }
  // The dialog's advice, then what the table layer found wrong with the file.
  void ShowOpenFailure(const std::string& text, const std::string& cause) override {
    err_ << ForTerminal(text) << '\n' << ForTerminal(cause) << '\n';
  }
  void SetBusyCursor(bool) override {}
  // The report goes to the output once the run is over.
  void ShowReport(const TReport&) override {}

 private:
  TCliOptions& o_;
  TCliForm form_;
  std::ostream& err_;
};

// NAME:gle=N,qme=X,r=R, with NAME a field's name or number. Every key is one of the three,
// given once, with a value that converts as the dialog's entry would.
bool ParseVar(const std::string& option, TCliOptions& o, std::string& error) {
  const std::string shown = "--var \"" + PrintableText(option) + "\": ";
  const auto colon = option.rfind(':');
  if (colon == std::string::npos || colon == 0) {
    error = shown + "espera NOME:gle=N,qme=X,r=R (NOME: o nome ou o número do campo)";
    return false;
  }
  TVariableEntries v;
  v.variable = option.substr(0, colon);
  for (const TVariableEntries& other : o.perVariable) {
    if (other.variable == v.variable) {
      error = shown + "a variável \"" + PrintableText(v.variable) + "\" já tem um --var";
      return false;
    }
  }
  const std::string items = option.substr(colon + 1);
  if (items.empty()) {
    error = shown + "nada depois de \":\"; espera gle=N, qme=X ou r=R";
    return false;
  }
  std::size_t start = 0;
  while (start <= items.size()) {
    const auto comma = std::min(items.find(',', start), items.size());
    const std::string item = items.substr(start, comma - start);
    const auto eq = item.find('=');
    const std::string key = item.substr(0, eq);
    if (eq == std::string::npos || (key != "gle" && key != "qme" && key != "r")) {
      error = shown + "\"" + PrintableText(item) + "\" não é gle=N, qme=X nem r=R";
      return false;
    }
    std::optional<std::string>& slot = key == "gle" ? v.gle : key == "qme" ? v.qme : v.r;
    const std::string value = item.substr(eq + 1);
    std::int32_t whole = 0;
    double real = 0.0;
    if (slot) {
      error = shown + key + " aparece duas vezes";
      return false;
    }
    if (value.empty()) {
      error = shown + key + " sem valor";
      return false;
    }
    if (key == "gle" ? !ConvertInteger(value, whole) : !ConvertReal(value, real)) {
      error = shown + "o valor de " + key + ", \"" + PrintableText(value) + "\", não é " +
              (key == "gle" ? "um número inteiro" : "um número (use ponto decimal)");
      return false;
    }
    slot = value;
    start = comma + 1;
  }
  o.perVariable.push_back(std::move(v));
  return true;
}

// Where the report or the results go: a regular file, or one not there yet, is written through
// the safe rewrite (a complete temporary file, then renamed over it), so that a failure never
// leaves half a file in place of an old one; a device or a FIFO named on purpose (/dev/null, a
// pipe) is written directly. Nothing on success, else the reason.
// Where the pieces of a file being written go, in order.
using TSink = std::function<void(std::string_view)>;

std::optional<std::string> WriteOutput(const std::string& path,
                                       const std::function<void(const TSink&)>& produce) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
    std::ofstream file(path, std::ios::binary);
    produce([&](std::string_view bytes) {
      file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    });
    file.close();
    if (!file) return "Arquivo \"" + path + "\": não foi possível gravá-lo.";
    return std::nullopt;
  }
  try {
    detail::SafeFile file(path, detail::TFileKind::Other);
    produce([&](std::string_view bytes) { file.Write(bytes); });
    file.Commit();
  } catch (const TableError& e) {
    return e.what();
  }
  return std::nullopt;
}

std::optional<std::string> WriteOutput(const std::string& path, const std::string& bytes) {
  return WriteOutput(path, [&](const TSink& sink) { sink(bytes); });
}

// Whether an output file is the input table or one of its files, however the path is spelled.
bool IsInputTable(const std::string& input, const std::string& output) {
  TDataTable table;
  table.SetName(input);
  return table.IsFileOfTable(output);
}

std::string MethodList() {
  std::string s;
  for (const auto& m : AnalysisCommands()) {
    s += "  " + m.name + std::string(m.name.size() < 15 ? 15 - m.name.size() : 1, ' ') +
         m.description + "\n";
  }
  return s;
}

// --- machine-readable results --------------------------------------------------------------

using TJson = nlohmann::ordered_json;

TJson CellJson(const TCell& cell) {
  if (const auto* n = std::get_if<long long>(&cell)) return *n;
  if (const auto* x = std::get_if<long double>(&cell)) {
    // JSON has no infinities and no NaN: such a value is printed as "Nan" or "Inf" in the
    // report and written as null here.
    if (!std::isfinite(*x)) return nullptr;
    return static_cast<double>(*x);
  }
  if (const auto* text = std::get_if<std::string>(&cell)) return *text;
  return nullptr;
}

// The results file is written piece by piece in the compact form of nlohmann's dump: the small
// parts (a variable's parameters, its values, the end of its fit, one row of a table) are made
// as JSON values and dumped, the rest is joined around them. A tree of the whole file would
// hold every cell of every table as a node: for AMMI at 600 x 600 (a 30 MB file) that took the
// run from 88 MB to 303 MB.
class TJsonWriter {
 public:
  explicit TJsonWriter(const TSink& sink) : sink_(sink) {}
  void Dump(const TJson& value) {
    out_ += value.dump(-1, ' ', false, TJson::error_handler_t::replace);
    if (out_.size() >= kChunk) Flush();
  }
  // `"key":`, preceded by a comma unless it opens its object.
  void Key(const char* key, bool first = false) {
    if (!first) out_ += ',';
    Dump(TJson(key));
    out_ += ':';
  }
  void Member(const char* key, const TJson& value, bool first = false) {
    Key(key, first);
    Dump(value);
  }
  void Raw(char c) { out_ += c; }
  void Flush() {
    sink_(out_);
    out_.clear();
  }

 private:
  static constexpr std::size_t kChunk = std::size_t{1} << 20;
  const TSink& sink_;
  std::string out_;
};

// The members of a variable's (or a continuation's) data; `first` when they open their object.
void WriteData(TJsonWriter& w, const TResultData& data, bool first = false) {
  const auto key = [&](const char* name) {
    w.Key(name, first);
    first = false;
  };
  TJson values = TJson::object();
  for (const TResultValue& v : data.values) values[v.label] = CellJson(v.value);
  if (!values.empty()) {
    key("values");
    w.Dump(values);
  }
  if (data.converged) {
    key("converged");
    w.Dump(*data.converged);
  }
  if (data.fit) {
    const TFitEnd& end = *data.fit;
    TJson fit = {{"converged", end.converged},
                 {"stop", end.stop},
                 {"sse", CellJson(Real(end.sse))},
                 {"junctions_at_bound", end.junctionsAtBound}};
    if (end.scanSSE) {
      fit["scan"] = {{"sse", CellJson(Real(*end.scanSSE))}, {"lower", end.scanBeatsFit}};
    }
    fit["notes"] = end.notes;
    key("fit");
    w.Dump(fit);
  }
  key("tables");
  w.Raw('[');
  for (std::size_t t = 0; t < data.tables.size(); ++t) {
    const TResultTable& table = data.tables[t];
    if (t > 0) w.Raw(',');
    w.Raw('{');
    w.Member("id", table.id, true);
    w.Member("title", table.title);
    w.Member("columns", table.columns);
    w.Key("rows");
    w.Raw('[');
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
      if (r > 0) w.Raw(',');
      TJson cells = TJson::array();
      for (const TCell& cell : table.rows[r]) cells.push_back(CellJson(cell));
      w.Dump(cells);
    }
    w.Raw(']');
    w.Raw('}');
  }
  w.Raw(']');
}

const char* StatusName(TVariableStatus status) {
  switch (status) {
    case TVariableStatus::Analysed:
      return "analisada";
    case TVariableStatus::Refused:
      return "recusada";
    case TVariableStatus::Error:
      return "erro";
  }
  return "";
}

// Every table of the report as data, variable by variable, with the numbers unrounded: the
// text of the results file, ending in a line break, handed to `sink` in pieces.
void WriteResultsJson(const TAnalysisCommand& command, const TCliOptions& o,
                      const TRunOutcome& outcome, const TSink& sink) {
  TJsonWriter w(sink);
  w.Raw('{');
  w.Member("program", "quorvandelia-cli", true);
  w.Member("version", QV_VERSION);
  w.Member("method", command.name);
  w.Member("table", o.table);
  w.Key("variables");
  w.Raw('[');
  for (std::size_t k = 0; k < outcome.variables.size(); ++k) {
    const TVariableRecord& v = outcome.variables[k];
    if (k > 0) w.Raw(',');
    w.Raw('{');
    w.Member("name", v.name, true);
    w.Member("status", StatusName(v.status));
    if (!v.cause.empty()) {
      w.Member("cause", v.cause);
    }
    w.Member("parameters", TJson{{"g", v.params.g},
                                 {"a", v.params.a},
                                 {"r", v.params.r},
                                 {"gle", v.params.gle},
                                 {"QME", v.params.QME},
                                 {"Alpha", v.params.Alpha},
                                 {"colGenot", v.params.colGenot},
                                 {"colAmb", v.params.colAmb}});
    if (!v.result.Empty()) WriteData(w, v.result.Data());
    if (!v.continuation.Empty() || !v.continuationCause.empty()) {
      w.Key("continuation");
      w.Raw('{');
      const bool withCause = !v.continuationCause.empty();
      if (withCause) w.Member("cause", v.continuationCause, true);
      if (!v.continuation.Empty()) WriteData(w, v.continuation.Data(), !withCause);
      w.Raw('}');
    }
    w.Raw('}');
  }
  w.Raw(']');
  w.Raw('}');
  w.Raw('\n');
  w.Flush();
}

// The plots of every analysed variable into the --plots folder, labelled from the legend beside
// the table when there is one. False when some plot could not be written.
TRunPlotsLoader plotsLoader = nullptr;

bool WritePlots(const TCliOptions& o, const TSession& session, const TRunOutcome& outcome,
                std::ostream& err) {
  std::string why = "esta versão foi construída sem os gráficos";
  const TRunPlotsWriter writer = plotsLoader != nullptr ? plotsLoader(why) : nullptr;
  if (writer == nullptr) {
    err << "quorvandelia-cli: " << why << " (--plots " << o.plots << ")\n";
    return false;
  }
  std::string error;
  const std::optional<plots::TPlotOptions> options = plots::ReadHighlighted(o.highlight, error);
  if (!options) {
    err << "quorvandelia-cli: " << error << '\n';
    return false;
  }
  const plots::TPlotLabelsRead labels = plots::LabelsForTable(session.table, session.params);
  if (!labels.warning.empty()) err << "quorvandelia-cli: " << labels.warning << '\n';
  const std::vector<std::string> errors =
      writer(outcome, labels.labels, o.plots, o.plotFormat, *options);
  for (const std::string& e : errors) err << "quorvandelia-cli: " << e << '\n';
  return errors.empty();
}

}  // namespace

void SetRunPlotsLoader(TRunPlotsLoader loader) {
  plotsLoader = loader;
}

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{"Quorvandelia: análise de estabilidade e adaptabilidade de genótipos",
               "quorvandelia-cli"};
  app.set_version_flag("--version", std::string("quorvandelia-cli ") + QV_VERSION);
  app.require_subcommand(1);
  TCliOptions o;

  CLI::App* analyze = app.add_subcommand(
      "analyze",
      "Analisa cada variável numérica da tabela pelo método escolhido e escreve o relatório.");
  analyze->footer("Métodos:\n" + MethodList() +
                  "\nSaída: 0 sucesso; 1 alguma variável não pôde ser analisada; 2 uso ou "
                  "parâmetros inválidos (fora do domínio do método); 3 o relatório ou os "
                  "resultados não puderam ser gravados.\nO relatório é texto UTF-8 com fins de "
                  "linha CR LF. A saída (-o, --results) nunca pode ser a tabela analisada.");
  analyze->add_option("--method,-m", o.method, "Método de análise (lista abaixo)")->required();
  analyze->add_option("TABLE", o.table, "Tabela de médias (.db Paradox, .dbf dBase ou .csv)")
      ->required();
  analyze->add_option("-g", o.g, "Número de genótipos")->required();
  analyze->add_option("-a", o.a, "Número de ambientes")->required();
  analyze->add_option("--genotype-column", o.genotypeColumn,
                      "Coluna dos códigos de genótipo, por nome ou número (padrão: a 1a)");
  analyze->add_option("--environment-column", o.environmentColumn,
                      "Coluna dos códigos de ambiente, por nome ou número (padrão: a 2a)");
  analyze->add_option("-r", o.r, "Número de repetições das médias");
  analyze->add_option("--gle", o.gle, "Graus de liberdade do resíduo");
  analyze->add_option("--qme", o.qme, "Quadrado médio do resíduo");
  analyze->add_option("--alpha", o.alpha, "Nível de significância (Annicchiarico; padrão 0.05)");
  analyze->add_option("--var", o.vars,
                      "Parâmetros de uma variável: NOME:gle=N,qme=X,r=R, NOME o nome ou o número "
                      "do campo (repetível; substituem --gle, --qme e -r para essa variável)");
  analyze->add_option("-o,--output", o.output,
                      "Arquivo do relatório (padrão: saída padrão); .rtf: em Rich Text");
  analyze->add_option("--results", o.results,
                      "Arquivo JSON com as tabelas do relatório como dados, por variável "
                      "(números sem arredondamento)");
  analyze->add_option("--plots", o.plots,
                      "Pasta onde escrever os gráficos de cada variável analisada, como "
                      "PASTA/<variável>-<gráfico>.svg");
  analyze->add_option("--plot-format", o.plotFormat, "Formato dos gráficos: svg, png ou pdf")
      ->check(CLI::IsMember({"svg", "png", "pdf"}, CLI::ignore_case));
  analyze->add_option("--highlight", o.highlight,
                      "Genótipos destacados nos gráficos de retas e segmentos: códigos "
                      "separados por vírgulas, ou \"todos\" (padrão: todos até 8 genótipos; "
                      "além, as maiores e menores médias e respostas)");
  analyze->add_flag("--scan-start", o.scanStart,
                    "Modelos segmentados: ajuste a partir das melhores junções da varredura "
                    "por intervalos do índice, em vez dos valores iniciais fixos");
  const TTableCommands table(app);
  const TTransferCommands transfer(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e, out, err) == 0 ? kSuccess : kUsage;
  }
  if (table.Chosen()) return table.Run(out, err);
  if (transfer.Chosen()) return transfer.Run(out, err);

  const TAnalysisCommand* command = FindAnalysisCommand(o.method);
  if (!command) {
    err << "quorvandelia-cli: método desconhecido \"" << PrintableText(o.method) << "\"; métodos:\n"
        << MethodList() << '\n';
    return kUsage;
  }
  for (const std::string& v : o.vars) {
    std::string error;
    if (!ParseVar(v, o, error)) {
      err << "quorvandelia-cli: " << error << '\n';
      return kUsage;
    }
  }
  if (!o.perVariable.empty() && command->method().phase2Entries.empty()) {
    err << "quorvandelia-cli: --var: o método " << command->name
        << " não pede parâmetros por variável\n";
    return kUsage;
  }
  // Nothing is written over the table being analysed, nor one output over the other.
  for (const std::string* path : {&o.output, &o.results}) {
    if (!path->empty() && IsInputTable(o.table, *path)) {
      err << "quorvandelia-cli: a saída \"" << PrintableText(*path)
          << "\" é a própria tabela analisada (ou um arquivo dela); nada foi gravado\n";
      return kUsage;
    }
  }
  if (!o.output.empty() && !o.results.empty()) {
    const auto output = detail::IdentityOf(o.output), results = detail::IdentityOf(o.results);
    if (o.output == o.results || (output && results && output->SameFile(*results))) {
      err << "quorvandelia-cli: -o e --results não podem ser o mesmo arquivo\n";
      return kUsage;
    }
  }

  // A bad list of genotypes is found before the run, not after its report.
  if (std::string error; !plots::ReadHighlighted(o.highlight, error)) {
    err << "quorvandelia-cli: " << error << '\n';
    return kUsage;
  }

  TSession session;
  session.scanStart = o.scanStart;
  TCliHost host(o, err);
  const TRunOutcome outcome = RunCommand(*command, session, host);
  if (outcome.aborted) {
    err << "quorvandelia-cli: " << ForTerminal(outcome.abortReason) << '\n';
    return kUsage;
  }
  if (!outcome.tableOpened || outcome.parametersRefused) return kUsage;
  // A --var for a field that was never asked about (a code column, a text field) would be
  // ignored without a word.
  if (!outcome.abandoned) {
    for (const TVariableEntries& v : o.perVariable) {
      if (v.used) continue;
      err << "quorvandelia-cli: --var \"" << PrintableText(v.variable)
          << "\": o campo não é uma variável analisada (é uma coluna de códigos ou de texto)\n";
      return kUsage;
    }
  }

  const std::string& text = session.report.Text();
  if (o.output.empty()) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      err << "quorvandelia-cli: não foi possível escrever o relatório na saída padrão (disco "
             "cheio ou saída fechada)\n";
      return kNotWritten;
    }
  } else if (const auto error =
                 WriteOutput(o.output, richtext::IsRtfFileName(o.output)
                                           // A .rtf file holds the report as the report window
                                           // saves it: one paragraph per line.
                                           ? richtext::WriteRtf(richtext::ReportDocument(text))
                                           : text)) {
    err << "quorvandelia-cli: o relatório não foi gravado: " << ForTerminal(*error) << '\n';
    return kNotWritten;
  }
  if (!o.results.empty()) {
    if (const auto error = WriteOutput(
            o.results, [&](const TSink& sink) { WriteResultsJson(*command, o, outcome, sink); })) {
      err << "quorvandelia-cli: os resultados não foram gravados: " << ForTerminal(*error) << '\n';
      return kNotWritten;
    }
  }
  if (!o.plots.empty() && !WritePlots(o, session, outcome, err)) return kNotWritten;
  if (outcome.parameterRefusals > 0) return kUsage;
  return outcome.dataError || outcome.abandoned || outcome.variablesRefused > 0 ? kNotAnalysed
                                                                                : kSuccess;
}

}  // namespace qv
