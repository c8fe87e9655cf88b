// Where F1 finds the help and what it hands to the desktop. The help is "Quorvandelia.chm" in
// the program's folder; an installed program keeps it, with the same help as HTML pages, in its
// data folder (share/quorvandelia). Many desktops have no viewer for CHM files, so the HTML
// help is opened when the CHM cannot be.
#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <functional>

namespace qv::ui {

struct THelpFiles {
  QString besideProgram;  // "Quorvandelia.chm" in the program's folder, whether it exists or not
  QString chm;            // the CHM found, beside the program or in the data folder; "" if none
  QString html;           // the HTML help's first page ("ajuda/index.html"); "" if none
};

// Looks in the program's folder first (a build, or a program carried with its help), then in
// `dataFromProgram` relative to it (the installed data folder).
THelpFiles FindHelpFiles(const QString& programDir, const QString& dataFromProgram);

// What to try, in order: the CHM when there is one and the desktop can show it, then the HTML
// help, then the CHM even without a known viewer. With no help at all, the CHM's name beside the
// program, handed to the desktop as it stands.
QList<QUrl> HelpUrls(const THelpFiles& files, bool chmViewerAvailable);

// Hands the URLs to `open` in order until one is accepted; false when none was.
bool OpenFirst(const QList<QUrl>& urls, const std::function<bool(const QUrl&)>& open);

// Whether the desktop has an application for CHM files (on Windows, always).
bool DesktopHasChmViewer();

}  // namespace qv::ui
