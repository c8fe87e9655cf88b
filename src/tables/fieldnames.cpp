#include "tables/fieldnames.h"

#include "tables/codepage.h"
#include "tables/tablebackend.h"

namespace qv {

const char* const kForbiddenFieldCharsMessage =
    "Voce está tentando usar caracteres não permitidos, \rpelo programa, quais sejam, \"*\", "
    "\"(\" ou \")\"";

bool HasForbiddenFieldChars(const std::string& name) {
  return name.find_first_of("()*") != std::string::npos;
}

std::size_t MaxFieldNameLength(TableType format) {
  switch (format) {
    case TableType::Paradox:
      return 25;
    case TableType::DBase:
      return 10;
    case TableType::Csv:
    case TableType::Auto:
      break;
  }
  return 0;
}

std::string NewFieldNameProblem(TableType format, const std::vector<std::string>& names,
                                const std::string& newName) {
  if (newName.find_first_not_of(' ') == std::string::npos) {
    return "O nome do campo não pode ficar em branco.";
  }
  for (const char c : newName) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      return "O nome do campo não pode ter caracteres de controle (tabulação, quebra de linha).";
    }
  }
  if (newName.front() == ' ' || newName.back() == ' ') {
    return "O nome do campo não pode começar nem terminar com espaço.";
  }
  const std::size_t max = MaxFieldNameLength(format);
  const char* formatName = format == TableType::Paradox ? "Paradox" : "dBase";
  if (max > 0) {
    std::string encoded;
    if (!detail::TextCodec("CP1252").Encode(newName, encoded)) {
      return "O nome \"" + newName + "\" tem caracteres que não podem ser gravados numa tabela " +
             formatName + " (código de página 1252).";
    }
    if (encoded.size() > max) {
      return "O nome \"" + newName + "\" tem " + std::to_string(encoded.size()) +
             " caracteres; numa tabela " + formatName + " o nome de um campo tem no máximo " +
             std::to_string(max) + ".";
    }
  } else if (!detail::IsValidUtf8(newName)) {
    return "O nome do campo tem bytes que não formam um texto UTF-8.";
  }
  const std::string key = detail::LowerAscii(newName);
  for (const std::string& name : names) {
    if (detail::LowerAscii(name) == key) {
      return "Já existe um campo chamado \"" + name + "\" nesta tabela.";
    }
  }
  return {};
}

std::string FieldRenameProblem(TableType format, const std::vector<std::string>& names, int field,
                               const std::string& newName) {
  if (HasForbiddenFieldChars(newName)) return kForbiddenFieldCharsMessage;
  std::vector<std::string> others = names;
  if (field >= 0 && static_cast<std::size_t>(field) < others.size()) {
    others.erase(others.begin() + field);
  }
  return NewFieldNameProblem(format, others, newName);
}

}  // namespace qv
