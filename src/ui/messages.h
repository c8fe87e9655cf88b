// The program's message boxes: the four kinds the analyses and the windows use, with their
// Portuguese texts exactly as written. A lone "\r" in a text is a line break.
#pragma once

#include <QMessageBox>
#include <QString>
#include <string>

class QWidget;

namespace qv::ui {

enum class TBoxKind {
  Plain,         // a plain message: no icon, the program's name as title
  Information,   // "Informação"
  Warning,       // "Aviso"
  Confirmation,  // "Confirmação", a question
  Error,         // "Erro": an error of the file layer, with its own message
};

// The texts of the boxes break their lines with "\r" (or "\r\n"); a box breaks them with "\n".
QString BoxText(const std::string& text);

// Shows a modal box with the given buttons (the first of them is the default) and returns the
// button pressed; closing the box counts as its Cancel or No button, else as its only button.
// `details`, when not empty, is shown under the text in the box's smaller type (what exactly went
// wrong, for the user who needs it; the text stays the program's own).
QMessageBox::StandardButton ShowBox(QWidget* parent, TBoxKind kind, const std::string& text,
                                    QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                    const std::string& details = {});

// The object name every box of the program carries, so that tests and tools find them.
inline constexpr const char* kBoxObjectName = "QuorvandeliaMessageBox";

}  // namespace qv::ui
