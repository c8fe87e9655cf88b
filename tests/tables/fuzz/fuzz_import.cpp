// libFuzzer target for the whole import: any bytes as the text file of the table manager's
// "&Importar", written to a file and imported into a Paradox table through the command the
// window runs.
//
// Besides the sanitizers' findings it checks the import's promises: the temporary file is gone
// however the import ends; a table is written only when the import says so, and then it opens
// with the fields "Var. 1" ... "Var. n" and as many records as the import reported, every value
// finite or blank; the grid's display is resumed as often as it was suspended.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tables/datatable.h"
#include "tables/textimport.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "import fuzz: %s\n", what);
    std::abort();
  }
}

class Host : public qv::TTextTransferHost {
 public:
  explicit Host(std::string dir) : dir_(std::move(dir)) {}
  bool WarnOkCancel(const std::string&) override { return true; }
  bool WarnYesNo(const std::string&) override { return true; }
  void ShowMessage(const std::string& text) override { Check(!text.empty(), "a message"); }
  void ShowError(const std::string& text) override { Check(!text.empty(), "an error message"); }
  std::optional<std::string> ChooseImportSource() override { return dir_ + "/dados.txt"; }
  std::optional<std::string> ChooseImportTable() override { return dir_ + "/nova.db"; }
  std::optional<std::string> ChooseExportFile() override { return std::nullopt; }
  void OpenTableDialog(qv::TDataTable&) override {}
  void SuspendDisplay() override { ++suspended; }
  void ResumeDisplay() override { ++resumed; }
  int suspended = 0, resumed = 0;

 private:
  std::string dir_;
};

const std::string& WorkDir() {
  static const std::string dir = [] {
    std::string templ = (std::filesystem::temp_directory_path() / "qv-import-fuzz-XXXXXX").string();
    Check(mkdtemp(templ.data()) != nullptr, "a work directory");
    return templ;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& dir = WorkDir();
  std::filesystem::remove(dir + "/nova.db");
  {
    std::ofstream source(dir + "/dados.txt", std::ios::binary | std::ios::trunc);
    source.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  Host host(dir);
  qv::TDataTable table;
  const qv::TImportOutcome o = qv::ImportTextCommand(table, host);
  Check(!std::filesystem::exists(dir + "/" + qv::kImportTempName), "no temporary file left");
  Check(host.suspended == host.resumed, "the display is resumed");
  const bool written =
      o.status == qv::TTransferStatus::Done || o.status == qv::TTransferStatus::Stopped;
  Check(written == std::filesystem::exists(dir + "/nova.db"), "a table only when one is made");
  Check(written == table.IsOpen(), "the new table is open");
  if (!written) return 0;
  Check(table.FieldCount() == static_cast<int>(o.fields) && table.RecordCount() == o.records,
        "the table the import reported");
  for (int i = 0; i < table.FieldCount(); ++i) {
    Check(table.FieldName(i) == "Var. " + std::to_string(i + 1), "the fields Var. 1 ... Var. n");
  }
  for (std::size_t r = 0; r < table.RecordCount(); ++r) {
    for (int i = 0; i < table.FieldCount(); ++i) {
      const qv::TValue v = table.ValueAt(r, i);
      Check(v.IsBlank() || (v.IsNumber() && std::isfinite(v.AsNumber())), "finite or blank");
    }
  }
  return 0;
}
