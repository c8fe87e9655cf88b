// Answers the modal dialogs that come up while a test drives a window, as a person would:
// one scripted step for each dialog shown, in the order they come up, acting on the real
// widgets (typing into the entries, selecting list items, clicking buttons). Every dialog
// shown is logged. A dialog with no step left fails the test and is closed.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace qv::testing {

class ModalDriver : public QObject {
 public:
  using Step = std::function<void(QWidget& dialog)>;

  ModalDriver();
  ~ModalDriver() override;

  void Then(Step step) { steps_.push_back(std::move(step)); }

  // A message box: its text (with "\r" line breaks, as the program writes it) must be
  // `text`; the step presses `button`.
  void Box(const std::string& text, QMessageBox::StandardButton button = QMessageBox::Ok);
  // The parameters dialog: the entries typed (by object name), the code columns selected
  // (-1 leaves the list as it is), then OK.
  void Params(const std::map<std::string, std::string>& entries, int genotypeRow = -1,
              int environmentRow = -1);
  // A file dialog: the file chosen, or cancelled when `path` is empty.
  void File(const std::string& path);
  // An input box with this title and prompt: the answer typed and OK, or Cancel when none.
  void Input(const std::string& title, const std::string& prompt,
             std::optional<std::string> answer);

  // "box:<title>:<text>", "params:<caption>:<controls shown>", "file:<title>:<filters>",
  // "input:<title>:<prompt>"; a box with an informative text adds "details:<that text>".
  const std::vector<std::string>& Log() const { return log_; }
  // The log's entries of one kind ("box:", "params:"...), without the prefix.
  std::vector<std::string> Logged(const std::string& prefix) const;
  std::size_t StepsLeft() const { return steps_.size(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Next();
  void Unexpected(QWidget& dialog);

  std::deque<Step> steps_;
  std::deque<QPointer<QWidget>> shown_;
  std::vector<std::string> log_;
  int unexpected_ = 0;
};

// The program's text of a box as the box shows it.
std::string BoxLines(const std::string& text);

}  // namespace qv::testing
