// quorvandelia-cli table convert IN OUT with --recode, --means, --block or --decimal-comma:
// a trial file as breeders keep it (names for genotypes and environments, one row per plot,
// decimal commas) made into a table the analyses read, with the numbers the parameters dialog
// asks for (analysis/plotdata.h does the arithmetic).
//
//  --recode GEN,ENV  the labels of the genotype and environment columns become codes 1..g and
//                    1..a in order of first appearance; the legend (column, code, label) is
//                    written beside OUT as OUT's name with ".legend.csv"; g and a are printed.
//  --means           one record per genotype x environment cell: the mean of its plots for
//                    every numeric field other than the codes and the block.
//  --block COL       with --means: r, and the residual mean square and degrees of freedom of
//                    the individual analyses in randomized blocks, pooled over environments
//                    (the QME, gle and r of the parameters dialog).
//  --decimal-comma   texts such as "12,5" read as numbers: a text field whose every value so
//                    reads becomes a real field.
#pragma once

#include <ostream>
#include <string>

#include "tables/datatable.h"
#include "tables/legend.h"

namespace qv {

struct TTrialConvert {
  int genotype = -1, environment = -1, block = -1;  // 0-based fields; -1 none
  bool recode = false, means = false, decimalComma = false;
};

// Writes OUT (of format `type`) and the legend; prints what it found on `out` and warnings
// (missing cells, unequal numbers of plots) on `err`. Throws TableError for a file that cannot
// be written and TPlotDataError (analysis/plotdata.h) for data it cannot use.
void ConvertTrial(const TDataTable& in, const std::string& outPath, TableType type,
                  const TTrialConvert& c, std::ostream& out, std::ostream& err);

}  // namespace qv
