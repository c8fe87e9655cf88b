#include "ui/aboutbox.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/icons.h"
#include "ui/look.h"

namespace qv::ui {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle(QStringLiteral("About quorvandelia"));
  // A fixed box that stays on top, with only the close button of its system menu.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
  setFixedSize(343, 298);

  auto* picture = new QLabel(this);
  picture->setObjectName("ProgramIcon");
  picture->setPixmap(ProgramPicture());
  picture->setFixedSize(32, 32);

  auto* name = new QLabel(QStringLiteral("Quorvandelia"), this);
  name->setObjectName("ProductName");
  name->setFont(ArialBlack(27));
  name->setAlignment(Qt::AlignCenter);
  QPalette blue = name->palette();
  blue.setColor(QPalette::WindowText, Qt::blue);
  name->setPalette(blue);

  auto* version = new QLabel(QStringLiteral("Versão 3.1.0 (Build 15)"), this);
  version->setObjectName("Version");
  version->setFont(ArialBlack(13));
  version->setAlignment(Qt::AlignCenter);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName("OKButton");
  ok_->setDefault(true);
  ok_->setMinimumWidth(90);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->addWidget(picture, 0, Qt::AlignLeft);
  layout->addStretch(1);
  layout->addWidget(name);
  layout->addSpacing(8);
  layout->addWidget(version);
  layout->addStretch(2);
  layout->addWidget(ok_, 0, Qt::AlignHCenter);
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CenterOnScreen(*this);
}

}  // namespace qv::ui
