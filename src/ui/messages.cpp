#include "ui/messages.h"

#include <QPushButton>

namespace qv::ui {
namespace {

QString Title(TBoxKind kind) {
  switch (kind) {
    case TBoxKind::Plain:
      return QStringLiteral("Quorvandelia");
    case TBoxKind::Information:
      return QStringLiteral("Informação");
    case TBoxKind::Warning:
      return QStringLiteral("Aviso");
    case TBoxKind::Confirmation:
      return QStringLiteral("Confirmação");
    case TBoxKind::Error:
      return QStringLiteral("Erro");
  }
  return {};
}

QMessageBox::Icon Icon(TBoxKind kind) {
  switch (kind) {
    case TBoxKind::Plain:
      return QMessageBox::NoIcon;
    case TBoxKind::Information:
      return QMessageBox::Information;
    case TBoxKind::Warning:
      return QMessageBox::Warning;
    case TBoxKind::Confirmation:
      return QMessageBox::Question;
    case TBoxKind::Error:
      return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}

// Qt's Portuguese translation names the standard buttons; where a translation is missing (an
// installation without qt6-translations-l10n) the buttons still read in Portuguese.
void PortugueseButtons(QMessageBox& box) {
  struct Name {
    QMessageBox::StandardButton button;
    const char* english;
    const char* portuguese;
  };
  static const Name names[] = {{QMessageBox::Yes, "&Yes", "&Sim"},
                               {QMessageBox::No, "&No", "&Não"},
                               {QMessageBox::Cancel, "Cancel", "Cancelar"},
                               {QMessageBox::Ok, "OK", "OK"}};
  for (const Name& n : names) {
    if (QAbstractButton* b = box.button(n.button); b && b->text() == QLatin1String(n.english)) {
      b->setText(QString::fromUtf8(n.portuguese));
    }
  }
}

}  // namespace

QString BoxText(const std::string& text) {
  QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

QMessageBox::StandardButton ShowBox(QWidget* parent, TBoxKind kind, const std::string& text,
                                    QMessageBox::StandardButtons buttons,
                                    const std::string& details) {
  QMessageBox box(Icon(kind), Title(kind), BoxText(text), buttons, parent);
  box.setObjectName(kBoxObjectName);
  if (!details.empty()) box.setInformativeText(BoxText(details));
  PortugueseButtons(box);
  // The first button in the order Yes, No, OK, Cancel is the default (Enter).
  for (QMessageBox::StandardButton b : {QMessageBox::Yes, QMessageBox::Ok, QMessageBox::No}) {
    if (buttons.testFlag(b)) {
      box.setDefaultButton(b);
      break;
    }
  }
  if (buttons.testFlag(QMessageBox::Cancel)) {
    box.setEscapeButton(QMessageBox::Cancel);
  } else if (buttons.testFlag(QMessageBox::No)) {
    box.setEscapeButton(QMessageBox::No);
  }
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace qv::ui
