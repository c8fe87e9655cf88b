// The program-wide state of one session: parameters, means, report and the table object.
// Owned by main() and passed down by reference; nothing of it is a mutable global.
#pragma once

#include "analysis/means.h"
#include "analysis/params.h"
#include "analysis/report.h"
#include "tables/datatable.h"

namespace qv {

struct TSession {
  TAnalysisParams params;
  TGxeMeans means;
  TReport report;
  TDataTable table;
  // The decimal separator of the General layout: the system locale's in the windows, "." on
  // the command line.
  char decimalSeparator = '.';
};

}  // namespace qv
