// The analysis run shared by every stability method: choose the table, ask for and check the
// parameters, then analyse every numeric column of the table as a response variable, one
// after the other, writing each one's results into the report.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/host.h"
#include "analysis/method.h"
#include "analysis/results.h"
#include "analysis/session.h"

namespace qv {

// The texts of the run's questions and messages.
namespace text {
inline constexpr const char* kConfirmParams = "Esta tudo Ok com as definições dos Parâmetros?";
inline constexpr const char* kErrorsContinue = "Erros foram encontrados! Deseja Continuar";
inline constexpr const char* kOpenFailed =
    "Tente mudar o nome do diretório e arquivo para um nome sem acentos";
inline constexpr const char* kDatabaseError =
    "Erro no Banco de Dados Foram encontrados\rProvavelmente valores da coluna de ambiente ou "
    "de genótipos\rCom valores maiores que os limites definidos ou colunas foram\rtrocadas. "
    "Verifique o Banco de Dados para continuar!\rLinhas em branco podem também ser a causa de "
    "erro.";
inline constexpr const char* kErrorLine =
    "ERRO: Erros foram encontrados! Análise desta variável foi abortada\r\n";
inline constexpr const char* kVariableLine = "Análise da variável ";
// Before the cause of a refused variable, in the report.
inline constexpr const char* kRefusedLine = "Variável não analisada: ";
}  // namespace text

// What became of one analysed field of the table.
enum class TVariableStatus {
  Analysed,  // its block is in the report, its result value in `result`
  Refused,   // the method refused it (`cause`), or ended the run on it
  Error,     // its records could not be read, or an earlier variable ended the run (`cause`
             // holds the box shown)
};

struct TVariableRecord {
  std::string name;
  TVariableStatus status = TVariableStatus::Analysed;
  std::string cause;
  TAnalysisParams params;  // as the dialog left them for this variable
  TAnyResult result;
  // Toler's simple linear model, which the Toler command fits to the means of the run's last
  // variable and appends to its block: its result, or the cause why it was not reported.
  TAnyResult continuation;
  std::string continuationCause;
};

struct TRunOutcome {
  bool tableOpened = false;
  std::string openError;           // why the table could not be opened (the table layer's words)
  bool abandoned = false;          // No to "Deseja Continuar", a data error, or a method's abandon
  bool dataError = false;          // some variable's records could not be read
  bool parametersRefused = false;  // the user gave up in the parameters dialog
  bool aborted = false;            // the host could not answer (TRunAborted)
  std::string abortReason;
  int variablesAnalysed = 0;
  int variablesRefused = 0;
  // Refusals whose cause is a parameter outside the method's domain (TRefusal::badParameter),
  // those of the run's scope included.
  int parameterRefusals = 0;
  // Every field taken up as a response variable, in table order.
  std::vector<TVariableRecord> variables;
};

// The file dialog and the opening of the chosen table; on failure the plain message
// kOpenFailed (with the table layer's cause, THost::ShowOpenFailure, also put in `cause` when
// given) and the table left closed. True when the table is open afterwards.
bool OpenTableDialog(TDataTable& table, THost& host, std::string* cause = nullptr);

// Why the records of a variable could not be read: the message of the database error box.
struct TReadError {
  std::string message;
};

// Reads field `field` (1-based) of every record into session.means.Y (and MediaGeral when the
// method accumulates it); nothing on success.
[[nodiscard]] std::optional<TReadError> ReadVariable(TSession& session, int field,
                                                     bool accumulateMediaGeral);

// The run: the table, the dialog's two phases and every variable, then its clean-up, whatever
// the outcome: the table closed and every control of the dialog visible again. Showing the
// report or the closing message at the end is the command's part (commands/commands.h).
TRunOutcome RunAnalysis(const TMethod& method, TSession& session, THost& host);

}  // namespace qv
