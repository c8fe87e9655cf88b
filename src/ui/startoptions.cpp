#include "ui/startoptions.h"

#include "commands/commands.h"

#ifndef QV_VERSION
#define QV_VERSION "0.0.0"
#endif

namespace qv::ui {
namespace {

std::string WithoutAccessKey(std::string caption) {
  std::erase(caption, '&');
  return caption;
}

}  // namespace

TCommandLine ReadCommandLine(const std::vector<std::string>& arguments) {
  TCommandLine line;
  for (std::size_t k = 1; k < arguments.size(); ++k) {
    const std::string& a = arguments[k];
    if (a == "--help" || a == "-h") {
      line.help = true;
    } else if (a == "--version") {
      line.version = true;
    } else if (a == "--analises-ocultas") {
      line.showHiddenAnalyses = true;
    } else if (line.error.empty()) {
      line.error = "opção desconhecida \"" + a + "\"";
    }
  }
  return line;
}

bool AsksHelpOrVersion(const std::vector<std::string>& arguments) {
  const TCommandLine line = ReadCommandLine(arguments);
  return line.help || line.version;
}

std::string HelpText() {
  std::string hidden;
  for (const TAnalysisCommand& c : AnalysisCommands()) {
    if (c.visibleByDefault) continue;
    hidden += (hidden.empty() ? "\"" : ", \"") + WithoutAccessKey(c.caption) + "\"";
  }
  return "Uso: quorvandelia [opções]\n"
         "\n"
         "Quorvandelia: análise de estabilidade e adaptabilidade de genótipos.\n"
         "Abre a janela principal; as análises começam pelo menu Análises.\n"
         "\n"
         "Opções:\n"
         "  --analises-ocultas  mostra no menu Análises os itens ocultos: " +
         hidden +
         "\n"
         "  -h, --help          mostra esta ajuda e sai\n"
         "  --version           mostra a versão e sai\n"
         "\n"
         "Aceita também as opções do Qt (por exemplo -platform, -style).\n"
         "Para analisar sem janelas, use quorvandelia-cli.\n";
}

std::string VersionText() {
  return std::string("quorvandelia ") + QV_VERSION + "\n";
}

}  // namespace qv::ui
