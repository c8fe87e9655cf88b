// The report window's document and the Rich Text library's document, each into the other.
// Both carry the same things: per character a font family, a size, bold, italic, underline
// and a colour; per paragraph an alignment and a bullet; line breaks inside a paragraph.
#pragma once

#include "richtext/document.h"

class QTextDocument;

namespace qv::ui {

// Every character with its format as the editor shows it (formats the text does not set come
// from the document's default font, and an unset colour is black).
richtext::TDocument ToRichText(const QTextDocument& document);

// Replaces the editor document's content (not undoable); its default font is left as it is.
void FromRichText(const richtext::TDocument& source, QTextDocument& document);

}  // namespace qv::ui
