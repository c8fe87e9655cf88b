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
  virtual void ShowModal() = 0;
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
  virtual void SetBusyCursor(bool busy) = 0;
};

}  // namespace qv
