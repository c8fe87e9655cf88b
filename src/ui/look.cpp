#include "ui/look.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace qv::ui {

void CenterOnScreen(QWidget& window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = window.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window.move(frame.topLeft());
}

QFont ArialBlack(int pixelSize) {
  QFont font(QStringLiteral("Arial Black"));
  font.setPixelSize(pixelSize);
  font.setWeight(QFont::Black);
  return font;
}

}  // namespace qv::ui
