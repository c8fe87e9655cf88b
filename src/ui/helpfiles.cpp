#include "ui/helpfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace qv::ui {
namespace {

const char* const kChmName = "Quorvandelia.chm";
const char* const kHtmlIndex = "ajuda/index.html";

QString Existing(const QDir& dir, const QString& name) {
  const QFileInfo file(dir.filePath(name));
  return file.isFile() ? QDir::cleanPath(file.absoluteFilePath()) : QString();
}

QString FirstExisting(const QList<QDir>& dirs, const QString& name) {
  for (const QDir& dir : dirs) {
    if (QString path = Existing(dir, name); !path.isEmpty()) return path;
  }
  return {};
}

}  // namespace

THelpFiles FindHelpFiles(const QString& programDir, const QString& dataFromProgram) {
  const QDir program(programDir);
  const QList<QDir> dirs{program, QDir(program.filePath(dataFromProgram))};
  THelpFiles files;
  files.besideProgram = QDir::cleanPath(program.absoluteFilePath(kChmName));
  files.chm = FirstExisting(dirs, kChmName);
  files.html = FirstExisting(dirs, kHtmlIndex);
  return files;
}

QList<QUrl> HelpUrls(const THelpFiles& files, bool chmViewerAvailable) {
  QList<QUrl> urls;
  if (!files.chm.isEmpty() && chmViewerAvailable) urls << QUrl::fromLocalFile(files.chm);
  if (!files.html.isEmpty()) urls << QUrl::fromLocalFile(files.html);
  if (!files.chm.isEmpty() && !chmViewerAvailable) urls << QUrl::fromLocalFile(files.chm);
  if (urls.isEmpty()) urls << QUrl::fromLocalFile(files.besideProgram);
  return urls;
}

bool OpenFirst(const QList<QUrl>& urls, const std::function<bool(const QUrl&)>& open) {
  for (const QUrl& url : urls) {
    if (open(url)) return true;
  }
  return false;
}

bool DesktopHasChmViewer() {
#ifdef Q_OS_WIN
  return true;
#else
  // The freedesktop.org MIME database knows CHM files by two names.
  for (const char* type : {"application/vnd.ms-htmlhelp", "application/x-chm"}) {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QString::fromLatin1(type)});
    if (!query.waitForFinished(3000)) {
      query.kill();
      query.waitForFinished();
      continue;
    }
    if (query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty()) return true;
  }
  return false;
#endif
}

}  // namespace qv::ui
