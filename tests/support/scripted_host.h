// A host for tests: records every message the run shows, in order, and plays back answers.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analysis/host.h"
#include "analysis/report.h"

namespace qv::testing {

class ScriptedForm : public TParametersForm {
 public:
  explicit ScriptedForm(std::vector<std::string>& log) : log_(log) { Reset(); }
  void Reset() {
    caption.clear();
    lists.clear();
    selected.clear();
    entries.clear();
    variableEntries.clear();
    onShow.clear();
    for (Control c : kAllControls) visible[c] = true;
  }
  void SetCaption(const std::string& c) override { caption = c; }
  void SetControlVisible(Control c, bool v) override { visible[c] = v; }
  void SetListItems(Control list, const std::vector<std::string>& items) override {
    lists[list] = items;
    selected[list] = -1;
  }
  void SelectListItem(Control list, int index) override {
    selected[list] = index >= 0 && index < static_cast<int>(lists[list].size()) ? index : -1;
  }
  int SelectedIndex(Control list) const override {
    auto it = selected.find(list);
    return it == selected.end() ? -1 : it->second;
  }
  std::string EntryText(Control c) const override {
    if (phase == TParamsPhase::Variable) {
      const auto v = variableEntries.find(variableName);
      if (v != variableEntries.end() && v->second.count(c)) return v->second.at(c);
    }
    auto it = entries.find(c);
    return it == entries.end() ? std::string() : it->second;
  }
  // Each showing logs its caption, then runs the next scripted action (the "user" typing).
  void ShowModal(TParamsPhase p, const std::string& variable) override {
    phase = p;
    variableName = variable;
    log_.push_back("dialog:" + caption);
    if (!onShow.empty()) {
      auto action = onShow.front();
      onShow.pop_front();
      action(*this);
    }
  }

  std::string caption;
  TParamsPhase phase = TParamsPhase::Table;  // as the last showing was told
  std::string variableName;
  std::map<Control, bool> visible;
  std::map<Control, std::vector<std::string>> lists;
  std::map<Control, int> selected;
  std::map<Control, std::string> entries;
  // Entries typed for one variable only: in its own phase-2 dialog they replace `entries`.
  std::map<std::string, std::map<Control, std::string>> variableEntries;
  std::deque<std::function<void(ScriptedForm&)>> onShow;

 private:
  std::vector<std::string>& log_;
};

class ScriptedHost : public THost {
 public:
  ScriptedHost() : form(log) {}
  std::optional<std::string> ChooseTableFile() override {
    log.push_back("file-dialog");
    return file;
  }
  TParametersForm& Params() override { return form; }
  bool Confirm(const std::string& text) override {
    log.push_back("confirm:" + text);
    return Next(confirmAnswers, true);
  }
  bool WarnYesNo(const std::string& text) override {
    log.push_back("warn-yes-no:" + text);
    return Next(warnYesNoAnswers, false);
  }
  void Warn(const std::string& text) override { log.push_back("warn:" + text); }
  void Inform(const std::string& text) override { log.push_back("inform:" + text); }
  void ShowMessage(const std::string& text) override { log.push_back("message:" + text); }
  void SetBusyCursor(bool on) override {
    log.push_back(on ? "busy:on" : "busy:off");
    busy = on;
  }
  void ShowReport(const TReport& report) override {
    log.push_back("report");
    shownReport = report.Text();
    ++reportShown;
  }

  // Back to a fresh host (a new person at the keyboard), for table-driven tests.
  void Reset() {
    file.reset();
    confirmAnswers.clear();
    warnYesNoAnswers.clear();
    log.clear();
    form.Reset();
    busy = false;
    reportShown = 0;
    shownReport.clear();
  }

  // The logged events that start with a prefix ("warn:", "dialog:"...).
  std::vector<std::string> Events(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& e : log) {
      if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size()));
    }
    return out;
  }

  std::optional<std::string> file;
  std::deque<bool> confirmAnswers, warnYesNoAnswers;
  std::vector<std::string> log;
  ScriptedForm form;
  bool busy = false;
  int reportShown = 0;
  std::string shownReport;  // the text the report window was last shown with

 private:
  static bool Next(std::deque<bool>& q, bool fallback) {
    if (q.empty()) return fallback;
    const bool b = q.front();
    q.pop_front();
    return b;
  }
};

}  // namespace qv::testing
