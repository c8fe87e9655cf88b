// libFuzzer target for the analysis run's reading of a table: any bytes, as a table file of one
// of the three formats (the first byte chooses it; the next two give g and a), analysed by
// Wricke's method as the command line would run it.
//
// Besides the sanitizers' findings it checks what the run promises whatever the table holds:
// the run ends with the table closed; every variable taken up is analysed, refused or failed,
// and counted once; the report keeps one line per line (no control character but its CR LF
// line ends, whatever the field names and cells hold); no message shows a control character
// but the line breaks of the boxes; and every number of an analysed variable's result (what its
// report prints) is finite.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "analysis/host.h"
#include "analysis/run.h"
#include "analysis/session.h"
#include "methods/wricke.h"
#include "support/fuzz_workdir.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "run fuzz: %s\n", what);
    std::abort();
  }
}

// No control character but the line breaks `allowed`.
bool Printable(const std::string& text, const char* allowed) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 || u == 0x7F) && !std::strchr(allowed, c)) return false;
  }
  return true;
}

class TForm : public qv::TParametersForm {
 public:
  std::map<qv::Control, std::string> entries;
  std::map<qv::Control, int> selected;
  int items = 0;
  void SetCaption(const std::string& caption) override {
    Check(Printable(caption, ""), "captions have no control characters");
  }
  void SetControlVisible(qv::Control, bool) override {}
  void SetListItems(qv::Control list, const std::vector<std::string>& names) override {
    items = static_cast<int>(names.size());
    selected[list] = -1;
  }
  void SelectListItem(qv::Control list, int index) override {
    selected[list] = index >= 0 && index < items ? index : -1;
  }
  int SelectedIndex(qv::Control list) const override { return selected.at(list); }
  std::string EntryText(qv::Control edit) const override {
    const auto it = entries.find(edit);
    return it == entries.end() ? std::string() : it->second;
  }
  void ShowModal(qv::TParamsPhase, const std::string&) override {}
};

class THostOfInput : public qv::THost {
 public:
  explicit THostOfInput(std::string path) : path_(std::move(path)) {}
  std::optional<std::string> ChooseTableFile() override { return path_; }
  qv::TParametersForm& Params() override { return form; }
  bool Confirm(const std::string& text) override { return Shown(text), true; }
  bool WarnYesNo(const std::string& text) override { return Shown(text), false; }
  void Warn(const std::string& text) override { Shown(text); }
  void Inform(const std::string& text) override { Shown(text); }
  void ShowMessage(const std::string& text) override { Shown(text); }
  void SetBusyCursor(bool) override {}
  void ShowReport(const qv::TReport&) override {}
  TForm form;

 private:
  static void Shown(const std::string& text) {
    Check(Printable(text, "\r\n"), "messages have no control characters");
  }
  std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  static const char* const kExtensions[] = {".csv", ".db", ".dbf"};
  const std::string path =
      (qv::testing::FuzzWorkDir("fuzz-run") / (std::string("table") + kExtensions[data[0] % 3]))
          .string();
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data + 3), static_cast<std::streamsize>(size - 3));
  }
  // g and a from 1 to 16: small tables, so that the run reaches the variables.
  THostOfInput host(path);
  host.form.entries = {{qv::Control::EditNum_gen, std::to_string(data[1] % 16 + 1)},
                       {qv::Control::EditNum_amb, std::to_string(data[2] % 16 + 1)},
                       {qv::Control::EditNum_rep, "3"}};
  static qv::TSession session;  // allocated once, as the program's is
  const qv::TRunOutcome out = qv::RunAnalysis(qv::WrickeMethod(), session, host);

  Check(!session.table.IsOpen(), "the run leaves the table closed");
  int analysed = 0, refused = 0;
  for (const qv::TVariableRecord& v : out.variables) {
    analysed += v.status == qv::TVariableStatus::Analysed;
    refused += v.status == qv::TVariableStatus::Refused;
  }
  Check(analysed == out.variablesAnalysed, "every analysed variable counted once");
  Check(refused == out.variablesRefused + out.parameterRefusals, "every refusal counted once");
  const std::string& report = session.report.Text();
  for (std::size_t k = 0; k < report.size(); ++k) {
    const char c = report[k];
    if (c == '\r') {
      Check(k + 1 < report.size() && report[k + 1] == '\n', "CR only before LF in the report");
    } else if (c == '\n') {
      Check(k > 0 && report[k - 1] == '\r', "LF only after CR in the report");
    } else {
      Check(Printable(std::string(1, c), ""), "no control characters in the report's lines");
    }
  }
  for (const qv::TVariableRecord& v : out.variables) {
    for (const qv::TResultTable& t : v.result.Data().tables) {
      for (const auto& row : t.rows) {
        for (const qv::TCell& cell : row) {
          const auto* x = std::get_if<long double>(&cell);
          Check(!x || std::isfinite(*x), "no number that is not one in the report");
        }
      }
    }
  }
  return 0;
}
