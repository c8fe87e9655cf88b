#include "cli/registry.h"

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

namespace qv {

const std::vector<TMethodInfo>& MethodCatalogue() {
  static const std::vector<TMethodInfo> catalogue = {
      {"wricke", "Wricke (1965), ecovalência", WrickeRun},
      {"plaisted", "Plaisted & Peterson (1959), componentes de variância por pares", PlaistedRun},
      {"linbinns", "Lin & Binns (1988), índice de superioridade", LinBinnsRun},
      {"annicchiarico", "Annicchiarico (1992), índice de confiança", AnnicchiaricoRun},
      {"finlay", "Finlay & Wilkinson (1963), regressão linear", FinlayRun},
      {"eberhart", "Eberhart & Russell (1966), regressão linear", EberhartRun},
      {"cruz", "Cruz, Torres & Vencovsky (1989), regressão bissegmentada", CruzRun},
      {"ammi", "AMMI (Crossa, 1990)", AmmiRun},
      {"toler", "Toler (1990), modelo bissegmentado e modelo linear simples", TolerCommandRun},
      {"silva", "Silva (1998), modelo segmentado com junção", SilvaRun},
      {"silva-mod", "Silva (1998), modelo segmentado modificado", SilvaModRun},
      {"silva-toler", "Silva e Toler, modelo bissegmentado", SilvaTolerRun},
  };
  return catalogue;
}

const TMethodInfo* FindMethod(const std::string& name) {
  for (const TMethodInfo& m : MethodCatalogue()) {
    if (m.name == name) return &m;
  }
  return nullptr;
}

}  // namespace qv
