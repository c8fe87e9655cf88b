// The program's pictures, drawn in code so that the program carries no image files: the
// report window's toolbar icons and the picture of the about box.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace qv::ui {

enum class TToolIcon {
  Open,
  SaveAs,
  Print,
  Undo,
  Cut,
  Copy,
  Paste,
  Bold,
  Italic,
  Underline,
  AlignLeft,
  AlignCenter,
  AlignRight,
  Bullets,
};

QIcon ToolIcon(TToolIcon icon);

// 32 by 32: genotype responses crossing over environments, the picture of the program.
QPixmap ProgramPicture();

}  // namespace qv::ui
