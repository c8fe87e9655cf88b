// Helpers of the window tests: finding a window's menu items and files in a folder of the
// test's own.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <string>

namespace qv::testing {

inline QAction* Item(const QWidget& window, const char* objectName) {
  auto* action = window.findChild<QAction*>(QString::fromLatin1(objectName));
  EXPECT_TRUE(action) << "no menu item " << objectName;
  return action;
}

inline std::string ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

inline void WriteFile(const QString& path, const std::string& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// A folder removed with the object.
class Folder {
 public:
  QString Path(const char* name) const { return QDir(dir_.path()).filePath(name); }
  std::string StdPath(const char* name) const { return Path(name).toStdString(); }

 private:
  QTemporaryDir dir_;
};

}  // namespace qv::testing
