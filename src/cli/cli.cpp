#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "analysis/run.h"
#include "analysis/session.h"
#include "cli/importcli.h"
#include "cli/tablecli.h"
#include "commands/commands.h"
#include "richtext/rtf.h"
#ifdef QV_HAVE_PLOTS
#include "plotrender/plotfiles.h"
#include "plots/labels.h"
#endif

#ifndef QV_VERSION
#define QV_VERSION "0.0.0"
#endif

namespace qv {
namespace {

// Message boxes separate their lines with a lone carriage return; a terminal needs a newline.
std::string ForTerminal(std::string text) {
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  return text;
}

struct TVariableEntries {
  std::optional<std::string> gle, qme, r;
};

struct TCliOptions {
  std::string method, table, g, a, r, gle, qme, alpha = "0.05", output, results;
  std::string plots, plotFormat = "svg", highlight;
  std::string genotypeColumn, environmentColumn;
  std::vector<std::string> vars;
  std::map<std::string, TVariableEntries> perVariable;
};

// The parameters dialog, answered from the options. Phase 1 takes g, a, r, Alpha and the code
// columns; phase 2 takes gle, QME and r of the variable (its --var, else the common options).
// The per-variable dialog cannot be asked again: a second showing for the same variable means
// its entries were refused, and the run is ended.
class TCliForm : public TParametersForm {
 public:
  explicit TCliForm(const TCliOptions& o) : o_(o) {
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

  void ShowModal(TParamsPhase phase, const std::string& variable) override {
    if (phase == TParamsPhase::Variable) {
      if (variable == lastVariable_) {
        throw TRunAborted("os parâmetros da variável " + variable +
                          " foram recusados (--gle, --qme, -r ou --var)");
      }
      lastVariable_ = variable;
      entries_[Control::EditGLE] = o_.gle;
      entries_[Control::EditQME] = o_.qme;
      entries_[Control::EditNum_rep] = o_.r;
      if (auto it = o_.perVariable.find(variable); it != o_.perVariable.end()) {
        if (it->second.gle) entries_[Control::EditGLE] = *it->second.gle;
        if (it->second.qme) entries_[Control::EditQME] = *it->second.qme;
        if (it->second.r) entries_[Control::EditNum_rep] = *it->second.r;
      }
      return;
    }
    if (!o_.genotypeColumn.empty()) selected_[Control::ListBoxgenot] = Column(o_.genotypeColumn);
    if (!o_.environmentColumn.empty())
      selected_[Control::ListBoxAmb] = Column(o_.environmentColumn);
  }

 private:
  // A column given by name, or by its 1-based number.
  int Column(const std::string& columnText) const {
    for (std::size_t k = 0; k < genotItems_.size(); ++k) {
      if (genotItems_[k] == columnText) return static_cast<int>(k);
    }
    try {
      std::size_t used = 0;
      const int n = std::stoi(columnText, &used);
      if (used == columnText.size() && n >= 1 && n <= static_cast<int>(genotItems_.size()))
        return n - 1;
    } catch (const std::exception&) {
    }
    throw TRunAborted("a tabela não tem a coluna \"" + columnText + "\"");
  }

  const TCliOptions& o_;
  std::string lastVariable_;
  std::vector<std::string> genotItems_, ambItems_;
  std::map<Control, int> selected_{{Control::ListBoxgenot, -1}, {Control::ListBoxAmb, -1}};
  std::map<Control, std::string> entries_;
};

class TCliHost : public THost {
 public:
  TCliHost(const TCliOptions& o, std::ostream& err) : o_(o), form_(o), err_(err) {}
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
  void SetBusyCursor(bool) override {}
  // The report goes to the output once the run is over.
  void ShowReport(const TReport&) override {}

