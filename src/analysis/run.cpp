#include "analysis/run.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis/convert.h"
#include "analysis/printable.h"
#include "tables/realtext.h"

namespace qv {
namespace {

const char* const kPhase1RepMessage = "< r >: O valor de r deve ser inteiro: ";
const char* const kAlphaMessage = "< Alpha >: O valor de Alpha deve ser real. Assumi 0.05";
const char* const kGMessage = "< g >: O valor de g deve ser inteiro: ";
const char* const kAMessage = "< a >: O valor de a deve ser inteiro: ";
const char* const kGleMessage = "< gle >: O valor de gle deve ser real ";
const char* const kColGenotMessage =
    "O valor da coluna dos genótipos deve ser deve ser inteiro \rou inferior ao número de "
    "colunas do arquivo!";
const char* const kColAmbMessage =
    "O valor da coluna dos ambientes deve ser deve ser inteiro \rou inferior ao número de "
    "colunas do arquivo!";
const char* const kSameColumnsMessage =
    "O valor da coluna dos ambientes deve ser diferente da\r de genótipos";
// The means matrices hold at most 600 genotypes and 600 environments; a larger g or a would
// let a record address cells outside them, so it is refused before any record is read.
const char* const kTooManyGenotypes =
    "< g >: O número de genótipos não pode passar de 600 (capacidade do programa)";
const char* const kTooManyEnvironments =
    "< a >: O número de ambientes não pode passar de 600 (capacidade do programa)";
// A table holds at least one genotype and one environment: no record could pass the reading's
// range check with g or a of 0 or less, and the run would end on a misleading database error.
const char* const kNoGenotypes = "< g >: O número de genótipos deve ser maior que zero";
const char* const kNoEnvironments = "< a >: O número de ambientes deve ser maior que zero";

Control EntryControl(Entry e) {
  switch (e) {
    case Entry::Alpha:
      return Control::EditAlpha;
    case Entry::GLE:
      return Control::EditGLE;
    case Entry::QME:
      return Control::EditQME;
    case Entry::NumRep:
      return Control::EditNum_rep;
  }
  return Control::EditAlpha;
}

void ShowOnly(TParametersForm& form, const std::vector<Control>& visible) {
  for (Control c : kAllControls) {
    bool show = false;
    for (Control v : visible) show = show || v == c;
    form.SetControlVisible(c, show);
  }
}

std::vector<std::string> FieldNames(const TDataTable& table) {
  std::vector<std::string> names;
  for (int i = 0; i < table.FieldCount(); ++i) names.push_back(table.FieldName(i));
  return names;
}

// Phase 1: g, a, the code columns and the method's extras, asked until the checks pass or the
// user gives up. Returns false when the user gave up.
bool AskPhase1(const TMethod& method, TSession& session, THost& host) {
  TParametersForm& form = host.Params();
  TAnalysisParams& p = session.params;
  const int fieldCount = session.table.FieldCount();
  std::vector<Control> visible{Control::EditNum_gen, Control::EditNum_amb, Control::ListBoxgenot,
                               Control::ListBoxAmb};
  for (Entry e : method.phase1Extras) visible.push_back(EntryControl(e));
  const std::vector<std::string> names = FieldNames(session.table);

  for (;;) {
    do {
      form.SetCaption(method.phase1Caption);
      ShowOnly(form, visible);
      form.SetListItems(Control::ListBoxgenot, names);
      form.SetListItems(Control::ListBoxAmb, names);
      form.SelectListItem(Control::ListBoxgenot, 0);
      form.SelectListItem(Control::ListBoxAmb, 1);
      form.ShowModal(TParamsPhase::Table, "");
    } while (!host.Confirm(text::kConfirmParams));

    bool error = false;
    auto fail = [&](const char* message) {
      if (message) host.Warn(message);
      error = true;
    };
    for (Entry e : method.phase1Extras) {
      if (error) break;
      if (e == Entry::NumRep) {
        if (!ConvertReal(form.EntryText(Control::EditNum_rep), p.r)) fail(kPhase1RepMessage);
      } else if (e == Entry::Alpha) {
        // A bad confidence level is not an error of the run: the usual 5 % is taken instead.
        double value = 0.0;
        if (!ConvertReal(form.EntryText(Control::EditAlpha), value)) {
          host.Warn(kAlphaMessage);
          p.Alpha = 0.95;
        } else if (value >= 1.0 || value <= 0.0) {
          p.Alpha = 0.95;
        } else {
          p.Alpha = 1.0 - value;
        }
      }
    }
    if (!error) {
      if (!ConvertInteger(form.EntryText(Control::EditNum_gen), p.g)) {
        fail(kGMessage);
      } else if (p.g > MaxGenot) {
        fail(kTooManyGenotypes);
      } else if (p.g <= 0) {
        fail(kNoGenotypes);
      } else if (p.g < method.minGenotypes) {
        fail(nullptr);
      }
    }
    if (!error) {
      if (!ConvertInteger(form.EntryText(Control::EditNum_amb), p.a)) {
        fail(kAMessage);
      } else if (p.a > MaxAmb) {
        fail(kTooManyEnvironments);
      } else if (p.a <= 0) {
        fail(kNoEnvironments);
      } else if (p.a < method.minEnvironments) {
        fail(nullptr);
      }
    }
    // A list without a selection (a one-field table has no second item) gives column 0, which
    // no field has: it fails like a column beyond the last field.
    if (!error) {
      p.colGenot = form.SelectedIndex(Control::ListBoxgenot) + 1;
      if (p.colGenot > fieldCount || p.colGenot < 1) fail(kColGenotMessage);
    }
    if (!error) {
      p.colAmb = form.SelectedIndex(Control::ListBoxAmb) + 1;
      if (p.colAmb > fieldCount || p.colAmb < 1) fail(kColAmbMessage);
    }
    if (!error && p.colAmb == p.colGenot) fail(kSameColumnsMessage);

    if (!error) return true;
    if (!host.WarnYesNo(text::kErrorsContinue)) return false;
  }
}

// Phase 2: the residual information of one variable (field number `field`), asked until every
// entry converts.
void AskPhase2(const TMethod& method, TSession& session, THost& host, int field,
               const std::string& name) {
  TParametersForm& form = host.Params();
  TAnalysisParams& p = session.params;
  std::vector<Control> visible;
  for (Entry e : method.phase2Entries) visible.push_back(EntryControl(e));
  form.VariableStarted(field, name);
  for (;;) {
    do {
      form.SetCaption("Parâmetros para " + PrintableText(name));
      ShowOnly(form, visible);
      form.ShowModal(TParamsPhase::Variable, name);
    } while (!host.Confirm(text::kConfirmParams));

    bool ok = true;
    for (Entry e : method.phase2Entries) {
      if (!ok) break;
      switch (e) {
        case Entry::GLE:
          if (!ConvertInteger(form.EntryText(Control::EditGLE), p.gle)) {
            host.Warn(kGleMessage);
            ok = false;
          } else if (method.phase2RequirePositive && p.gle <= 0) {
            ok = false;
          }
          break;
        case Entry::QME:
          if (!ConvertReal(form.EntryText(Control::EditQME), p.QME)) {
            host.Warn(method.qmeMessage);
            ok = false;
          } else if (method.phase2RequirePositive && !(p.QME > 0.0)) {
            ok = false;
          }
          break;
        case Entry::NumRep:
          if (!ConvertReal(form.EntryText(Control::EditNum_rep), p.r)) {
            host.Warn(method.repMessage);
            ok = false;
          } else if (method.phase2RequirePositive && !(p.r > 0.0)) {
            ok = false;
          }
          break;
        case Entry::Alpha:
          break;
      }
    }
    if (ok) return;
  }
}

// The cell that is not a number: its field, its record (and the line of the file, for a text
// table) and its text.
std::string NonNumericMessage(const TDataTable& table, int field, std::size_t record) {
  const std::string cell = table.GetValue(field).AsText();
  const std::size_t line = table.SourceLine(record);
  std::string message = "Valor não numérico no Banco de Dados: o campo \"" +
                        PrintableText(table.FieldName(field)) + "\" do registro " +
                        std::to_string(record + 1) +
                        (line > 0 ? " (linha " + std::to_string(line) + " do arquivo)" : "") +
                        " contém \"" + PrintableText(cell) +
                        "\".\rAs colunas de genótipos e de ambientes e as variáveis analisadas "
                        "devem ser numéricas.";
  switch (WhyNotAReal(cell)) {
    case TNotAReal::DecimalComma:
      message += "\rO valor tem vírgula decimal: os números devem usar ponto (1.5, não 1,5).";
      break;
    case TNotAReal::OutOfRange:
      message +=
          "\rO número está fora do alcance do programa (de 1e-308 a 1e308, em valor "
          "absoluto).";
      break;
    case TNotAReal::MissingMark:
      message +=
          "\rUm valor ausente não pode ser analisado: a tabela deve ter a média de cada "
          "genótipo em cada ambiente.";
      break;
    case TNotAReal::Text:
      break;
  }
  return message;
}

std::string DuplicateMessage(std::int64_t gen, std::int64_t env, std::size_t record) {
  return "Registro duplicado no Banco de Dados: o genótipo " + std::to_string(gen) +
         " no ambiente " + std::to_string(env) + " aparece mais de uma vez (registro " +
         std::to_string(record + 1) + ").\rCada genótipo deve ter um só registro em cada ambiente.";
}

// A code as the reading takes it from a number: truncated toward zero, valid in 1..limit. A
// blank (a NaN in a field read whole) is not valid either.
bool CodeOf(double value, int limit, std::int64_t& code) {
  const double truncated = std::trunc(value);
  if (!(truncated >= 1.0 && truncated <= static_cast<double>(limit))) return false;
  code = static_cast<std::int64_t>(truncated);
  return true;
}

// The reading of ReadVariable when the code fields and the variable are numeric fields read
// whole (TDataTable::NumberColumn): the same checks in the same record order with the same
// messages, without a value object per cell. False when the fields cannot be read whole (the
// cursor then reads them value by value); true when they were, with `error` set when a record
// was refused.
bool ReadWholeFields(TSession& session, int k, bool accumulateMediaGeral,
                     std::vector<unsigned char>& filled, std::optional<TReadError>& error) {
  TDataTable& table = session.table;
  const TAnalysisParams& p = session.params;
  const std::span<const double> gens = table.NumberColumn(p.colGenot - 1);
  const std::span<const double> envs = table.NumberColumn(p.colAmb - 1);
  const std::span<const double> values = table.NumberColumn(k);
  const std::size_t n = table.RecordCount();
  if (gens.size() != n || envs.size() != n || values.size() != n || n == 0) return false;
  TGxeMeans& m = session.means;
  const double cells = static_cast<double>(p.g) * static_cast<double>(p.a);
  const std::size_t a = p.a > 0 ? static_cast<std::size_t>(p.a) : 0;
  for (std::size_t r = 0; r < n; ++r) {
    std::int64_t gen = 0, env = 0;
    const double value = values[r];
    if (!CodeOf(gens[r], p.g, gen) || !CodeOf(envs[r], p.a, env) || std::isnan(value)) {
      table.GoTo(r);
      error = TReadError{text::kDatabaseError};
      return true;
    }
    unsigned char& seen =
        filled[static_cast<std::size_t>(gen - 1) * a + static_cast<std::size_t>(env - 1)];
    if (seen) {
      table.GoTo(r);
      error = TReadError{DuplicateMessage(gen, env, r)};
      return true;
    }
    seen = 1;
    m.Y(static_cast<int>(gen), static_cast<int>(env)) = value;
    if (accumulateMediaGeral) m.MediaGeral = m.MediaGeral + value / cells;
  }
  table.Last();
  return true;
}

// A code as the reading takes it: the value truncated toward zero, valid in 1..limit.
bool ReadCode(const TDataTable& table, int field, int limit, std::int64_t& code, bool& numeric) {
  numeric = true;
  if (table.IsBlank(field)) return false;
  double value = 0.0;
  if (!table.GetValue(field).ToReal(value)) {
    numeric = false;
    return false;
  }
  return CodeOf(value, limit, code);
}

}  // namespace

bool OpenTableDialog(TDataTable& table, THost& host, std::string* cause) {
  const std::optional<std::string> file = host.ChooseTableFile();
  if (!file) return false;
  table.SetName(*file);
  try {
    table.Open();
  } catch (const std::exception& e) {
    table.Close();
    const std::string why = PrintableText(e.what());
    if (cause) *cause = why;
    host.ShowOpenFailure(text::kOpenFailed, why);
    return false;
  }
  return true;
}

std::optional<TReadError> ReadVariable(TSession& session, int field, bool accumulateMediaGeral) {
  TDataTable& table = session.table;
  TGxeMeans& m = session.means;
  const TAnalysisParams& p = session.params;
  const int colG = p.colGenot - 1, colA = p.colAmb - 1, k = field - 1;
  const int g = p.g > 0 ? p.g : 0, a = p.a > 0 ? p.a : 0;
  const double cells = static_cast<double>(p.g) * static_cast<double>(p.a);
  // Which cells this variable has filled: a second record for a cell, or a cell with no
  // record, would leave a value in Y that does not belong to this variable.
  std::vector<unsigned char> filled(static_cast<std::size_t>(g) * a, 0);

  if (accumulateMediaGeral) m.MediaGeral = 0.0;
  try {
    table.First();  // posts a record being edited, as every move of the cursor does
    std::optional<TReadError> error;
    if (ReadWholeFields(session, k, accumulateMediaGeral, filled, error)) {
      if (error) return error;
    } else {
      for (table.First(); !table.AtEnd(); table.Next()) {
        std::int64_t gen = 0, env = 0;
        bool numeric = true;
        if (!ReadCode(table, colG, p.g, gen, numeric)) {
          return TReadError{numeric ? text::kDatabaseError
                                    : NonNumericMessage(table, colG, table.RecNo())};
        }
        if (!ReadCode(table, colA, p.a, env, numeric)) {
          return TReadError{numeric ? text::kDatabaseError
                                    : NonNumericMessage(table, colA, table.RecNo())};
        }
        if (table.IsBlank(k)) return TReadError{text::kDatabaseError};
        double value = 0.0;
        if (!table.GetValue(k).ToReal(value)) {
          return TReadError{NonNumericMessage(table, k, table.RecNo())};
        }
        unsigned char& seen = filled[static_cast<std::size_t>(gen - 1) * a + (env - 1)];
        if (seen) return TReadError{DuplicateMessage(gen, env, table.RecNo())};
        seen = 1;
        m.Y(static_cast<int>(gen), static_cast<int>(env)) = value;
        if (accumulateMediaGeral) m.MediaGeral = m.MediaGeral + value / cells;
      }
    }
  } catch (const TableError& e) {
    // The file layer's message is the box the user sees.
    return TReadError{PrintableText(e.what())};
  }
  for (int i = 1; i <= g; ++i) {
    for (int j = 1; j <= a; ++j) {
      if (!filled[static_cast<std::size_t>(i - 1) * a + (j - 1)]) {
        return TReadError{"Falta no Banco de Dados o registro do genótipo " + std::to_string(i) +
                          " no ambiente " + std::to_string(j) +
                          ".\rA tabela deve ter um registro de cada genótipo em cada ambiente."};
      }
    }
  }
  return std::nullopt;
}

TRunOutcome RunAnalysis(const TMethod& method, TSession& session, THost& host) {
  TRunOutcome out;
  TDataTable& table = session.table;
  TParametersForm& form = host.Params();
  try {
    if (table.IsOpen()) table.Close();
    out.tableOpened = OpenTableDialog(table, host, &out.openError);
    if (out.tableOpened) out.abandoned = out.parametersRefused = !AskPhase1(method, session, host);
    if (!out.abandoned) session.report.Clear();

    if (out.tableOpened && !out.abandoned) {
      std::string errorMessage;  // the box shown for every variable once the run has failed
      // Every numeric field but the genotype's and the environment's codes is a variable.
      const auto isVariable = [&](int k) {
        return k != session.params.colGenot && k != session.params.colAmb &&
               table.GetFieldType(k - 1) != FieldType::String;
      };
      for (int k = 1; k <= table.FieldCount(); ++k) {
        if (!isVariable(k)) continue;
        const std::string name = table.FieldName(k - 1);
        if (!method.phase2Entries.empty()) AskPhase2(method, session, host, k, name);

        TReport& report = session.report;
        report.Append(method.titleLine);
        report.Append(method.beforeVariableLine);
        report.Append(text::kVariableLine);
        report.Append(PrintableText(name) + "\r\n");
        report.Append(method.afterVariableLine);

        TVariableRecord& record = out.variables.emplace_back();
        record.name = name;
        record.params = session.params;
        if (!out.abandoned) {
          if (auto error = ReadVariable(session, k, method.accumulatesMediaGeral)) {
            errorMessage = std::move(error->message);
            out.abandoned = out.dataError = true;
          }
        }
        if (out.abandoned) {
          record.status = TVariableStatus::Error;
          record.cause = errorMessage.empty() ? text::kDatabaseError : errorMessage;
          host.Warn(record.cause);
          report.Append(text::kErrorLine);
          continue;
        }
        bool last = true;
        for (int later = k + 1; later <= table.FieldCount() && last; ++later) {
          last = !isVariable(later);
        }
        const TComputeContext context{session.means,
                                      session.params,
                                      report,
                                      session.fitStorage,
                                      session.decimalSeparator,
                                      session.scanStart,
                                      last};
        TStepResult step = method.compute(context);
        if (!step.Refused()) {
          record.result = std::move(step.result);
          record.means = ObservedMeans(session.means, session.params.g, session.params.a);
          ++out.variablesAnalysed;
          continue;
        }
        record.status = TVariableStatus::Refused;
        record.cause = step.refusal->cause;
        if (step.refusal->badParameter) ++out.parameterRefusals;
        host.Warn(record.cause);
        if (step.refusal->scope == TRefusal::TScope::Run) {
          out.abandoned = true;
        } else {
          report.AppendLine(text::kRefusedLine + record.cause);
          ++out.variablesRefused;
        }
      }
    }
  } catch (const TRunAborted& e) {
    out.aborted = true;
    out.abortReason = e.what();
  }

  table.Close();
  for (Control c : kAllControls) form.SetControlVisible(c, true);
  return out;
}

}  // namespace qv
