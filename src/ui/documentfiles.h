// How the report window reads and writes its documents: Rich Text files, or plain text when a
// file is not Rich Text. Kept behind a small interface so that the window does not depend on
// the file format and tests can count on the real one.
#pragma once

#include <QString>

class QTextDocument;

namespace qv::ui {

class TDocumentFiles {
 public:
  virtual ~TDocumentFiles() = default;
  // Fills a new, empty document (not yet shown by an editor) with the file's content. On
  // failure `error` holds the message for the user.
  virtual bool Load(const QString& path, QTextDocument& document, QString& error) = 0;
  // Writes the document to the file as a whole: the old file stays as it was until the new
  // one is complete. On failure `error` holds the message for the user.
  virtual bool Save(const QString& path, const QTextDocument& document, QString& error) = 0;
};

// The program's report files.
class TReportDocumentFiles : public TDocumentFiles {
 public:
  bool Load(const QString& path, QTextDocument& document, QString& error) override;
  bool Save(const QString& path, const QTextDocument& document, QString& error) override;
};

}  // namespace qv::ui