 private:
  const TCliOptions& o_;
  TCliForm form_;
  std::ostream& err_;
};

// NAME:gle=N,qme=X,r=R
bool ParseVar(const std::string& option, TCliOptions& o, std::string& error) {
  const auto colon = option.rfind(':');
  if (colon == std::string::npos || colon == 0) {
    error = "--var espera NOME:gle=N,qme=X,r=R, recebeu \"" + option + "\"";
    return false;
  }
  TVariableEntries& v = o.perVariable[option.substr(0, colon)];
  std::size_t start = colon + 1;
  while (start <= option.size()) {
    const auto comma = option.find(',', start);
    const std::string item =
        option.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const auto eq = item.find('=');
    const std::string key = item.substr(0, eq);
    if (eq == std::string::npos || (key != "gle" && key != "qme" && key != "r")) {
      error = "--var: \"" + item + "\" não é gle=N, qme=X nem r=R";
      return false;
    }
    (key == "gle" ? v.gle : key == "qme" ? v.qme : v.r) = item.substr(eq + 1);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
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

void AddData(TJson& to, const TResultData& data) {
  TJson values = TJson::object();
  for (const TResultValue& v : data.values) values[v.label] = CellJson(v.value);
  if (!values.empty()) to["values"] = std::move(values);
  if (data.converged) to["converged"] = *data.converged;
  TJson tables = TJson::array();
  for (const TResultTable& t : data.tables) {
    TJson rows = TJson::array();
    for (const auto& row : t.rows) {
      TJson cells = TJson::array();
      for (const TCell& cell : row) cells.push_back(CellJson(cell));
      rows.push_back(std::move(cells));
    }
    tables.push_back({{"id", t.id}, {"title", t.title}, {"columns", t.columns}, {"rows", rows}});
  }
  to["tables"] = std::move(tables);
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

// Every table of the report as data, variable by variable, with the numbers unrounded.
TJson ResultsJson(const TAnalysisCommand& command, const TCliOptions& o,
                  const TRunOutcome& outcome) {
  TJson variables = TJson::array();
  for (const TVariableRecord& v : outcome.variables) {
    TJson j = {{"name", v.name}, {"status", StatusName(v.status)}};
    if (!v.cause.empty()) j["cause"] = v.cause;
    j["parameters"] = {{"g", v.params.g},
                       {"a", v.params.a},
                       {"r", v.params.r},
                       {"gle", v.params.gle},
                       {"QME", v.params.QME},
                       {"Alpha", v.params.Alpha},
                       {"colGenot", v.params.colGenot},
                       {"colAmb", v.params.colAmb}};
    if (!v.result.Empty()) AddData(j, v.result.Data());
    if (!v.continuation.Empty() || !v.continuationCause.empty()) {
      TJson c = TJson::object();
      if (!v.continuationCause.empty()) c["cause"] = v.continuationCause;
      if (!v.continuation.Empty()) AddData(c, v.continuation.Data());
      j["continuation"] = std::move(c);
    }
    variables.push_back(std::move(j));
  }
  return {{"program", "quorvandelia-cli"},
          {"version", QV_VERSION},
          {"method", command.name},
          {"table", o.table},
          {"variables", std::move(variables)}};
}

// Writes a whole file; false when it could not be written.
bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  file.close();
  return static_cast<bool>(file);
}

// The plots of every analysed variable into the --plots folder, labelled from the legend beside
// the table when there is one. False when some plot could not be written.
bool WritePlots(const TCliOptions& o, const TSession& session, const TRunOutcome& outcome,
                std::ostream& err) {
#ifdef QV_HAVE_PLOTS
  const auto format = plotrender::PlotFormatNamed(o.plotFormat);
  std::string error;
  const std::optional<plots::TPlotOptions> options = plots::ReadHighlighted(o.highlight, error);
  if (!options) {
    err << "quorvandelia-cli: " << error << '\n';
    return false;
  }
  const plots::TPlotLabelsRead labels = plots::LabelsForTable(session.table, session.params);
  if (!labels.warning.empty()) err << "quorvandelia-cli: " << labels.warning << '\n';
  const plotrender::TPlotFilesWritten written = plotrender::WriteRunPlots(
      outcome, labels.labels, o.plots, format.value_or(plotrender::TPlotFormat::Svg), *options);
  for (const std::string& e : written.errors) err << "quorvandelia-cli: " << e << '\n';
  return written.errors.empty();
#else
  (void)session;
  (void)outcome;
  err << "quorvandelia-cli: esta versão foi construída sem os gráficos (--plots " << o.plots
      << ")\n";
  return false;
#endif
}

}  // namespace

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
                  "parâmetros inválidos.\nO relatório é texto UTF-8 com fins de linha CR LF.");
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
                      "Parâmetros de uma variável: NOME:gle=N,qme=X,r=R (repetível; "
                      "substituem --gle, --qme e -r para essa variável)");
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
  const TTableCommands table(app);
  const TTransferCommands transfer(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e, out, err) == 0 ? 0 : 2;
  }
  if (table.Chosen()) return table.Run(out, err);
  if (transfer.Chosen()) return transfer.Run(out, err);

  const TAnalysisCommand* command = FindAnalysisCommand(o.method);
  if (!command) {
    err << "quorvandelia-cli: método desconhecido \"" << o.method << "\"; métodos:\n"
        << MethodList() << '\n';
    return 2;
  }
  for (const std::string& v : o.vars) {
    std::string error;
    if (!ParseVar(v, o, error)) {
      err << "quorvandelia-cli: " << error << '\n';
      return 2;
    }
  }

#ifdef QV_HAVE_PLOTS
  // A bad list of genotypes is found before the run, not after its report.
  if (std::string error; !plots::ReadHighlighted(o.highlight, error)) {
    err << "quorvandelia-cli: " << error << '\n';
    return 2;
  }
#endif

  TSession session;
  TCliHost host(o, err);
  const TRunOutcome outcome = RunCommand(*command, session, host);
  if (outcome.aborted) {
    err << "quorvandelia-cli: " << outcome.abortReason << '\n';
    return 2;
  }
  if (!outcome.tableOpened) {
    err << "quorvandelia-cli: não foi possível abrir a tabela " << o.table << '\n';
    return 2;
  }
  if (outcome.parametersRefused) return 2;

  const std::string& text = session.report.Text();
  if (o.output.empty()) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
  } else if (!WriteFile(o.output, richtext::IsRtfFileName(o.output)
                                      // A .rtf file holds the report as the report window
                                      // saves it: one paragraph per line.
                                      ? richtext::WriteRtf(richtext::ReportDocument(text))
                                      : text)) {
    err << "quorvandelia-cli: não foi possível escrever o relatório em " << o.output << '\n';
    return 2;
  }
  if (!o.results.empty() &&
      !WriteFile(
          o.results,
          ResultsJson(*command, o, outcome).dump(-1, ' ', false, TJson::error_handler_t::replace) +
              "\n")) {
    err << "quorvandelia-cli: não foi possível escrever os resultados em " << o.results << '\n';
    return 2;
  }
  if (!o.plots.empty() && !WritePlots(o, session, outcome, err)) return 2;
  return outcome.dataError || outcome.abandoned || outcome.variablesRefused > 0 ? 1 : 0;
}

}  // namespace qv
