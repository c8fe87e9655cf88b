// Trial data as breeders keep it, brought into the tables the analyses read.
//
// A trial file usually names its genotypes and environments ("BRS 264", "Londrina 2019") and
// often holds one row per plot. The analyses need integer codes 1..g and 1..a, one record of
// means per genotype and environment, and, for the tests of their mean squares, the residual
// mean square (QME), its degrees of freedom (gle) and the number of replicates (r) of the
// individual analyses of the environments. This module gives all three:
//
//  - codes for the labels of a column, in the order in which the labels first appear;
//  - the means of the plots of each genotype x environment cell;
//  - the residual of the individual analyses in randomized complete blocks, pooled over the
//    environments: the residual of the model environment + block(environment) + genotype +
//    genotype x environment, whose design matrix splits into one block per environment, so
//    that its residual sum of squares and degrees of freedom are the sums of those of the
//    additive models block + genotype fitted in each environment on its own.
//
// A missing plot leaves the block design of its environment unbalanced; the additive model is
// then fitted by least squares (the intra-block analysis: the block effects are estimated
// after the genotypes are absorbed; Cochran & Cox 1957, ch. 11; Searle 1971, §7.2), which gives
// the residual R's aov gives for the same model, with one degree of freedom fewer per missing
// plot. Blank values are missing plots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tables/datatable.h"

namespace qv {

// A fault of the data that stops the preparation (a record without a genotype, say): the
// message names the record and the field, in Portuguese.
class TPlotDataError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The text of a label: a text as it is, a number in its shortest exact form.
std::string LabelText(const TValue& value);

// The value as a real: a number as it is, a text when it reads as one; with decimalComma a text
// may also use "," as decimal point ("12,5", as spreadsheets under a Portuguese locale write).
bool ValueAsReal(const TValue& value, bool decimalComma, double& out);

// The levels of a column: codes 1, 2, ... in the order in which the labels first appear.
struct TLevels {
  std::vector<std::string> labels;  // labels[c - 1] is the label of code c
  std::vector<TValue> values;       // the value that first carried each label
  std::vector<std::uint32_t> code;  // of every record, 1-based
};
// Throws TPlotDataError for a record whose value in the field is blank.
TLevels CodeLevels(const TDataTable& table, int field);

// One plot of one response variable.
struct TPlot {
  std::uint32_t environment;  // 0-based levels
  std::uint32_t genotype;
  std::uint32_t block;  // 0-based level of the block label within the whole table
  double value;
};

// The residual of the randomized complete block analyses of the environments, pooled.
struct TPooledResidual {
  long double ss = 0;
  long long df = 0;
  double qme = 0;  // ss / df, when df > 0
  // Environments whose blocks do not all connect through common genotypes (two blocks with no
  // genotype in common, which a missing plot rarely causes): their block effects are estimated
  // only up to the links that exist, and their degrees of freedom count what is estimable.
  std::size_t disconnectedEnvironments = 0;
};
// Throws TPlotDataError when an environment has more blocks than kMaxBlocksPerEnvironment.
inline constexpr std::size_t kMaxBlocksPerEnvironment = 1000;
TPooledResidual PooledBlockResidual(std::vector<TPlot> plots, std::size_t environments);

// The means of the plots of every genotype x environment cell that has any, cells in the order
// of the genotype codes and, within a genotype, of the environment codes.
struct TCellMeans {
  std::vector<std::uint32_t> genotype, environment;  // 0-based levels, one per cell
  struct TResponse {
    int field = 0;
    std::vector<double> mean;                  // one per cell; NaN where the cell has no value
    std::vector<std::uint32_t> plots;          // values averaged in each cell
    std::uint32_t minPlots = 0, maxPlots = 0;  // over the cells that have a record
  };
  std::vector<TResponse> responses;
  std::size_t plots = 0;  // records of the plot table
  // Cells with no record at all: how many, and the first few as (genotype, environment)
  // levels, in the order of the codes.
  std::size_t missingCells = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> missingExamples;
};
// Numeric responses only: a value of a response field that does not read as a number
// (ValueAsReal) throws TPlotDataError.
TCellMeans CellMeans(const TDataTable& table, const TLevels& genotypes, const TLevels& environments,
                     const std::vector<int>& responses, bool decimalComma = false);

// The plots of one response field (blank values left out), with blocks coded by their label
// within each environment.
std::vector<TPlot> PlotsOf(const TDataTable& table, const TLevels& genotypes,
                           const TLevels& environments, const TLevels& blocks, int response,
                           bool decimalComma = false);

}  // namespace qv
