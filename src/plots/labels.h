// The names the plots give genotypes and environments: their codes, or the labels a legend
// file beside the table gives them (tables/legend.h: "table convert --recode" writes one when
// it makes a trial file's names into codes).
#pragma once

#include <map>
#include <string>

#include "analysis/params.h"
#include "tables/datatable.h"

namespace qv::plots {

struct TPlotLabels {
  std::map<int, std::string> genotypes, environments;  // by code

  // The name of genotype (environment) i, or its code when it has none.
  std::string Genotype(int i) const;
  std::string Environment(int j) const;
};

// The labels for a run on `table` (open or closed: its name and field definitions are read)
// with the code columns of `params`, from the legend beside the table when there is one.
// `warning` says, in Portuguese, why a legend that exists could not be used; the codes are
// then the labels.
struct TPlotLabelsRead {
  TPlotLabels labels;
  std::string warning;
};
TPlotLabelsRead LabelsForTable(const TDataTable& table, const TAnalysisParams& params);

}  // namespace qv::plots
