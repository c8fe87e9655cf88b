// The look the program's windows share: where they appear and the font of their titles.
#pragma once

#include <QFont>

class QWidget;

namespace qv::ui {

// Moves a window so that its frame is centred on the primary screen's free area.
void CenterOnScreen(QWidget& window);

// Bold "Arial Black" at a size in pixels (a heavy sans-serif where Arial Black is missing).
QFont ArialBlack(int pixelSize);

}  // namespace qv::ui
