// F1: which help file is handed to the desktop, and the fallback to the HTML help.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "ui/helpfiles.h"

namespace qv::testing {
namespace {

void Touch(const QString& path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

QUrl Local(const QString& path) {
  return QUrl::fromLocalFile(QDir::cleanPath(path));
}

class Help : public ::testing::Test {
 protected:
  QTemporaryDir root;
  QString bin() const { return root.filePath("usr/bin"); }
  QString data() const { return root.filePath("usr/share/quorvandelia"); }
  void SetUp() override { QDir().mkpath(bin()); }
  ui::THelpFiles Find() const { return ui::FindHelpFiles(bin(), "../share/quorvandelia"); }
};

TEST_F(Help, InstalledHelpIsFoundFromTheProgramsFolder) {
  Touch(data() + "/Quorvandelia.chm");
  Touch(data() + "/ajuda/index.html");
  const ui::THelpFiles files = Find();
  EXPECT_EQ(files.chm, QDir::cleanPath(data() + "/Quorvandelia.chm"));
  EXPECT_EQ(files.html, QDir::cleanPath(data() + "/ajuda/index.html"));
  EXPECT_EQ(files.besideProgram, QDir::cleanPath(bin() + "/Quorvandelia.chm"));
  // A help beside the program comes first.
  Touch(bin() + "/Quorvandelia.chm");
  EXPECT_EQ(Find().chm, QDir::cleanPath(bin() + "/Quorvandelia.chm"));
}

TEST_F(Help, OrderOfAttempts) {
  const QString chm = data() + "/Quorvandelia.chm", html = data() + "/ajuda/index.html";
  struct Case {
    bool chmFile, htmlFile, viewer;
    QList<QUrl> urls;
  };
  const QString beside = bin() + "/Quorvandelia.chm";
  const Case cases[] = {
      {true, true, true, {Local(chm), Local(html)}},   // the CHM, the HTML if that fails
      {true, true, false, {Local(html), Local(chm)}},  // no CHM viewer: the HTML first
      {false, true, true, {Local(html)}},              // no CHM built
      {true, false, false, {Local(chm)}},              // only the CHM: try it anyway
      {false, false, true, {Local(beside)}},           // nothing: the name beside the program
  };
  for (const Case& c : cases) {
    QDir(data()).removeRecursively();
    if (c.chmFile) Touch(chm);
    if (c.htmlFile) Touch(html);
    EXPECT_EQ(ui::HelpUrls(Find(), c.viewer), c.urls)
        << "chm " << c.chmFile << " html " << c.htmlFile << " viewer " << c.viewer;
  }
}

TEST_F(Help, TheHtmlHelpOpensWhenTheDesktopRefusesTheChm) {
  Touch(data() + "/Quorvandelia.chm");
  Touch(data() + "/ajuda/index.html");
  QList<QUrl> tried;
  const bool opened = ui::OpenFirst(ui::HelpUrls(Find(), true), [&](const QUrl& url) {
    tried << url;
    return !url.path().endsWith(".chm");
  });
  EXPECT_TRUE(opened);
  ASSERT_EQ(tried.size(), 2);
  EXPECT_TRUE(tried[0].path().endsWith("Quorvandelia.chm"));
  EXPECT_TRUE(tried[1].path().endsWith("ajuda/index.html"));

  // Accepted at once: nothing else is opened; refused everywhere: reported as not opened.
  tried.clear();
  EXPECT_TRUE(ui::OpenFirst(ui::HelpUrls(Find(), true), [&](const QUrl& url) {
    tried << url;
    return true;
  }));
  EXPECT_EQ(tried.size(), 1);
  EXPECT_FALSE(ui::OpenFirst(ui::HelpUrls(Find(), true), [](const QUrl&) { return false; }));
}

}  // namespace
}  // namespace qv::testing
