#include "modal_driver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <iostream>

namespace qv::testing {

std::string BoxLines(const std::string& text) {
  std::string out;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (text[k] == '\r') {
      out += '\n';
      if (k + 1 < text.size() && text[k + 1] == '\n') ++k;
    } else {
      out += text[k];
    }
  }
  return out;
}

ModalDriver::ModalDriver() {
  qApp->installEventFilter(this);
}

ModalDriver::~ModalDriver() {
  qApp->removeEventFilter(this);
}

bool ModalDriver::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->isWindow() && widget->isModal()) {
      shown_.push_back(widget);
      // Acts once the dialog's own event loop runs, as a person would.
      QTimer::singleShot(0, this, &ModalDriver::Next);
    }
  }
  return QObject::eventFilter(watched, event);
}

void ModalDriver::Next() {
  if (shown_.empty()) return;
  QPointer<QWidget> dialog = shown_.front();
  shown_.pop_front();
  if (!dialog || !dialog->isVisible()) return;
  if (steps_.empty()) {
    Unexpected(*dialog);
    return;
  }
  Step step = std::move(steps_.front());
  steps_.pop_front();
  step(*dialog);
}

void ModalDriver::Unexpected(QWidget& dialog) {
  std::string what = dialog.metaObject()->className();
  if (auto* box = qobject_cast<QMessageBox*>(&dialog)) what += ": " + box->text().toStdString();
  what += " \"" + dialog.windowTitle().toStdString() + "\"";
  ADD_FAILURE() << "a dialog came up with no step left to answer it: " << what;
  log_.push_back("unexpected:" + what);
  // A run that keeps asking could loop for ever; stop the test program instead.
  if (++unexpected_ > 50) {
    std::cerr << "too many unexpected dialogs; the last: " << what << std::endl;
    std::abort();
  }
  if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
    QAbstractButton* escape = box->escapeButton();
    (escape ? escape : box->buttons().front())->click();
  } else if (auto* d = qobject_cast<QDialog*>(&dialog)) {
    d->reject();
  } else {
    dialog.close();
  }
}

std::vector<std::string> ModalDriver::Logged(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& e : log_) {
    if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size()));
  }
  return out;
}

void ModalDriver::Box(const std::string& text, QMessageBox::StandardButton button) {
  Then([this, text, button](QWidget& dialog) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    if (!box) {
      Unexpected(dialog);
      return;
    }
    log_.push_back("box:" + box->windowTitle().toStdString() + ":" + box->text().toStdString());
    if (!box->informativeText().isEmpty()) {
      log_.push_back("details:" + box->informativeText().toStdString());
    }
    EXPECT_EQ(box->text().toStdString(), BoxLines(text));
    QAbstractButton* b = box->button(button);
    if (!b) {
      ADD_FAILURE() << "the box has no such button: " << box->text().toStdString();
      b = box->buttons().front();
    }
    QTest::mouseClick(b, Qt::LeftButton);
  });
}

void ModalDriver::Params(const std::map<std::string, std::string>& entries, int genotypeRow,
                         int environmentRow) {
  Then([this, entries, genotypeRow, environmentRow](QWidget& dialog) {
    if (dialog.objectName() != "Form1") {
      Unexpected(dialog);
      return;
    }
    // The caption and the entries and lists shown, in their order from the top.
    std::string shown;
    for (const char* name : {"EditAlpha", "EditGLE", "EditQME", "EditNum_rep", "EditNum_gen",
                             "EditNum_amb", "ListBoxgenot", "ListBoxAmb"}) {
      auto* control = dialog.findChild<QWidget*>(name);
      if (control && control->isVisible()) shown += (shown.empty() ? "" : ",") + std::string(name);
    }
    log_.push_back("params:" + dialog.windowTitle().toStdString() + ":" + shown);
    for (const auto& [name, text] : entries) {
      auto* edit = dialog.findChild<QLineEdit*>(QString::fromStdString(name));
      if (!edit) {
        ADD_FAILURE() << "no entry " << name;
        continue;
      }
      EXPECT_TRUE(edit->isVisible()) << name << " is hidden in " << log_.back();
      edit->selectAll();
      QTest::keyClick(edit, Qt::Key_Delete);
      QTest::keyClicks(edit, QString::fromStdString(text));
    }
    for (auto [name, row] :
         {std::pair{"ListBoxgenot", genotypeRow}, std::pair{"ListBoxAmb", environmentRow}}) {
      if (row < 0) continue;
      auto* list = dialog.findChild<QListWidget*>(name);
      if (!list || row >= list->count()) {
        ADD_FAILURE() << "no row " << row << " in " << name;
        continue;
      }
      const QRect cell = list->visualItemRect(list->item(row));
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }
    if (auto* ok = dialog.findChild<QPushButton*>("BitBtnFP_Ok")) {
      QTest::mouseClick(ok, Qt::LeftButton);
    } else {
      ADD_FAILURE() << "no OK button";
      static_cast<QDialog&>(dialog).reject();
    }
  });
}

void ModalDriver::File(const std::string& path) {
  Then([this, path](QWidget& dialog) {
    auto* files = qobject_cast<QFileDialog*>(&dialog);
    if (!files) {
      Unexpected(dialog);
      return;
    }
    log_.push_back("file:" + files->windowTitle().toStdString() + ":" +
                   files->nameFilters().join("|").toStdString());
    if (path.empty()) {
      files->reject();
    } else {
      files->selectFile(QString::fromStdString(path));
      static_cast<QDialog*>(files)->accept();  // QFileDialog::accept, as its Open button
    }
  });
}

}  // namespace qv::testing

namespace qv::testing {

void ModalDriver::Input(const std::string& title, const std::string& prompt,
                        std::optional<std::string> answer) {
  Then([this, title, prompt, answer](QWidget& dialog) {
    auto* box = qobject_cast<QInputDialog*>(&dialog);
    if (!box) {
      Unexpected(dialog);
      return;
    }
    log_.push_back("input:" + box->windowTitle().toStdString() + ":" +
                   box->labelText().toStdString());
    EXPECT_EQ(box->windowTitle().toStdString(), title);
    EXPECT_EQ(box->labelText().toStdString(), prompt);
    EXPECT_TRUE(box->textValue().isEmpty());
    if (!answer) {
      box->reject();
      return;
    }
    auto* edit = box->findChild<QLineEdit*>();
    if (edit) QTest::keyClicks(edit, QString::fromStdString(*answer));
    EXPECT_EQ(box->textValue().toStdString(), *answer);
    box->accept();
  });
}

}  // namespace qv::testing
