// qv_convert IN OUT: copies a table into another file, of the format its extension says
// (.db Paradox, .dbf dBase, .csv CSV). It goes through TDataTable only, so the copy is what the
// program itself would read and write: OUT is replaced only by a complete copy (a value the
// target format refuses leaves it as it was), and never when it is IN itself.
#include <cstdio>
#include <exception>

#include "tables/datatable.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qv_convert IN OUT   (.db, .dbf or .csv)\n");
    return 2;
  }
  try {
    qv::TDataTable in;
    in.SetName(argv[1]);
    in.Open();
    in.SaveCopy(argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qv_convert: %s\n", e.what());
    return 1;
  }
  return 0;
}
