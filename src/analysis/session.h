// The program-wide state of one session: parameters, means, report, the fitting storage of the
// nonlinear models and the table object. Owned by main() (the desktop program's application
// object owns one) and passed down by reference; nothing of it is a mutable global. Everything
// in it is allocated once, at the program's full capacity (the fitting storage when the first
// fit needs it).
#pragma once

#include "analysis/fitstorage.h"
#include "analysis/means.h"
#include "analysis/params.h"
#include "analysis/report.h"
#include "tables/datatable.h"

namespace qv {

struct TSession {
  TAnalysisParams params;
  TGxeMeans means;
  TReport report;
  TFitStorage fitStorage;
  TDataTable table;
  // The decimal separator of the General layout: the system locale's in the windows, "." on
  // the command line.
  char decimalSeparator = '.';
  // The segmented models start from the best junctions of their profile scan (off: the fixed
  // start values, so that reports stay comparable with earlier ones).
  bool scanStart = false;
};

}  // namespace qv
