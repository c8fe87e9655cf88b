#include "ui/documentfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextDocument>

#include "richtext/rtf.h"
#include "ui/richtextconvert.h"

namespace qv::ui {

bool TReportDocumentFiles::Load(const QString& path, QTextDocument& document, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("Não foi possível abrir o arquivo %1: %2").arg(path, file.errorString());
    return false;
  }
  const QByteArray bytes = file.readAll();
  // Rich Text, or plain text in the report's font when the file is not Rich Text.
  const richtext::TReadResult read = richtext::ReadDocument(
      std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
      richtext::ReportFormat());
  if (!read.document) {
    error = QStringLiteral("Não foi possível ler o arquivo %1:\n%2")
                .arg(path, QString::fromStdString(read.error));
    return false;
  }
  FromRichText(*read.document, document);
  return true;
}

bool TReportDocumentFiles::Save(const QString& path, const QTextDocument& document,
                                QString& error) {
  const std::string rtf = richtext::WriteRtf(ToRichText(document));
  // Written beside the old file and renamed over it only when complete.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(rtf.data(), static_cast<qint64>(rtf.size())) != static_cast<qint64>(rtf.size()) ||
      !file.commit()) {
    error =
        QStringLiteral("Não foi possível salvar o arquivo %1: %2").arg(path, file.errorString());
    return false;
  }
  return true;
}

}  // namespace qv::ui
