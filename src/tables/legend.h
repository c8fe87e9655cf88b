// The legend of a table whose genotype and environment labels were made into codes ("table
// convert --recode"): a CSV file beside the table, named after it with ".legend.csv"
// ("ensaio.db" -> "ensaio.legend.csv"), with one record per code: the name of the code's
// column, the code, and the label it stands for ("cultivar,2,IAC Ipê").
#pragma once

#include <map>
#include <string>

namespace qv {

// The legend file of a table: its name with the extension replaced by ".legend.csv".
std::string LegendPath(const std::string& tablePath);

// The labels of each column's codes: legend[column][code].
using TCodeLegend = std::map<std::string, std::map<long long, std::string>>;

// Reads a legend file. Throws TableError for a file that cannot be read or lacks the fields
// "column", "code" and "label"; records with a blank or fractional code are left out.
TCodeLegend ReadLegend(const std::string& path);

}  // namespace qv
