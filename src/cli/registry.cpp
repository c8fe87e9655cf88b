#include "cli/registry.h"

#include "methods/wricke.h"

namespace qv {

const std::vector<TMethodInfo>& MethodCatalogue() {
  static const std::vector<TMethodInfo> catalogue = {
      {"wricke", "Wricke (1965), ecovalência", true},
      {"plaisted", "Plaisted & Peterson (1959), componentes de variância por pares", false},
      {"linbinns", "Lin & Binns (1988), índice de superioridade", false},
      {"annicchiarico", "Annicchiarico (1992), índice de confiança", false},
      {"finlay", "Finlay & Wilkinson (1963), regressão linear", false},
      {"eberhart", "Eberhart & Russell (1966), regressão linear", false},
      {"cruz", "Cruz, Torres & Vencovsky (1989), regressão bissegmentada", false},
      {"ammi", "AMMI (Crossa, 1990)", false},
      {"toler", "Toler (1990), modelo bissegmentado e modelo linear simples", false},
      {"silva", "Silva (1998), modelo segmentado com junção", false},
      {"silva-mod", "Silva (1998), modelo segmentado modificado", false},
      {"silva-toler", "Silva e Toler, modelo bissegmentado", false},
  };
  return catalogue;
}

std::optional<TMethod> FindMethod(const std::string& name) {
  if (name == "wricke") return WrickeMethod();
  return std::nullopt;
}

}  // namespace qv
