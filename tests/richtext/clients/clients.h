// Running the programs that read and write our Rich Text: LibreOffice (soffice, headless, with
// a private profile), pandoc and pdftotext. A test whose program is not installed is skipped
// with the program's name; every other failure of a program fails the test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qv::richtext::clients {

namespace fs = std::filesystem;

inline bool HaveProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (!dir.empty() && ::access((fs::path(dir) / name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

#define QV_REQUIRE_PROGRAM(name) \
  if (!::qv::richtext::clients::HaveProgram(name)) GTEST_SKIP() << name << " is not installed"

inline std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline void Spit(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (const char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// A scratch folder of the test, removed afterwards.
class TScratch {
 public:
  TScratch() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "qv-clients-" + std::to_string(::getpid()) + "-" + info->test_suite_name() +
                       "-" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path_ = fs::temp_directory_path() / name;
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TScratch() { fs::remove_all(path_); }
  const fs::path& Path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

// Runs a shell command; its output goes to `log`, which a failing test shows.
inline int Run(const std::string& command, const fs::path& log) {
  const int status = std::system((command + " >" + Quote(log.string()) + " 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// LibreOffice converts files into `outDir`, one process for all of them. `format` is an
// output filter as soffice's --convert-to takes it ("html", "pdf", "rtf",
// "txt:Text (encoded):UTF8"). The profile is private to this test process and made once.
inline void SofficeConvert(const std::vector<fs::path>& files, const std::string& format,
                           const fs::path& outDir, const std::string& inFilter = "") {
  static const fs::path profile = [] {
    const fs::path p = fs::temp_directory_path() / ("qv-lo-profile-" + std::to_string(::getpid()));
    std::atexit([] {
      fs::remove_all(fs::temp_directory_path() / ("qv-lo-profile-" + std::to_string(::getpid())));
    });
    return p;
  }();
  std::string command = "timeout 600 soffice -env:UserInstallation=file://" + profile.string() +
                        " --headless --norestore";
  if (!inFilter.empty()) command += " --infilter=" + Quote(inFilter);
  command += " --convert-to " + Quote(format) + " --outdir " + Quote(outDir.string());
  for (const fs::path& f : files) command += " " + Quote(f.string());
  const fs::path log = outDir / "soffice.log";
  ASSERT_EQ(Run(command, log), 0) << command << "\n" << Slurp(log);
}

// Element by element, so that a difference shows where it is.
template <class T>
void ExpectSameSequence(const std::vector<T>& got, const std::vector<T>& want) {
  EXPECT_EQ(got.size(), want.size());
  for (std::size_t k = 0; k < std::min(got.size(), want.size()); ++k) {
    if (!(got[k] == want[k])) {
      ADD_FAILURE() << "first difference at " << k << ": got " << ::testing::PrintToString(got[k])
                    << "\nwanted " << ::testing::PrintToString(want[k]);
      return;
    }
  }
}

}  // namespace qv::richtext::clients
