// The analysis run shared by every stability method: choose the table, ask for and check the
// parameters, then analyse every numeric column of the table as a response variable, one
// after the other, writing each one's results into the report.
#pragma once

#include <string>

#include "analysis/host.h"
#include "analysis/method.h"
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
}  // namespace text

struct TRunOutcome {
  bool tableOpened = false;
  bool abandoned = false;          // No to "Deseja Continuar", a data error, or a method's abandon
  bool dataError = false;          // some variable's records could not be read
  bool parametersRefused = false;  // the user gave up in the parameters dialog
  bool aborted = false;            // the host could not answer (TRunAborted)
  std::string abortReason;
  int variablesAnalysed = 0;
  int variablesRefused = 0;
};

// The file dialog and the opening of the chosen table; on failure the plain message
// kOpenFailed and the table left closed. True when the table is open afterwards.
bool OpenTableDialog(TDataTable& table, THost& host);

// Reads field `field` (1-based) of every record into session.means.Y. Returns an empty string
// on success, or the message of the database error box.
std::string ReadVariable(TSession& session, int field, bool accumulateMediaGeral);

TRunOutcome RunAnalysis(const TMethod& method, TSession& session, THost& host);

}  // namespace qv
