// qv_convert IN OUT: copies a table into another file, of the format its extension says
// (.db Paradox, .dbf dBase, .csv CSV). OUT is replaced. It goes through TDataTable only, so
// the copy is what the program itself would read and write.
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
    qv::TDataTable out;
    out.SetName(argv[2]);
    out.CopyFieldDefinitions(in);
    out.CreateTable();
    out.Open();
    out.BeginBatch();  // one write of OUT for the whole copy
    for (in.First(); !in.AtEnd(); in.Next()) {
      out.Append();
      for (int i = 0; i < in.FieldCount(); ++i) {
        if (!in.IsBlank(i)) out.SetValue(i, in.GetValue(i));
      }
      out.Post();
    }
    out.EndBatch();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qv_convert: %s\n", e.what());
    return 1;
  }
  return 0;
}
