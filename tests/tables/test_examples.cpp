// The bundled example tables: each Paradox file holds exactly the means of its CSV file, one
// record per genotype and environment.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "table_test_util.h"
#include "tables/datatable.h"

namespace qv {
namespace {

using testing::AllRows;

TEST(Examples, ParadoxTablesHoldTheMeansOfTheirCsvFiles) {
  const struct {
    const char* name;
    int g, a;
  } tables[] = {{"onofri_winterwheat", 8, 7}, {"sharma_met", 7, 6}, {"lu_stability", 5, 6}};
  const std::vector<FieldDef> fields = {
      {"gen", FieldType::Float, 0}, {"env", FieldType::Float, 0}, {"yield", FieldType::Float, 0}};
  for (const auto& e : tables) {
    const std::string base = std::string(QV_EXAMPLES_DIR) + "/" + e.name;
    TDataTable db, csv;
    db.SetName(base + ".db");
    db.Open();
    csv.SetName(base + ".csv");
    csv.Open();
    EXPECT_EQ(db.Fields(), fields) << e.name;
    const auto rows = AllRows(db);
    EXPECT_EQ(rows, AllRows(csv)) << e.name;
    std::set<std::pair<double, double>> cells;
    for (const auto& r : rows) {
      ASSERT_TRUE(r[0].IsNumber() && r[1].IsNumber() && r[2].IsNumber()) << e.name;
      EXPECT_TRUE(r[0].AsNumber() >= 1 && r[0].AsNumber() <= e.g) << e.name;
      EXPECT_TRUE(r[1].AsNumber() >= 1 && r[1].AsNumber() <= e.a) << e.name;
      cells.insert({r[0].AsNumber(), r[1].AsNumber()});
    }
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(e.g * e.a)) << e.name;
    EXPECT_EQ(cells.size(), rows.size()) << e.name;  // no genotype twice in an environment
  }
}

}  // namespace
}  // namespace qv
