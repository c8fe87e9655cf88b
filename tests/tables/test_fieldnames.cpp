// The checks of a new field name that the rename dialog and the command line show the user.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tables/fieldnames.h"

namespace qv {
namespace {

const std::vector<std::string> kNames = {"gen", "env", "Produção", "altura"};

TEST(FieldNames, RenameProblemsByCase) {
  const struct {
    TableType format;
    int field;
    std::string newName, message;  // "" when the name is accepted
  } cases[] = {
      {TableType::Paradox, 0, "genotipo", ""},
      {TableType::Paradox, 0, "GEN", ""},  // the field's own name in other letters
      {TableType::Paradox, 3, "env", "Já existe um campo chamado \"env\" nesta tabela."},
      {TableType::Paradox, 3, "ENV", "Já existe um campo chamado \"env\" nesta tabela."},
      {TableType::Paradox, 3, "produção", "Já existe um campo chamado \"Produção\" nesta tabela."},
      {TableType::Paradox, 3, "PRODUÇÃO", ""},  // letter case is ignored for ASCII letters only
      {TableType::Paradox, 0, "", "O nome do campo não pode ficar em branco."},
      {TableType::Csv, 0, "   ", "O nome do campo não pode ficar em branco."},
      {TableType::Paradox, 0, "peso(kg)", kForbiddenFieldCharsMessage},
      {TableType::Csv, 0, "a*b", kForbiddenFieldCharsMessage},
      {TableType::Paradox, 0, ")", kForbiddenFieldCharsMessage},
      {TableType::Paradox, 0, "a\r\nb",
       "O nome do campo não pode ter caracteres de controle (tabulação, quebra de linha)."},
      {TableType::DBase, 0, " gen", "O nome do campo não pode começar nem terminar com espaço."},
      {TableType::Paradox, 0, std::string(25, 'p'), ""},
      {TableType::Paradox, 0, std::string(26, 'p'),
       "O nome \"" + std::string(26, 'p') +
           "\" tem 26 caracteres; numa tabela Paradox o nome de um campo tem no máximo 25."},
      {TableType::DBase, 0, "Produtivid", ""},
      {TableType::DBase, 0, "Rendimentoç",
       "O nome \"Rendimentoç\" tem 11 caracteres; numa tabela dBase o nome de um campo tem no "
       "máximo 10."},
      {TableType::DBase, 0, "漢字",
       "O nome \"漢字\" tem caracteres que não podem ser gravados numa tabela dBase (código de "
       "página 1252)."},
      {TableType::Csv, 0, "漢字 e um nome bem mais comprido que 25", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FieldRenameProblem(c.format, kNames, c.field, c.newName), c.message) << c.newName;
  }
}

// Adding a field refuses what renaming refuses, except "(", ")" and "*": only the create
// command and the rename dialog check those.
TEST(FieldNames, NewFieldNamesAllowParenthesesButNotTakenNames) {
  EXPECT_EQ(NewFieldNameProblem(TableType::Paradox, kNames, "peso(kg)"), "");
  EXPECT_EQ(NewFieldNameProblem(TableType::Paradox, kNames, "ALTURA"),
            "Já existe um campo chamado \"altura\" nesta tabela.");
  EXPECT_TRUE(HasForbiddenFieldChars("x*2"));
  EXPECT_FALSE(HasForbiddenFieldChars("x_2"));
  EXPECT_EQ(MaxFieldNameLength(TableType::Paradox), 25u);
  EXPECT_EQ(MaxFieldNameLength(TableType::DBase), 10u);
  EXPECT_EQ(MaxFieldNameLength(TableType::Csv), 0u);
}

}  // namespace
}  // namespace qv
