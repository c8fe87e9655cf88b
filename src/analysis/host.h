// The host port: how an analysis run talks to a person.
//
// The run is a fixed conversation (file dialog, parameters dialog in two phases, questions,
// warnings, report window). It never knows who answers: the Qt windows, the command line
// (answers from its options) or a scripted host in the tests all implement this port.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qv {

class TReport;

// The controls of the parameters dialog that a run shows, hides, fills and reads.
// A label is always shown or hidden together with its control.
enum class Control {
  EditAlpha,
  EditGLE,
  EditQME,
  EditNum_rep,
  EditNum_gen,
  EditNum_amb,
  ListBoxgenot,
  ListBoxAmb,
};
inline constexpr Control kAllControls[] = {
    Control::EditAlpha,   Control::EditGLE,     Control::EditQME,      Control::EditNum_rep,
    Control::EditNum_gen, Control::EditNum_amb, Control::ListBoxgenot, Control::ListBoxAmb};

// The two uses of the parameters dialog: once per run for the table (g, a, the code columns and
// the method's extras), and once per analysed variable for its residual entries.
enum class TParamsPhase { Table, Variable };

// The parameters dialog. It keeps its entries' texts between runs and between variables.
class TParametersForm {
 public:
  virtual ~TParametersForm() = default;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetControlVisible(Control control, bool visible) = 0;
  // Clears a list and fills it with the given items.
  virtual void SetListItems(Control list, const std::vector<std::string>& items) = 0;
  // Selects an item of a list; an index outside the list leaves it without a selection.
  virtual void SelectListItem(Control list, int index) = 0;
  virtual int SelectedIndex(Control list) const = 0;  // -1 when nothing is selected
  virtual std::string EntryText(Control edit) const = 0;
  // Shows the dialog until it is closed. `variableName` is the field being asked about in the
  // Variable phase and "" in the Table phase.
  virtual void ShowModal(TParamsPhase phase, const std::string& variableName) = 0;
  // The Variable phase of a new variable begins: field number `field` (1-based, in table order)
  // of that name. Its dialog follows, shown again until its entries pass; the number tells two
  // fields of the same name apart.
  virtual void VariableStarted(int /*field*/, const std::string& /*name*/) {}
};

// Thrown by a host that cannot answer a question it is asked (the command line cannot show
// the per-variable dialog again). The run stops, closes the table and reports it as aborted.
class TRunAborted : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class THost {
 public:
  virtual ~THost() = default;
  // The open-file dialog for tables: the chosen file, or nothing when cancelled.
  virtual std::optional<std::string> ChooseTableFile() = 0;
  virtual TParametersForm& Params() = 0;
  virtual bool Confirm(const std::string& text) = 0;      // question box, Yes/No
  virtual bool WarnYesNo(const std::string& text) = 0;    // warning box, Yes/No
  virtual void Warn(const std::string& text) = 0;         // warning box, OK
  virtual void Inform(const std::string& text) = 0;       // information box, OK
  virtual void ShowMessage(const std::string& text) = 0;  // plain message box
  // The chosen table could not be opened: the program's message box text and the table layer's
  // precise cause (the file and what is wrong with it). A host that has room for both shows
  // both; by default the box shows the text alone.
  virtual void ShowOpenFailure(const std::string& text, const std::string& /*cause*/) {
    ShowMessage(text);
  }
  virtual void SetBusyCursor(bool busy) = 0;
  // Brings up the report window with the report's current text (non-modal).
  virtual void ShowReport(const TReport& report) = 0;
};

// The busy cursor for as long as the object lives: set when it is made, restored when it goes,
// whatever ends the work between (a return, a refusal, an exception).
class TBusyCursor {
 public:
  explicit TBusyCursor(THost& host) : host_(host) { host_.SetBusyCursor(true); }
  ~TBusyCursor() { host_.SetBusyCursor(false); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;

 private:
  THost& host_;
};

}  // namespace qv
