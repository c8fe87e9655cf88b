#include "commands/commands.h"

#include "methods/ammi.h"
#include "methods/annicchiarico.h"
#include "methods/cruz.h"
#include "methods/eberhart.h"
#include "methods/finlay.h"
#include "methods/linbinns.h"
#include "methods/plaisted.h"
#include "methods/wricke.h"
#include "segmented/silva.h"
#include "segmented/silvatoler.h"
#include "segmented/toler.h"
#include "segmented/tolerlinear.h"

namespace qv {
namespace {

// The Toler command goes on with Toler's simple linear model, fitted to the means of the run's
// last variable. When that variable was not analysed (the run took up no variable, or refused
// the last one), the means in memory are not those of a reported fit and there is nothing to
// fit.
void TolerContinuation(TRunOutcome& outcome, TSession& session, THost& host) {
  if (outcome.variables.empty()) return;
  TVariableRecord& last = outcome.variables.back();
  const TTolerResult* bisegmented = last.result.As<TTolerResult>();
  if (last.status != TVariableStatus::Analysed || !bisegmented) return;
  // The fit started beside the bisegmented one, if it was: the same result.
  TComputed<TTolerLinearResult> linear =
      bisegmented->linearAhead
          ? bisegmented->linearAhead->Take(session.means, bisegmented->means.margins,
                                           bisegmented->T, session.params, session.fitStorage)
          : TolerLinearCompute(session.means, bisegmented->means.margins, bisegmented->T,
                               session.params, session.fitStorage);
  // As every step of a run: nothing that is not a finite number reaches the report.
  if (!linear.Refused() && !FiniteResult(linear.Value())) {
    linear = TRefusal::OfVariable(kNonFiniteResultCause);
  }
  if (linear.Refused()) {
    last.continuationCause = linear.Refusal().cause;
    host.Warn(last.continuationCause);
    session.report.AppendLine(text::kRefusedLine + last.continuationCause);
    ++outcome.variablesRefused;
    return;
  }
  const std::string* written = bisegmented->linearAhead
                                   ? bisegmented->linearAhead->Report(session.decimalSeparator)
                                   : nullptr;
  if (written != nullptr) {
    session.report.Append(*written);
  } else {
    AppendTolerLinearReport(session.report, linear.Value(), session.decimalSeparator);
  }
  last.continuation = TAnyResult(std::move(linear).Value());
}

}  // namespace

const std::vector<TAnalysisCommand>& AnalysisCommands() {
  static const std::vector<TAnalysisCommand> commands = {
      {.name = "plaisted",
       .objectName = "Plaisted1",
       .caption = "&Plaisted e Peterson",
       .hint = "Modelo de Plaisted & Peterson (1959)- componentes de variância",
       .visibleByDefault = true,
       .description = "Plaisted & Peterson (1959), componentes de variância por pares",
       .method = PlaistedMethod,
       .end = TCommandEnd::Inform,
       .endMessage = "Para ver resultado da análise selecione o menu relatório"},
      {.name = "wricke",
       .objectName = "Wricke1",
       .caption = "&Wricke",
       .hint = "Modelo de Wricke (1965) - Ecovalência",
       .visibleByDefault = true,
       .description = "Wricke (1965), ecovalência",
       .method = WrickeMethod},
      {.name = "linbinns",
       .objectName = "LinBinns1",
       .caption = "&Lin e Binns",
       .hint = "Modelo de Lin & Binns (1988) - Desvios do máximo ideal",
       .visibleByDefault = true,
       .description = "Lin & Binns (1988), índice de superioridade",
       .method = LinBinnsMethod},
      {.name = "annicchiarico",
       .objectName = "Annicchiarico1",
       .caption = "&Annicchiarico",
       .hint = "Annicchiarico (1992) - Índice de reliabilidade",
       .visibleByDefault = true,
       .description = "Annicchiarico (1992), índice de confiança",
       .method = AnnicchiaricoMethod},
      {.name = "finlay",
       .objectName = "Finlay1",
       .caption = "&Finlay e Wilkinson",
       .hint = "Finlay & Wilkinson (1963) - Regressão linear",
       .visibleByDefault = true,
       .description = "Finlay & Wilkinson (1963), regressão linear",
       .method = FinlayMethod},
      {.name = "eberhart",
       .objectName = "Eberhart1",
       .caption = "&Eberhart e Russell",
       .hint = "Eberhart  & Russell (1966) - Regressão linear",
       .visibleByDefault = true,
       .description = "Eberhart & Russell (1966), regressão linear",
       .method = EberhartMethod},
      {.name = "cruz",
       .objectName = "Cruzetal1",
       .caption = "&Cruz et al.",
       .hint = "Cruz, Torres & Vencovsky (1989) -Regressão linear bissegmentada",
       .visibleByDefault = true,
       .description = "Cruz, Torres & Vencovsky (1989), regressão bissegmentada",
       .method = CruzMethod},
      {.name = "ammi",
       .objectName = "Ammi1",
       .caption = "A&mmi",
       .hint = "Mandel (1971) - Modelo com efeitos principais aditivos e Interação "
               "multiplicativa - Componentes Principais (CP)",
       .visibleByDefault = true,
       .description = "AMMI (Crossa, 1990)",
       .method = AmmiMethod},
      {.name = "toler",
       .objectName = "Toler1",
       .caption = "&Toler",
       .hint = "",
       .visibleByDefault = true,
       .description = "Toler (1990), modelo bissegmentado e modelo linear simples",
       .method = TolerMethod,
       .end = TCommandEnd::ShowReportIfCompleted,
       .continuation = TolerContinuation},
      {.name = "silva",
       .objectName = "JGCSilva1",
       .caption = "&JGCSilva",
       .hint = "",
       .visibleByDefault = false,
       .description = "Silva (1998), modelo segmentado com junção",
       .method = SilvaMethod,
       .end = TCommandEnd::Nothing},
      {.name = "silva-mod",
       .objectName = "Silvamodificado1",
       .caption = "&Silva modificado",
       .hint = "",
       .visibleByDefault = false,
       .description = "Silva (1998), modelo segmentado modificado",
       .method = SilvaModMethod,
       .end = TCommandEnd::Nothing},
      {.name = "silva-toler",
       .objectName = "Silva1",
       .caption = "Si&lva e Toler",
       .hint = "",
       .visibleByDefault = false,
       .description = "Silva e Toler, modelo bissegmentado",
       .method = SilvaTolerMethod,
       .end = TCommandEnd::Nothing},
  };
  return commands;
}

const TAnalysisCommand* FindAnalysisCommand(std::string_view name) {
  for (const TAnalysisCommand& c : AnalysisCommands()) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

TRunOutcome RunCommand(const TAnalysisCommand& command, TSession& session, THost& host) {
  const TBusyCursor busy(host);
  TRunOutcome out = RunAnalysis(command.method(), session, host);
  // A host that could not answer has ended the conversation: nothing more is shown.
  if (out.aborted) return out;
  const bool completed = !out.abandoned;
  if (completed && command.continuation) command.continuation(out, session, host);
  switch (command.end) {
    case TCommandEnd::ShowReport:
      host.ShowReport(session.report);
      break;
    case TCommandEnd::ShowReportIfCompleted:
      if (completed) host.ShowReport(session.report);
      break;
    case TCommandEnd::Inform:
      if (completed) host.Inform(command.endMessage);
      break;
    case TCommandEnd::Nothing:
      break;
  }
  return out;
}

}  // namespace qv
