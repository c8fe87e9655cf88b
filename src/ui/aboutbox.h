// TAboutBox: the program's name and version, over its picture.
#pragma once

#include <QDialog>

class QPushButton;

namespace qv::ui {

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);
  QPushButton* OkButton() const { return ok_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QPushButton* ok_ = nullptr;
};

}  // namespace qv::ui
