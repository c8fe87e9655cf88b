// Helpers shared by the table tests: a scratch directory and whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tables/datatable.h"

namespace qv {

// Readable values in the failure messages of the tests.
inline void PrintTo(const TValue& v, std::ostream* os) {
  if (v.IsBlank()) {
    *os << "(blank)";
  } else if (v.IsNumber()) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v.AsNumber());
    *os << buffer;
  } else {
    *os << '"' << v.AsText() << '"';
  }
}

inline void PrintTo(const FieldDef& f, std::ostream* os) {
  *os << '"' << f.name << "\" type " << static_cast<int>(f.type) << " size " << f.size;
}

}  // namespace qv

namespace qv::testing {

// A fresh directory, removed with everything in it when the test ends.
class ScratchDir {
 public:
  ScratchDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "qv-tables-XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }

  // Names of the files in the directory (hidden temporaries included).
  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) {
      names.insert(e.path().filename().string());
    }
    return names;
  }

 private:
  std::filesystem::path path_;
};

// Sets a limit on the size of the files this process writes, as a full disk would, and takes
// it away again at the end.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = signal(SIGXFSZ, SIG_IGN);  // fail the write with EFBIG instead
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit previous_{};
  sighandler_t previousHandler_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Whether two files' bytes are the same; a failure names the sizes and the first difference
// rather than printing whole files.
inline ::testing::AssertionResult SameBytes(const std::string& actual,
                                            const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::size_t i = 0;
  while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
  return ::testing::AssertionFailure()
         << "files differ: " << actual.size() << " and " << expected.size()
         << " bytes, first difference at byte " << i;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  // A new file rather than a truncated one: ext4 flushes a file rewritten after truncation,
  // which makes the thousands of damaged files of the robustness tests slow.
  std::filesystem::remove(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Writes bytes over part of an existing file, in place: the same file (inode) afterwards.
inline void OverwriteBytes(const std::string& path, std::size_t offset, const std::string& bytes) {
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  ASSERT_TRUE(out) << path;
  out.seekp(static_cast<std::streamoff>(offset));
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.flush()) << path;
}

inline std::string TestData(const std::string& name) {
  return std::string(QV_TEST_DATA) + "/tables/" + name;
}

// Creates a table with these fields at path and leaves it open.
inline void CreateOpen(TDataTable& t, const std::string& path, const std::vector<FieldDef>& defs) {
  t.SetName(path);
  t.DefineFields(defs);
  t.CreateTable();
  t.Open();
}

// Appends one record and posts it.
inline void AppendRow(TDataTable& t, const std::vector<TValue>& values) {
  t.Append();
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!values[i].IsBlank()) t.SetValue(static_cast<int>(i), values[i]);
  }
  t.Post();
}

// Every record of an open table, field by field, read through the cursor.
inline std::vector<std::vector<TValue>> AllRows(TDataTable& t) {
  std::vector<std::vector<TValue>> rows;
  for (t.First(); !t.AtEnd(); t.Next()) {
    std::vector<TValue> row;
    for (int i = 0; i < t.FieldCount(); ++i) row.push_back(t.GetValue(i));
    rows.push_back(row);
  }
  return rows;
}

// --- damaged files ---------------------------------------------------------------------------

// A small valid table to damage: `rows` records of a number and a text field of textSize
// characters, created at path; the file's bytes.
inline std::string ValidTableBytes(const std::string& path, int rows, int textSize) {
  TDataTable t;
  CreateOpen(t, path, {{"gen", FieldType::Float, 0}, {"nome", FieldType::String, textSize}});
  t.BeginBatch();
  for (int i = 0; i < rows; ++i) {
    AppendRow(t, {TValue::Number(i), TValue::Text("g" + std::to_string(i))});
  }
  t.EndBatch();
  return ReadBytes(path);
}

// bytes with `patch` written over them from offset at.
inline std::string Patched(std::string bytes, std::size_t at,
                           std::initializer_list<unsigned char> patch) {
  for (const unsigned char c : patch) bytes[at++] = static_cast<char>(c);
  return bytes;
}

// Opens bytes written at path as a table: a TableError naming the file (false, its message in
// *message) or a table whose every value reads (true); anything else (a crash, another
// exception) fails the test.
inline bool OpensOrTableError(const std::string& path, const std::string& bytes,
                              std::string* message) {
  WriteBytes(path, bytes);
  TDataTable t;
  t.SetName(path);
  try {
    t.Open();
  } catch (const TableError& e) {
    if (message) *message = e.what();
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    return false;
  }
  AllRows(t);
  return true;
}

// A damaged file, and a word its TableError must contain.
struct DamagedFile {
  const char* what;
  std::string bytes;
  const char* says;
};

// Each file, written at path, fails to open with a TableError that names the file and says
// the case's word.
inline void ExpectTableErrors(const std::string& path, const std::vector<DamagedFile>& files) {
  for (const DamagedFile& f : files) {
    std::string message;
    EXPECT_FALSE(OpensOrTableError(path, f.bytes, &message)) << f.what << " opened";
    EXPECT_NE(message.find(f.says), std::string::npos) << f.what << ": " << message;
  }
}

inline TValue N(double v) {
  return TValue::Number(v);
}
inline TValue S(const std::string& s) {
  return TValue::Text(s);
}
inline TValue B() {
  return TValue();
}

}  // namespace qv::testing
